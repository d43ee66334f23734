// Several threads on two readers at once: the library serialises them, and
// every answer reaches the thread that asked.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "fake_reader.h"

using namespace tessaro::testing;

namespace {

// Each reader fills the answer's data with its own identity and answers with
// the request's address: a thread that gets its own address and its reader's
// identity back got its own answer.
Bytes identityAnswer(std::uint8_t identity, const Bytes &frame) {
    Bytes data(12, identity);
    return answerFrame(frame.at(1), 0x21, 0x00, data);
}

TEST(Stress, FourThreadsTwoReaders) {
    FakeBus bus;
    FakeDevice &first = bus.addReader();
    FakeDevice &second = bus.addReader();
    first.responder = [](const Bytes &frame) { return identityAnswer(0xA1, frame); };
    second.responder = [](const Bytes &frame) { return identityAnswer(0xB2, frame); };
    bus.install();
    int port = 0;
    ASSERT_EQ(OpenUSBPort(&port), 0);
    ASSERT_EQ(port, 1);

    constexpr int kThreads = 4;
    constexpr int kCalls = 2000;
    std::atomic<int> wrong{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const int portIndex = t % 2 == 0 ? 1 : 2;  // the second reader lives at index 2
            const std::uint8_t identity = portIndex == 1 ? 0xA1 : 0xB2;
            for (int i = 0; i < kCalls; ++i) {
                // A different address on every call of every thread.
                const auto mine = static_cast<unsigned char>((t * 61 + i) & 0xFF);
                unsigned char address = mine, v[2], b[10];
                const int rc = GetReaderInformation(&address, v, &b[0], &b[1], &b[2], &b[3], &b[4],
                                                    &b[5], &b[6], &b[7], &b[8], &b[9], portIndex);
                if (rc != 0)
                    ++failed;
                else if (address != mine || v[0] != identity || b[9] != identity)
                    ++wrong;
            }
        });
    }
    for (std::thread &thread : threads) thread.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(first.frames().size(), static_cast<size_t>(kThreads / 2 * kCalls));
    EXPECT_EQ(second.frames().size(), static_cast<size_t>(kThreads / 2 * kCalls));
}

}  // namespace

// The LLRP server's session against arbitrary client messages (the stream as
// the `llrp` target takes it: the first byte is the piece size). Every
// message that decodes is handled as the server would, the ones refused are
// answered; after each, the clock moves on, due triggers run, and a small
// population of tags is read, so that ROSpecs, AccessSpecs and reports run
// on whatever the client set up. Every message the session sends must encode.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec.h"
#include "reader.h"
#include "session.h"

using namespace tessaro::llrp;

namespace {

// A reader with three tags' worth of memory: banks of 4, 8, 6 and 32 words.
class FakeReader : public ReaderLink {
public:
    void setHandlers(TagHandler, EventHandler) override {}
    ReaderFacts facts() override {
        ReaderFacts f;
        f.model = "reader type 0x0F";
        f.modelNumber = 0x0F;
        f.firmware = "3.2";
        f.serial = "19082024";
        f.region = 2;
        f.channelsKHz = {902750, 903250, 927250};
        return f;
    }
    bool start(const InventoryPlan &plan, std::string &) override {
        reading = plan.antennaMask != 0;
        return true;
    }
    void stop() override { reading = false; }
    TagCommandResult command(const TagCommand &c) override {
        static const unsigned kBankWords[] = {4, 8, 6, 32};
        TagCommandResult r;
        if (c.bank < 0 || c.bank > 3) return r;  // the reader refuses
        const unsigned size = kBankWords[c.bank];
        const unsigned count = c.kind == TagCommand::Read && c.wordCount == 0 ? size - std::min(size, c.wordPointer)
                                                                              : c.wordCount;
        if (c.epc.size() % 4 == 2) {
            r.outcome = TagCommandResult::NoTag;
        } else if (c.wordPointer + count > size && c.kind != TagCommand::Lock && c.kind != TagCommand::Kill) {
            r.outcome = TagCommandResult::TagError;
            r.tagError = 0x03;
        } else {
            r.outcome = TagCommandResult::Done;
            if (c.kind == TagCommand::Read) r.words.assign(count, 0xBEEF);
            r.wordsWritten = static_cast<unsigned>(c.words.size());
        }
        return r;
    }
    bool setPower(int) override { return true; }

    bool reading = false;
};

void mustEncode(const Message &m) {
    std::vector<std::uint8_t> wire;
    std::string error;
    if (!encode(m, wire, error)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1) return 0;
    FakeReader reader;
    std::uint64_t now = 1000, utc = 1700000000000000ull;
    Session session(reader, reader.facts(), mustEncode, [&utc] { return utc; });
    session.open(now);
    const std::vector<std::vector<std::uint8_t>> tags = {
        {0x30, 0x34, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x03, 0xE9},
        {0x30, 0x34, 0x25, 0x7B, 0xF7, 0x19, 0x4E, 0x40, 0x00, 0x00, 0x03, 0xEA},
        {0xE2, 0x00, 0x34, 0x12}};
    const std::size_t piece = 1 + data[0] % 64;
    FrameReader frames;
    std::vector<std::uint8_t> frame;
    Header header;
    bool open = true;
    for (std::size_t at = 1; open && at < size; at += piece) {
        frames.feed(data + at, std::min(piece, size - at));
        FrameReader::Result result = FrameReader::kNeedMore;
        while (open && (result = frames.next(frame, header)) == FrameReader::kMessage) {
            Message message;
            Fault fault;
            if (!decode(frame.data(), frame.size(), message, fault)) session.refuse(message, fault);
            else open = session.handle(message, now);
            // Time passes, triggers fire, the field answers.
            now += 40 + header.id % 500;
            utc += 40000;
            session.tick(now);
            if (header.id % 7 == 3) session.readerEvent(header.id % 2 ? ReaderEvent::Lost : ReaderEvent::Back, "", now);
            for (std::size_t i = 0; reader.reading && i < tags.size(); ++i) {
                TagSighting s;
                s.epc = tags[i];
                s.antenna = static_cast<int>(1 + (i + header.id) % 4);
                s.rssi = -40 - static_cast<int>(i);
                s.utcUs = utc;
                s.uptimeUs = now * 1000;
                session.tag(s, now);
            }
        }
        if (open && result != FrameReader::kNeedMore) break;
    }
    session.close(now, true);
    return 0;
}

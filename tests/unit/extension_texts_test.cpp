#include <gtest/gtest.h>

#include <set>
#include <string>

#include "TessaroErrors.h"
#include "TessaroPlatform.h"

namespace {

TEST(ReturnCodeText, NamesEveryLibraryCode) {
    const std::pair<int, const char *> named[] = {
        {TESSARO_OK, "OK:"},          {ERR_COMM, "ERR_COMM:"},
        {ERR_CRC, "ERR_CRC:"},        {ERR_PORT_CLOSED, "ERR_PORT_CLOSED:"},
        {ERR_RESPONSE_CMD, "ERR_RESPONSE_CMD:"}, {ERR_PARAMETER, "ERR_PARAMETER:"},
        {ERR_FRAME_TOO_LONG, "ERR_FRAME_TOO_LONG:"}, {TAG_ERROR, "TAG_ERROR:"},
        {0xFB, "NO_TAG:"},
    };
    for (const auto &[code, prefix] : named)
        EXPECT_EQ(std::string(TessaroReturnCodeText(code)).rfind(prefix, 0), 0u) << code;
}

TEST(ReturnCodeText, EveryIntGetsATextAndUnknownOnesSaySo) {
    std::set<std::string> known;
    for (int code = -300; code < 1000; ++code) {
        const char *text = TessaroReturnCodeText(code);
        ASSERT_NE(text, nullptr) << code;
        if (std::string(text).rfind("UNKNOWN:", 0) != 0) known.insert(text);
    }
    EXPECT_EQ(known.size(), 21u);  // one distinct text per known code
    EXPECT_EQ(std::string(TessaroReturnCodeText(0x7FFFFFFF)).rfind("UNKNOWN:", 0), 0u);
}

TEST(TagErrorText, NamesTheGen2ErrorBytes) {
    EXPECT_EQ(std::string(TessaroTagErrorText(0x03)).rfind("memory overrun", 0), 0u);
    EXPECT_EQ(std::string(TessaroTagErrorText(0x04)).rfind("memory locked", 0), 0u);
    EXPECT_EQ(std::string(TessaroTagErrorText(0x0B)).rfind("insufficient power", 0), 0u);
    EXPECT_EQ(std::string(TessaroTagErrorText(0x42)).rfind("unknown", 0), 0u);
}

TEST(PlatformTransport, RefusesNullAndFillsACompleteTransport) {
    EXPECT_EQ(TessaroPlatformTransport(nullptr), ERR_PARAMETER);
    TessaroTransport transport{};
    ASSERT_EQ(TessaroPlatformTransport(&transport), 0);
    EXPECT_EQ(transport.version, TESSARO_TRANSPORT_VERSION);
    EXPECT_TRUE(transport.interfacePath && transport.open && transport.attributes &&
                transport.writeReport && transport.readReport && transport.close &&
                transport.tickMs && transport.sleepMs);
    // A wrapper installs a copy of it like any other transport.
    EXPECT_EQ(TessaroSetTransport(&transport), 0);
    EXPECT_EQ(TessaroSetTransport(nullptr), 0);
}

}  // namespace

// The platform transport of a build without platform HID support
// (TESSARO_PLATFORM_TRANSPORT=OFF): it knows no interface, so OpenUSBPort
// finds no reader until a transport is installed with TessaroSetTransport
// (the simulated reader, a test's fake reader, a bridge to a remote reader).
#include "transport.h"

namespace tessaro::link {

namespace {

int TESSARO_CALL noInterface(void *, int, char *, size_t) { return 1; }
void *TESSARO_CALL noDevice(void *, const char *) { return nullptr; }
int TESSARO_CALL noAttributes(void *, void *, unsigned short *, unsigned short *) { return 1; }
int TESSARO_CALL noWrite(void *, void *, const unsigned char *, unsigned) { return -1; }
int TESSARO_CALL noRead(void *, void *, unsigned char *, unsigned) { return -1; }
void TESSARO_CALL noClose(void *, void *) {}

}  // namespace

const TessaroTransport &platformTransport() {
    static const TessaroTransport transport = {
        TESSARO_TRANSPORT_VERSION, nullptr, noInterface, noDevice, noAttributes,
        noWrite, noRead, noClose, nullptr, nullptr};
    return transport;
}

}  // namespace tessaro::link

// Reader settings commands: one reader command each, stated as its row of the
// command table (code, data bytes, outputs, acceptance rule).
#include "Tessaro.h"
#include "link/api_lock.h"
#include "protocol/exchange.h"

using namespace tessaro;
using namespace tessaro::protocol;

TESSARO_API int SetRegion(unsigned char *address, int maxChannelByte, int minChannelByte,
                          int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x22).byte(maxChannelByte).byte(minChannelByte),
                   portIndex, Rule::AlwaysWriteBack, address);
}

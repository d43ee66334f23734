// GetReaderInformation (0x21): the reader's identity and settings, and the
// scan time that stretches the inventory collectors' time bounds.
#include "Tessaro.h"
#include "exchange.h"
#include "link/api_lock.h"
#include "link/process_state.h"

using namespace tessaro;
using namespace tessaro::protocol;

TESSARO_API int GetReaderInformation(unsigned char *address, unsigned char *versionInfo,
                                     unsigned char *info2, unsigned char *info3,
                                     unsigned char *info4, unsigned char *info5,
                                     unsigned char *info6, unsigned char *scanTime,
                                     unsigned char *info8, unsigned char *info9,
                                     unsigned char *info10, unsigned char *info11,
                                     int portIndex) {
    const ApiLock lock;
    return command(CommandFrame(address, 0x21), portIndex, Rule::StatusGated, address,
                   [&](const Answer &answer) {
                       answer.copyData(0, versionInfo, 2);
                       unsigned char *singles[] = {info2, info3,    info4, info5, info6,
                                                   scanTime, info8, info9, info10, info11};
                       for (std::size_t k = 0; k < 10; ++k) *singles[k] = answer.data(2 + k);
                       processState().scanTimeUnits = answer.data(7);
                   });
}

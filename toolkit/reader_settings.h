// Reading the reader's identity and settings into named fields, shared by
// `tessaro info`, `tessaro config get` and the web console. Each field's key is the camelCase form of the name
// `config set` takes ("scan-time" -> "scanTime"), its JSON value in the
// units the text shows (dBm, ms, antenna numbers, names).
#pragma once

#include "fields.h"

namespace tessaro::toolkit {

// The twelve bytes of the reader's information (GetReaderInformation).
struct ReaderInformation {
    unsigned char version[2] = {};
    unsigned char type = 0, protocols = 0, maxChannelByte = 0, minChannelByte = 0, power = 0,
                  scanTime = 0, antennas = 0, beep = 0, workMode = 0, commType = 0;

    // Returns the library's return code.
    int read(unsigned char *address, int port);
};

// Region, power, scan time, antennas, beep, work mode, comm type.
void addMainSettings(Fields &fields, const ReaderInformation &info);
// What GetSystemParameter tells (auto-mode answer, tag type, interval,
// trigger time, mask, EAS sensitivity, TID parameter), and with `everything`
// the settings that have a get command of their own (rev delay, clock, GPIO,
// work time, save length, keyboard-mode settings). A setting whose command
// fails is shown as unavailable.
void addOtherSettings(unsigned char *address, int port, Fields &fields, bool everything);

// Everything `tessaro info` says of the reader at `port`: versions, serial
// number, then the settings above. Returns 0, or the return code of
// GetReaderInformation (then `fields` is left as it was).
int describeReader(unsigned char *address, int port, Fields &fields);

// "unavailable (ERR_COMM)"
std::string unavailable(int code);

}  // namespace tessaro::toolkit

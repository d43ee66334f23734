// Windows: the reader is an ordinary HID device, open to every user; what
// keeps it from the tool is its driver or another program.
#include "no_reader.h"

namespace tessaro::cli {

const char *noReaderAdvice() {
    return "  Is the reader plugged in? Windows lists it in Device Manager (devmgmt.msc) under\n"
           "  \"Human Interface Devices\" as a \"USB Input Device\" whose Properties, Details,\n"
           "  \"Hardware Ids\" read HID\\VID_0470&PID_A112; a yellow mark there means its driver "
           "did not start.\n"
           "  Another program may hold the reader open (the vendor's demo, another copy of this "
           "tool):\n"
           "  close it and try again.\n"
           "  To try the tool without a reader, add --sim.";
}

}  // namespace tessaro::cli

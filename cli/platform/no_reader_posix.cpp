// Linux (and any platform on hidapi): the reader's /dev/hidraw node and the
// udev rule that opens it to the user at the machine.
#include "no_reader.h"

namespace tessaro::cli {

const char *noReaderAdvice() {
    return "  Is the reader plugged in? On Linux your user needs read and write access to its "
           "/dev/hidraw node;\n"
           "  the udev rule 70-tessaro.rules gives it to the user at the machine\n"
           "  (installed by the package; see README.md for applying it without a reboot):\n"
           "    SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"0470\", ATTRS{idProduct}==\"a112\", "
           "TAG+=\"uaccess\"\n"
           "  To try the tool without a reader, add --sim.";
}

}  // namespace tessaro::cli

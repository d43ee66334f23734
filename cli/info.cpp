// tessaro info: who the reader is and how it is set, in words.
#include "cli.h"
#include "session.h"
#include "reader_settings.h"

namespace tessaro::cli {

namespace {

int runInfo(Session &session) {
    Fields fields;
    const int rc = describeReader(session.address(), session.port(), fields);
    if (rc != 0) return session.fail("reading the reader's information", rc);
    session.out().print(fields);
    return kExitOk;
}

}  // namespace

void add_info_command(CLI::App &app, Cli &cli) {
    CLI::App *command = app.add_subcommand(
        "info", "The reader's identity and settings in words: versions, serial number, region, "
                "power, scan time, antennas, work mode, system parameters.");
    command->callback([&cli] { cli.action = runInfo; });
}

}  // namespace tessaro::cli

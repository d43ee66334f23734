// tessaro info: who the reader is and how it is set, in words.
#include "Tessaro.h"
#include "cli.h"
#include "session.h"
#include "reader_settings.h"

namespace tessaro::cli {

namespace {

int runInfo(Session &session) {
    ReaderInformation info;
    const int rc = info.read(session);
    if (rc != 0) return session.fail("reading the reader's information", rc);
    unsigned char *address = session.address();
    unsigned char sdk[3];
    GetSDKVersion(sdk);

    Fields fields;
    const std::string sdkText = std::to_string(sdk[0]) + "." + std::to_string(sdk[1]) + "." +
                                std::to_string(sdk[2]);
    fields.add("sdkVersion", "SDK version", sdkText, sdkText);
    fields.add("address", "Reader address", "0x" + hex(address, 1), *address);
    const std::string firmware =
        std::to_string(info.version[0]) + "." + std::to_string(info.version[1]);
    fields.add("firmwareVersion", "Firmware version", firmware, firmware);
    fields.add("readerType", "Reader type", "0x" + hex(&info.type, 1), info.type);
    Json protocols = Json::array();
    std::string protocolText;
    if (info.protocols & 2) protocols.push_back("gen2"), protocolText = "EPC Gen2";
    if (info.protocols & 1) {
        protocols.push_back("6b");
        protocolText += std::string(protocolText.empty() ? "" : ", ") + "ISO 18000-6B";
    }
    fields.add("protocols", "Protocols", protocolText.empty() ? "none" : protocolText, protocols);

    unsigned char serial[4];
    int got = GetSeriaNo(address, serial, session.port());
    fields.add("serialNumber", "Serial number", got == 0 ? hex(serial, 4) : unavailable(got),
               got == 0 ? Json(hex(serial, 4)) : Json());
    unsigned char module[2];
    got = GetModuleVersion(address, module, session.port());
    const std::string moduleText = std::to_string(module[0]) + "." + std::to_string(module[1]);
    fields.add("moduleVersion", "Module version", got == 0 ? moduleText : unavailable(got),
               got == 0 ? Json(moduleText) : Json());

    addMainSettings(fields, info);
    addOtherSettings(session, fields, false);
    fields.print(session.out());
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

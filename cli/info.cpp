// tessaro info: who the reader is and how it is set, in words.
#include "Tessaro.h"
#include "TessaroErrors.h"
#include "cli.h"
#include "session.h"
#include "settings_words.h"
#include "tag_words.h"

namespace tessaro::cli {

namespace {

std::string byteText(int value) { return std::to_string(value); }

std::string unavailable(int code) {
    const std::string text = TessaroReturnCodeText(code);
    return "unavailable (" + text.substr(0, text.find(':')) + ")";
}

int runInfo(Session &session) {
    unsigned char *address = session.address();
    const int port = session.port();
    unsigned char sdk[3];
    GetSDKVersion(sdk);

    unsigned char version[2], b[10];
    int rc = GetReaderInformation(address, version, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5],
                                  &b[6], &b[7], &b[8], &b[9], port);
    if (rc != 0) return session.fail("reading the reader's information", rc);
    const int type = b[0], protocols = b[1], maxByte = b[2], minByte = b[3], power = b[4],
              scanTime = b[5], antennas = b[6], beep = b[7], workMode = b[8], commType = b[9];

    Fields fields;
    const std::string sdkText = std::to_string(sdk[0]) + "." + std::to_string(sdk[1]) + "." +
                                std::to_string(sdk[2]);
    fields.add("sdkVersion", "SDK version", sdkText, sdkText);
    fields.add("address", "Reader address", "0x" + hex(address, 1), *address);
    const std::string firmware = std::to_string(version[0]) + "." + std::to_string(version[1]);
    fields.add("firmwareVersion", "Firmware version", firmware, firmware);
    fields.add("readerType", "Reader type", "0x" + hex(&b[0], 1), type);
    Json protocolList = Json::array();
    if (protocols & 2) protocolList.push_back("gen2");
    if (protocols & 1) protocolList.push_back("6b");
    std::string protocolText = protocols & 2 ? "EPC Gen2" : "";
    if (protocols & 1) protocolText += std::string(protocolText.empty() ? "" : ", ") + "ISO 18000-6B";
    fields.add("protocols", "Protocols", protocolText.empty() ? "none" : protocolText, protocolList);

    unsigned char serial[4];
    rc = GetSeriaNo(address, serial, port);
    fields.add("serialNumber", "Serial number", rc == 0 ? hex(serial, 4) : unavailable(rc),
               rc == 0 ? Json(hex(serial, 4)) : Json());
    unsigned char module[2];
    rc = GetModuleVersion(address, module, port);
    const std::string moduleText = std::to_string(module[0]) + "." + std::to_string(module[1]);
    fields.add("moduleVersion", "Module version", rc == 0 ? moduleText : unavailable(rc),
               rc == 0 ? Json(moduleText) : Json());

    std::string regionText;
    Json region;
    describeRegion(maxByte, minByte, regionText, region);
    fields.add("region", "Region", regionText, region);
    fields.add("rfPowerDbm", "RF power", byteText(power) + " dBm", power);
    fields.add("scanTimeMs", "Scan time", std::to_string(scanTime * 100) + " ms", scanTime * 100);
    fields.add("antennas", "Antennas", antennaList(antennas), antennaArray(antennas));
    fields.add("beep", "Beep", beep ? "on" : "off", beep != 0);
    fields.add("workMode", "Work mode", workModeName(workMode), workModeName(workMode));
    fields.add("commType", "Comm type", byteText(commType), commType);

    unsigned char sys[6], maskMem, maskAddress[2], maskLength, maskData[32], eas = 0,
        tid1 = 0, tid2 = 0;
    rc = GetSystemParameter(address, &sys[0], &sys[1], &sys[2], &sys[3], &sys[4], &sys[5],
                            &maskMem, maskAddress, &maskLength, maskData, &eas, &tid1, &tid2,
                            port);
    if (rc == 0) {
        fields.add("autoResponse", "Auto-mode answer", hex(&sys[1], 2), hex(&sys[1], 2));
        fields.add("tagType", "Tag type", byteText(sys[3]), sys[3]);
        fields.add("inventoryInterval", "Inventory interval", byteText(sys[4]), sys[4]);
        fields.add("triggerTime", "Trigger time", byteText(sys[5]), sys[5]);
        const int maskBytes = (maskLength + 7) / 8;
        const std::string maskText =
            maskLength == 0 ? "none"
                            : std::string(bankName(maskMem)) + " bit 0x" + hex(maskAddress, 2) +
                                  ", " + std::to_string(maskLength) + " bits " +
                                  hex(maskData, maskBytes > 32 ? 32 : maskBytes);
        fields.add("mask", "Inventory mask", maskText,
                   Json{{"bank", bankName(maskMem)},
                        {"bitAddress", maskAddress[0] << 8 | maskAddress[1]},
                        {"bits", maskLength},
                        {"data", hex(maskData, maskBytes > 32 ? 32 : maskBytes)}});
        fields.add("easSensitivity", "EAS sensitivity", byteText(eas), eas);
        fields.add("tidParameter", "TID parameter", hex(&tid1, 1) + hex(&tid2, 1),
                   hex(&tid1, 1) + hex(&tid2, 1));
    } else {
        fields.add("systemParameters", "System parameters", unavailable(rc), Json());
    }
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

#include "reader_settings.h"

#include <cstdio>

#include "Tessaro.h"
#include "TessaroErrors.h"
#include "settings_words.h"
#include "tag_words.h"

namespace tessaro::toolkit {

namespace {

std::string byteHex(unsigned char byte) { return hex(&byte, 1); }

}  // namespace

std::string unavailable(int code) {
    const std::string text = TessaroReturnCodeText(code);
    return "unavailable (" + text.substr(0, text.find(':')) + ")";
}

int ReaderInformation::read(unsigned char *address, int port) {
    return GetReaderInformation(address, version, &type, &protocols, &maxChannelByte,
                                &minChannelByte, &power, &scanTime, &antennas, &beep, &workMode,
                                &commType, port);
}

void addMainSettings(Fields &fields, const ReaderInformation &info) {
    std::string regionText;
    Json region;
    describeRegion(info.maxChannelByte, info.minChannelByte, regionText, region);
    fields.add("region", "Region", regionText, region)
        .add("power", "RF power", std::to_string(info.power) + " dBm", info.power)
        .add("scanTime", "Scan time", std::to_string(info.scanTime * 100) + " ms",
             info.scanTime * 100)
        .add("antennas", "Antennas", antennaList(info.antennas), antennaArray(info.antennas))
        .add("beep", "Beep", info.beep ? "on" : "off", info.beep != 0)
        .add("workMode", "Work mode", workModeName(info.workMode), workModeName(info.workMode))
        .add("commType", "Comm type", std::to_string(info.commType), info.commType);
}

void addOtherSettings(unsigned char *address, int port, Fields &fields, bool everything) {
    unsigned char sys[6] = {}, maskMem = 0, maskAddress[2] = {}, maskLength = 0, maskData[32] = {},
                  eas = 0, tid[2] = {};
    int rc = GetSystemParameter(address, &sys[0], &sys[1], &sys[2], &sys[3], &sys[4], &sys[5],
                                &maskMem, maskAddress, &maskLength, maskData, &eas, &tid[0],
                                &tid[1], port);
    if (rc == 0) {
        const int maskBytes = (maskLength + 7) / 8;
        const std::string maskHex = hex(maskData, maskBytes);
        const int bitAddress = maskAddress[0] << 8 | maskAddress[1];
        fields.add("autoResponse", "Auto-mode answer", hex(&sys[1], 2), hex(&sys[1], 2))
            .add("tagType", "Tag type", std::to_string(sys[3]), sys[3])
            // The library passes these two bytes unchanged; their unit is the
            // reader's (its manual tells it), so the text says whose it is.
            .add("inventoryInterval", "Inventory interval",
                 std::to_string(sys[4]) + " (the reader's units)", sys[4])
            .add("triggerTime", "Trigger time", std::to_string(sys[5]) + " (the reader's units)",
                 sys[5])
            .add("mask", "Inventory mask",
                 maskLength == 0 ? "none"
                                 : std::string(bankName(maskMem)) + ":" +
                                       std::to_string(bitAddress) + ":" + maskHex + " (" +
                                       std::to_string(maskLength) + " bits)",
                 maskLength == 0 ? Json()
                                 : Json{{"bank", bankName(maskMem)},
                                        {"bitAddress", bitAddress},
                                        {"bits", maskLength},
                                        {"data", maskHex}})
            .add("easSensitivity", "EAS sensitivity", std::to_string(eas), eas)
            .add("tidParameter", "TID parameter", hex(tid, 2), hex(tid, 2));
    } else {
        fields.add("systemParameters", "System parameters", unavailable(rc), Json());
    }
    if (!everything) return;

    unsigned char revDelay = 0;
    rc = GetRevDelay(address, &revDelay, port);
    fields.add("revDelay", "Rev delay", rc == 0 ? std::to_string(revDelay) : unavailable(rc),
               rc == 0 ? Json(revDelay) : Json());

    unsigned char clock[6] = {};
    rc = GetTime(address, clock, port);
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02dT%02d:%02d:%02d", 2000 + clock[0], clock[1],
                  clock[2], clock[3], clock[4], clock[5]);
    fields.add("clock", "Clock", rc == 0 ? when : unavailable(rc), rc == 0 ? Json(when) : Json());

    unsigned char gpio = 0;
    rc = GetGPIOStatus(address, &gpio, port);
    fields.add("gpio", "GPIO", rc == 0 ? "0x" + byteHex(gpio) : unavailable(rc),
               rc == 0 ? Json(gpio) : Json());

    unsigned char work[2] = {};
    rc = GetWorkTime(address, &work[0], &work[1], port);
    fields.add("workTime", "Work time", rc == 0 ? hex(work, 2) : unavailable(rc),
               rc == 0 ? Json(hex(work, 2)) : Json());

    unsigned char saveLength = 0;
    rc = GetSaveLen(address, &saveLength, port);
    const std::string saveText = saveLength == 0   ? "16 bytes"
                                 : saveLength == 1 ? "62 bytes"
                                                   : "code " + std::to_string(saveLength);
    fields.add("saveLength", "Buffer ID length", rc == 0 ? saveText : unavailable(rc),
               rc == 0 ? Json(saveLength == 0 ? 16 : saveLength == 1 ? 62 : -1) : Json());

    unsigned char hidBeep = 0;
    rc = GetHidBeepEn(address, &hidBeep, port);
    fields.add("hidBeep", "Keyboard-mode beep", rc == 0 ? (hidBeep ? "on" : "off") : unavailable(rc),
               rc == 0 ? Json(hidBeep != 0) : Json());

    unsigned char hid[6] = {};
    rc = GetHidWorkPara(address, &hid[0], &hid[1], &hid[2], &hid[3], &hid[4], &hid[5], port);
    std::string hidText;
    Json hidValues = Json::array();
    for (unsigned char value : hid) {
        hidText += (hidText.empty() ? "" : ",") + std::to_string(value);
        hidValues.push_back(value);
    }
    fields.add("hidWork", "Keyboard-mode parameters", rc == 0 ? hidText : unavailable(rc),
               rc == 0 ? hidValues : Json());
}

int describeReader(unsigned char *address, int port, Fields &fields) {
    ReaderInformation info;
    const int rc = info.read(address, port);
    if (rc != 0) return rc;
    unsigned char sdk[3];
    GetSDKVersion(sdk);

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
    int got = GetSeriaNo(address, serial, port);
    fields.add("serialNumber", "Serial number", got == 0 ? hex(serial, 4) : unavailable(got),
               got == 0 ? Json(hex(serial, 4)) : Json());
    unsigned char module[2];
    got = GetModuleVersion(address, module, port);
    const std::string moduleText = std::to_string(module[0]) + "." + std::to_string(module[1]);
    fields.add("moduleVersion", "Module version", got == 0 ? moduleText : unavailable(got),
               got == 0 ? Json(moduleText) : Json());

    addMainSettings(fields, info);
    addOtherSettings(address, port, fields, false);
    return 0;
}

}  // namespace tessaro::toolkit

"""The C libraries and the ctypes signature of every function the binding calls.

Each signature is declared once, here, in the order of its header; the tests
parse the headers and compare, so a changed header cannot silently break the
binding.

Where the libraries are looked for, first match wins:

1. the folders of the environment variable ``TESSARO_LIBRARY_PATH``
   (separated by ``os.pathsep``), e.g. a build tree's ``build/bin``;
2. the folders recorded when the package was installed with pip
   (``tessaro/_install.py``, written by setup.py): those of
   ``TESSARO_LIBRARY_PATH`` at that time, else the build trees of the source
   tree it was installed from;
3. the package's own folder and the three above it (``cmake --install`` and
   the Debian package put the package in ``<libdir>/python3/dist-packages``,
   beside the library; a virtual environment made in the install prefix has
   it in ``<prefix>/lib/python3.X/site-packages``), and ``<sys.prefix>/lib``;
4. the system's loader: ``ctypes.util.find_library`` (the ``ldconfig`` cache,
   where the Debian package and ``cmake --install`` to ``/usr/local`` put it),
   then the bare file name (``LD_LIBRARY_PATH``).
"""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
from ctypes import (CFUNCTYPE, POINTER, Structure, c_char, c_char_p, c_int, c_longlong, c_size_t,
                    c_ubyte, c_uint, c_ulonglong, c_void_p)
from pathlib import Path
from typing import Dict, List, Tuple

LIBRARY_PATH_VARIABLE = "TESSARO_LIBRARY_PATH"


class TagRecord(Structure):
    """TessaroTagRecord (TessaroRecords.h)."""
    _fields_ = [
        ("epc", POINTER(c_ubyte)),
        ("epcLength", c_int),
        ("tid", POINTER(c_ubyte)),
        ("tidLength", c_int),
        ("rssi", c_int),
        ("antenna", c_int),
    ]


class SimReaderState(Structure):
    """TessaroSimReaderState (TessaroSim.h)."""
    _fields_ = [
        ("version", c_ubyte * 2),
        ("readerType", c_ubyte),
        ("protocols", c_ubyte),
        ("maxChannelByte", c_ubyte),
        ("minChannelByte", c_ubyte),
        ("rfPower", c_ubyte),
        ("scanTime", c_ubyte),
        ("antennaMask", c_ubyte),
        ("beepNotification", c_ubyte),
        ("workMode", c_ubyte),
        ("commType", c_ubyte),
        ("address", c_ubyte),
        ("autoParam", c_ubyte * 2),
        ("tagType", c_ubyte),
        ("inventoryInterval", c_ubyte),
        ("triggerTime", c_ubyte),
        ("mask", c_ubyte * 36),
        ("easSensitivity", c_ubyte),
        ("tidParam", c_ubyte * 2),
        ("revDelay", c_ubyte),
        ("buzzerLed", c_ubyte * 3),
        ("customFunction", c_ubyte),
        ("relay", c_ubyte),
        ("gpioOutputs", c_ubyte),
        ("gpioInputs", c_ubyte),
        ("pulseOutput", c_ubyte),
        ("serialNumber", c_ubyte * 4),
        ("workTime", c_ubyte * 2),
        ("moduleVersion", c_ubyte * 2),
        ("clock", c_ubyte * 6),
        ("saveLength", c_ubyte),
        ("bufferedTags", c_int),
        ("keyboardMode", c_ubyte),
        ("hidWorkPara", c_ubyte * 6),
        ("hidBeepEnable", c_ubyte),
        ("selfTestMode", c_ubyte),
        ("dac", c_ubyte),
        ("powerList", c_ubyte * 31),
        ("startInfo", c_ubyte * 9),
        ("rfOutput", c_ubyte),
        ("testFrequency", c_ubyte * 4),
        ("testMode", c_ubyte),
        ("adValues", c_ubyte * 2 * 8),
        ("aValues", c_ubyte * 8 * 16),
        ("checkAnt", c_ubyte),
        ("checkPower", c_ubyte * 4),
        ("dcOffset", c_ubyte * 2),
        ("qs", c_ubyte * 2),
        ("flashWrites", c_int),
    ]


class SimTagState(Structure):
    """TessaroSimTagState (TessaroSim.h)."""
    _fields_ = [
        ("kind", c_int),
        ("antenna", c_int),
        ("rssi", c_int),
        ("killed", c_int),
        ("hidden", c_int),
        ("eas", c_int),
        ("qtSupported", c_int),
        ("qt", c_int),
        ("locks", c_int * 5),
        ("userBlockLocks", c_int),
    ]


class SimCounters(Structure):
    """TessaroSimCounters (TessaroSim.h)."""
    _fields_ = [
        ("dataReports", c_int),
        ("framesAnswered", c_int),
        ("framesIgnored", c_int),
        ("polls", c_int),
        ("acks", c_int),
        ("syncs", c_int),
        ("changeToHid", c_int),
        ("inputReports", c_int),
        ("busyReports", c_int),
        ("lastCommand", c_int),
    ]


class EpcIdentity(Structure):
    """TessaroEpcIdentity (TessaroEpc.h)."""
    _fields_ = [
        ("scheme", c_int),
        ("bits", c_int),
        ("filter", c_int),
        ("companyPrefixLength", c_int),
        ("componentCount", c_int),
        ("components", c_char * 33 * 5),
        ("reason", c_char * 96),
    ]


class TagRead(Structure):
    """TessaroTagRead (TessaroReading.h)."""
    _fields_ = [
        ("portIndex", c_int),
        ("round", c_ulonglong),
        ("epc", POINTER(c_ubyte)),
        ("epcLength", c_int),
        ("tid", POINTER(c_ubyte)),
        ("tidLength", c_int),
        ("rssi", c_int),
        ("antenna", c_int),
        ("monotonicMs", c_ulonglong),
        ("wallClockMs", c_longlong),
    ]


class ReadingStatus(Structure):
    """TessaroReadingStatus (TessaroReading.h)."""
    _fields_ = [
        ("portIndex", c_int),
        ("event", c_int),
        ("code", c_int),
        ("text", c_char_p),
        ("monotonicMs", c_ulonglong),
        ("wallClockMs", c_longlong),
    ]


class PresenceEvent(Structure):
    """TessaroPresenceEvent (TessaroReading.h)."""
    _fields_ = [
        ("portIndex", c_int),
        ("event", c_int),
        ("epc", POINTER(c_ubyte)),
        ("epcLength", c_int),
        ("antenna", c_int),
        ("reads", c_int),
        ("peakRssi", c_int),
        ("firstSeenMs", c_ulonglong),
        ("lastSeenMs", c_ulonglong),
        ("monotonicMs", c_ulonglong),
        ("wallClockMs", c_longlong),
    ]


# The callbacks of a reading: called on the reading's thread, which ctypes
# gives the GIL for the call.
TagCallback = CFUNCTYPE(None, POINTER(TagRead), c_void_p)
StatusCallback = CFUNCTYPE(None, POINTER(ReadingStatus), c_void_p)
PresenceCallback = CFUNCTYPE(None, POINTER(PresenceEvent), c_void_p)


class ReadingOptions(Structure):
    """TessaroReadingOptions (TessaroReading.h)."""
    _fields_ = [
        ("mode", c_int),
        ("address", c_ubyte),
        ("qValue", c_int),
        ("session", c_int),
        ("maskFlag", c_int),
        ("maskMem", c_int),
        ("maskLength", c_int),
        ("maskAddress", c_ubyte * 2),
        ("maskData", c_ubyte * 32),
        ("tidFlag", c_int),
        ("tidAddress", c_int),
        ("tidLength", c_int),
        ("targetFlag", c_int),
        ("target", c_int),
        ("antenna", c_int),
        ("scanTime", c_int),
        ("pauseMs", c_uint),
        ("dedupWindowMs", c_uint),
        ("lostAfterFailures", c_uint),
        ("retryIntervalMs", c_uint),
        ("presence", c_int),
        ("departAfterMs", c_uint),
        ("maxTags", c_uint),
        ("onTag", TagCallback),
        ("onStatus", StatusCallback),
        ("onPresence", PresenceCallback),
        ("userData", c_void_p),
    ]


class ReadingStats(Structure):
    """TessaroReadingStats (TessaroReading.h)."""
    _fields_ = [
        ("rounds", c_ulonglong),
        ("reads", c_ulonglong),
        ("reported", c_ulonglong),
        ("lost", c_ulonglong),
        ("badLists", c_ulonglong),
        ("tagsOverflow", c_ulonglong),
        ("running", c_int),
        ("readerLost", c_int),
    ]


_INT = c_int
_UINT = c_uint
_SIZE = c_size_t
_BYTES = POINTER(c_ubyte)        # unsigned char *, in or out
_INTP = POINTER(c_int)
_VOIDP = c_void_p
_TEXT = c_char_p                 # char *: a NUL-terminated text, in or out
_TEXTS = POINTER(c_void_p)       # char **: pointers kept raw, so that they can be freed
_SIM = c_void_p                  # TessaroSim *
_RECORDP = POINTER(TagRecord)
_EPC_IDENTITYP = POINTER(EpcIdentity)
_READER_STATEP = POINTER(SimReaderState)
_TAG_STATEP = POINTER(SimTagState)
_COUNTERSP = POINTER(SimCounters)
_READING = c_void_p              # TessaroReading *

Signature = Tuple[object, List[object]]

# libTessaro: Tessaro.h (its C-linkage functions; the inert entry points that
# take any arguments are left out), TessaroCNames.h, TessaroErrors.h,
# TessaroReading.h.
TESSARO_FUNCTIONS: Dict[str, Signature] = {
    # Tessaro.h
    "OpenUSBPort": (_INT, [_INTP]),
    "CloseUSBPort": (_INT, [_INT]),
    "GetReaderInformation": (_INT, [
        _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES,
        _BYTES, _INT]),
    "GetSDKVersion": (_INT, [_BYTES]),
    "Inventory_G2": (_INT, [
        _BYTES, _INT, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _INT, _INT, _INT, _INT, _INT, _INT,
        _INT, _BYTES, _BYTES, _INTP, _INTP, _INT]),
    "Fast_EPC_Inventory_G2": (_INT, [
        _BYTES, _INT, _INT, _INT, _INT, _BYTES, _BYTES, _INTP, _INTP, _INT]),
    "SingleTagInventory_G2": (_INT, [_BYTES, _BYTES, _VOIDP, _INTP, _INT]),
    "ReadData_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _BYTES, _INTP,
        _INT]),
    "WriteData_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _INT, _INT, _BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP,
        _INT]),
    "WriteEPC_G2": (_INT, [_BYTES, _BYTES, _BYTES, _INT, _INTP, _INT]),
    "BlockErase_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "BlockWrite_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _INT, _INT, _BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP,
        _INT]),
    "ExtReadData_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _BYTES,
        _INTP, _INT]),
    "ExtWriteData_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _INT, _BYTES, _BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES,
        _INTP, _INT]),
    "KillTag_G2": (_INT, [_BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "Lock_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "SetPrivacyByEPC_G2": (_INT, [
        _BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "SetPrivacyWithoutEPC_G2": (_INT, [_BYTES, _BYTES, _INTP, _INT]),
    "ResetPrivacy_G2": (_INT, [_BYTES, _BYTES, _INTP, _INT]),
    "CheckPrivacy_G2": (_INT, [_BYTES, _BYTES, _INTP, _INT]),
    "EASConfigure_G2": (_INT, [
        _BYTES, _BYTES, _INT, _BYTES, _INT, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "EASAlarm_G2": (_INT, [_BYTES, _INTP, _INT]),
    "BlockLock_G2": (_INT, [
        _BYTES, _BYTES, _INT, _BYTES, _INT, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "GetMonza4QTWorkParamter_G2": (_INT, [
        _BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _BYTES, _INTP, _INT]),
    "SetMonza4QTWorkParamter_G2": (_INT, [
        _BYTES, _BYTES, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "InventoryBuffer_G2": (_INT, [
        _BYTES, _INT, _INT, _INT, _BYTES, _INT, _BYTES, _INT, _INT, _INT, _INT, _INT, _INT, _INT,
        _INT, _INTP, _INTP, _INT]),
    "SetSaveLen": (_INT, [_BYTES, _INT, _INT]),
    "GetSaveLen": (_INT, [_BYTES, _BYTES, _INT]),
    "ReadBuffer_G2": (_INT, [_BYTES, _INTP, _INTP, _BYTES, _INT]),
    "ClearBuffer_G2": (_INT, [_BYTES, _INT]),
    "GetBufferCnt_G2": (_INT, [_BYTES, _INTP, _INT]),
    "InventorySingle_6B": (_INT, [_BYTES, _BYTES, _BYTES, _INT]),
    "InventoryMultiple_6B": (_INT, [
        _BYTES, _INT, _INT, _INT, _BYTES, _BYTES, _BYTES, _INTP, _INT]),
    "ReadData_6B": (_INT, [_BYTES, _BYTES, _INT, _INT, _BYTES, _INTP, _INT]),
    "WriteData_6B": (_INT, [_BYTES, _BYTES, _INT, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "Lock_6B": (_INT, [_BYTES, _BYTES, _INT, _INTP, _INT]),
    "CheckLock_6B": (_INT, [_BYTES, _BYTES, _INT, _BYTES, _INTP, _INT]),
    "SetRegion": (_INT, [_BYTES, _INT, _INT, _INT]),
    "SetAddress": (_INT, [_BYTES, _INT, _INT]),
    "SetInventoryScanTime": (_INT, [_BYTES, _INT, _INT]),
    "SetRevDelay": (_INT, [_BYTES, _INT, _INT]),
    "SetRfPower": (_INT, [_BYTES, _INT, _INT]),
    "GetRevDelay": (_INT, [_BYTES, _BYTES, _INT]),
    "BuzzerAndLEDControl": (_INT, [_BYTES, _INT, _INT, _INT, _INT]),
    "SetWorkMode": (_INT, [_BYTES, _INT, _INT]),
    "GetSystemParameter": (_INT, [
        _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES,
        _BYTES, _BYTES, _BYTES, _INT]),
    "SetEASSensitivity": (_INT, [_BYTES, _INT, _INT]),
    "SetTagCustomFunction": (_INT, [_BYTES, _BYTES, _INT]),
    "SetMask": (_INT, [_BYTES, _INT, _BYTES, _INT, _BYTES, _INT]),
    "SetResponsePamametersofAuto_runningMode": (_INT, [_BYTES, _INT, _INT, _INT]),
    "SetInventoryInterval": (_INT, [_BYTES, _INT, _INT]),
    "SelectTagType": (_INT, [_BYTES, _INT, _INT]),
    "SetAntennaMultiplexing": (_INT, [_BYTES, _INT, _INT]),
    "SetBeepNotification": (_INT, [_BYTES, _INT, _INT]),
    "SetReal_timeClock": (_INT, [_BYTES, _BYTES, _INT]),
    "GetTime": (_INT, [_BYTES, _BYTES, _INT]),
    "ClearTagBuffer": (_INT, [_BYTES, _INT]),
    "SetRelay": (_INT, [_BYTES, _INT, _INT]),
    "SetGPIO": (_INT, [_BYTES, _INT, _INT]),
    "GetGPIOStatus": (_INT, [_BYTES, _BYTES, _INT]),
    "SetNotificationPulseOutput": (_INT, [_BYTES, _INT, _INT]),
    "SetTriggerTime": (_INT, [_BYTES, _INT, _INT]),
    "SetTIDParameter": (_INT, [_BYTES, _INT, _INT, _INT]),
    "SetSeriaNo": (_INT, [_BYTES, _BYTES, _INT]),
    "GetSeriaNo": (_INT, [_BYTES, _BYTES, _INT]),
    "SetWorkTime": (_INT, [_BYTES, _INT, _INT, _INT]),
    "GetWorkTime": (_INT, [_BYTES, _BYTES, _BYTES, _INT]),
    "SetCommType": (_INT, [_BYTES, _INT, _INT]),
    "GetModuleVersion": (_INT, [_BYTES, _BYTES, _INT]),
    "InSelfTestMode": (_INT, [_BYTES, _INT, _INT]),
    "SetDAC": (_INT, [_BYTES, _INT, _INT]),
    "GetDAC": (_INT, [_BYTES, _BYTES, _INT]),
    "CheckPowerParameter": (_INT, [_BYTES, _BYTES, _INT]),
    "SolidifyDACandPowerlist": (_INT, [_BYTES, _BYTES, _BYTES, _INT]),
    "GetStartInformation": (_INT, [
        _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _INT]),
    "RfOutput": (_INT, [_BYTES, _INT, _INT]),
    "DeleteRfOutput": (_INT, [_BYTES, _BYTES, _INT]),
    "EnableTestFreq": (_INT, [_BYTES, _BYTES, _INT, _INT]),
    "GetADValue": (_INT, [_BYTES, _INT, _BYTES, _INT]),
    "SetAValue": (_INT, [_BYTES, _INT, _BYTES, _BYTES, _INT]),
    "GetAdjustPara": (_INT, [_BYTES, _BYTES, _INT]),
    "SetCheckAnt": (_INT, [_BYTES, _INT, _INT]),
    "GetCheckPWR": (_INT, [_BYTES, _BYTES, _BYTES, _INT]),
    "SetDCOffset": (_INT, [_BYTES, _BYTES, _INT]),
    "SetQS": (_INT, [_BYTES, _INT, _INT, _INT]),
    "GetQS": (_INT, [_BYTES, _BYTES, _BYTES, _INT]),
    "SetFlashRom": (_INT, [_BYTES, _INT]),
    "ChangeToHID": (_INT, [_BYTES, _INT]),
    "SetHidWorkPara": (_INT, [_BYTES, _INT, _INT, _INT, _INT, _INT, _INT, _INT]),
    "GetHidWorkPara": (_INT, [_BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _BYTES, _INT]),
    "SetHidBeepEn": (_INT, [_BYTES, _INT, _INT]),
    "GetHidBeepEn": (_INT, [_BYTES, _BYTES, _INT]),
    "GetChannelList": (_INT, [_INT, _TEXTS]),
    "SetRegionAndChannel": (_INT, [_BYTES, _INT, _INT, _INT, _INT]),
    "SetRegionWithDefaultChannel": (_INT, [_BYTES, _INT, _INT]),
    # TessaroCNames.h
    "TessaroSendDataToPort": (_INT, [_BYTES, _UINT, _INT]),
    "TessaroGetDataFromPort": (_INT, [_BYTES, _INTP, _INT]),
    "TessaroGetInventoryDataFromPort1": (_INT, [_BYTES, _INTP, _INT]),
    "TessaroGetBufferDataFromPort": (_INT, [_BYTES, _INTP, _INT]),
    "TessaroGetDataFromPort_buff": (_INT, [_BYTES, _INTP, _INT]),
    "TessaroGetCRC": (None, [_BYTES, _INT]),
    "TessaroCheckCRC": (_INT, [_BYTES, _INT]),
    "TessaroATGetDataFromPort": (_INT, [_BYTES, _INTP, _INT]),
    "TessaroDecodeTagRecord": (_INT, [_BYTES, _INT, _INTP, _RECORDP]),
    "TessaroDecodeTagRecordCount": (_INT, [_BYTES, _INT]),
    # TessaroErrors.h
    "TessaroReturnCodeText": (_TEXT, [_INT]),
    "TessaroTagErrorText": (_TEXT, [_INT]),
    # TessaroEpc.h
    "TessaroEpcDecode": (_INT, [_BYTES, _INT, _EPC_IDENTITYP]),
    "TessaroEpcDecodeBank": (_INT, [_BYTES, _INT, _EPC_IDENTITYP]),
    "TessaroEpcParse": (_INT, [_TEXT, _INT, _INT, _EPC_IDENTITYP]),
    "TessaroEpcEncode": (_INT, [_EPC_IDENTITYP, _BYTES, _INT, _INTP]),
    "TessaroEpcPureUri": (_INT, [_EPC_IDENTITYP, _TEXT, _SIZE]),
    "TessaroEpcTagUri": (_INT, [_EPC_IDENTITYP, _TEXT, _SIZE]),
    "TessaroEpcElementString": (_INT, [_EPC_IDENTITYP, _TEXT, _SIZE]),
    "TessaroEpcDigitalLink": (_INT, [_EPC_IDENTITYP, _TEXT, _SIZE]),
    "TessaroEpcGs1Key": (_INT, [_EPC_IDENTITYP, _TEXT, _SIZE]),
    "TessaroEpcSchemeName": (_TEXT, [_INT]),
    "TessaroEpcComponentName": (_TEXT, [_INT, _INT]),
    # TessaroReading.h
    "TessaroReadingDefaults": (_INT, [POINTER(ReadingOptions)]),
    "TessaroReadingStart": (_INT, [_INT, POINTER(ReadingOptions), POINTER(_READING)]),
    "TessaroReadingStop": (_INT, [_READING]),
    "TessaroReadingFree": (_INT, [_READING]),
    "TessaroReadingGetStats": (_INT, [_READING, POINTER(ReadingStats)]),
    "TessaroReopenPort": (_INT, [_INT]),
    "TessaroPortIsOpen": (_INT, [_INT]),
}

# libTessaroSim: TessaroSim.h.
SIM_FUNCTIONS: Dict[str, Signature] = {
    "TessaroSimCreate": (_SIM, [_INT]),
    "TessaroSimDestroy": (None, [_SIM]),
    "TessaroSimAddReader": (_INT, [_SIM]),
    "TessaroSimGetTransport": (_INT, [_SIM, _VOIDP]),
    "TessaroSimInstall": (_INT, [_SIM]),
    "TessaroSimNowMs": (_UINT, [_SIM]),
    "TessaroSimAdvanceMs": (_INT, [_SIM, _UINT]),
    "TessaroSimGetReaderState": (_INT, [_SIM, _INT, _READER_STATEP]),
    "TessaroSimSetReaderState": (_INT, [_SIM, _INT, _READER_STATEP]),
    "TessaroSimGetCounters": (_INT, [_SIM, _INT, _COUNTERSP]),
    "TessaroSimAddTag": (_INT, [_SIM, _INT, _TEXT, _TEXT, _SIZE]),
    "TessaroSimLoadPopulation": (_INT, [_SIM, _INT, _TEXT, _TEXT, _SIZE]),
    "TessaroSimLoadPopulationText": (_INT, [_SIM, _INT, _TEXT, _TEXT, _SIZE]),
    "TessaroSimTagCount": (_INT, [_SIM, _INT]),
    "TessaroSimPlaceTag": (_INT, [_SIM, _INT, _INT, _INT, _INT]),
    "TessaroSimGetTagState": (_INT, [_SIM, _INT, _INT, _TAG_STATEP]),
    "TessaroSimReadTagMemory": (_INT, [_SIM, _INT, _INT, _INT, _BYTES, _INT]),
    "TessaroSimInjectFault": (_INT, [_SIM, _INT, _INT, _INT, _INT]),
    "TessaroSimSplitReports": (_INT, [_SIM, _INT, _BYTES, _INT]),
    "TessaroSimClearFaults": (_INT, [_SIM, _INT]),
    "TessaroSimSetPlugged": (_INT, [_SIM, _INT, _INT]),
    # The replay transport (TessaroSimReplay *, held as a raw pointer like _SIM).
    "TessaroSimReplayOpen": (_SIM, [_TEXT, _TEXT, _SIZE]),
    "TessaroSimReplayOpenText": (_SIM, [_TEXT, _TEXT, _SIZE]),
    "TessaroSimReplayGetTransport": (_INT, [_SIM, _VOIDP]),
    "TessaroSimReplayDifferences": (_INT, [_SIM, _TEXT, _SIZE]),
    "TessaroSimReplayRemaining": (_INT, [_SIM]),
    "TessaroSimReplayDestroy": (None, [_SIM]),
}


def _file_names(stem: str) -> List[str]:
    if sys.platform == "win32":
        return [f"{stem}.dll", f"lib{stem}.dll"]
    if sys.platform == "darwin":
        return [f"lib{stem}.1.dylib", f"lib{stem}.dylib"]
    return [f"lib{stem}.so.1", f"lib{stem}.so"]


def _recorded() -> List[str]:
    try:
        from . import _install     # written by setup.py when pip installs the package
    except ImportError:
        return []
    return list(getattr(_install, "LIBRARY_FOLDERS", []))


def _folders() -> List[Path]:
    folders = [Path(p) for p in os.environ.get(LIBRARY_PATH_VARIABLE, "").split(os.pathsep) if p]
    folders += [Path(p) for p in _recorded()]
    package = Path(__file__).resolve().parent
    folders += [package] + list(package.parents)[:3] + [Path(sys.prefix) / "lib"]
    unique: List[Path] = []
    for folder in folders:
        if folder not in unique:
            unique.append(folder)
    return unique


class Library:
    """A loaded library that offers only the functions declared for it, so no
    call can go out with ctypes' guessed conversions."""

    def __init__(self, path: str, signatures: Dict[str, Signature]) -> None:
        self.path = path
        try:
            # The exported functions are __stdcall on 32-bit Windows
            # (TESSARO_CALL); WinDLL is CDLL wherever there is one convention.
            library = (ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL)(path)
        except OSError as error:
            raise OSError(f"{path} not found or not loadable ({error}): set "
                          f"{LIBRARY_PATH_VARIABLE} to the folder that holds it (looked in "
                          f"{', '.join(map(str, _folders()))} and the system's folders)") from error
        for name, (result, arguments) in signatures.items():
            try:
                function = getattr(library, name)
            except AttributeError:
                raise OSError(f"{path} has no {name}: it is older than this binding") from None
            function.restype, function.argtypes = result, arguments
            setattr(self, name, function)

    def __getattr__(self, name: str):
        raise AttributeError(f"{name} is not declared in tessaro._native")


def _find(stem: str) -> str:
    """The path of lib<stem>: the first file found in _folders(), else the name
    the system's loader knows it by."""
    for folder in _folders():
        for name in _file_names(stem):
            if (folder / name).is_file():
                return str(folder / name)
    return ctypes.util.find_library(stem) or _file_names(stem)[0]


_libraries: Dict[str, Library] = {}


def tessaro() -> Library:
    """libTessaro, loaded on first use."""
    if "Tessaro" not in _libraries:
        _libraries["Tessaro"] = Library(_find("Tessaro"), TESSARO_FUNCTIONS)
    return _libraries["Tessaro"]


def simulator() -> Library:
    """libTessaroSim (after libTessaro, whose instance it must share)."""
    if "TessaroSim" not in _libraries:
        tessaro()
        _libraries["TessaroSim"] = Library(_find("TessaroSim"), SIM_FUNCTIONS)
    return _libraries["TessaroSim"]


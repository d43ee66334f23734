"""Tessaro: USB UHF RFID readers (EPC Gen2, ISO 18000-6B) from Python.

    import tessaro
    with tessaro.open() as reader:
        for tag in reader.inventory():
            print(tag.epc_hex, tag.antenna, tag.rssi)

`tessaro.sim.Simulator` provides a simulated reader; `tessaro.epc` decodes and
encodes GS1 EPC identities (tag.gs1 is one). The libraries are found
as tessaro._native describes (``TESSARO_LIBRARY_PATH`` first).
"""
from . import epc
from .errors import (CommunicationError, CrcError, FrameTooLongError, NoTagError,
                     ParameterError, PortClosedError, ReaderNotFoundError, ResponseError,
                     TagError, TagSilentError, TessaroError, code_text, tag_error_text)
from .reader import (Bank, LockAction, LockTarget, Mask, Reader, ReaderInfo, Region, Tag,
                     channels, decode_tags, open, sdk_version)
from .stream import Presence, ReaderStatus, Stream, StreamStats, TagRead

__all__ = [
    "Bank", "LockAction", "LockTarget", "Mask", "Reader", "ReaderInfo", "Region", "Tag",
    "channels", "decode_tags", "open", "sdk_version", "code_text", "tag_error_text",
    "TessaroError", "CommunicationError", "CrcError", "ResponseError", "PortClosedError",
    "ParameterError", "FrameTooLongError", "NoTagError", "TagSilentError", "TagError",
    "ReaderNotFoundError", "epc", "Stream", "StreamStats", "TagRead", "Presence", "ReaderStatus",
]
__version__ = "1.2.0"

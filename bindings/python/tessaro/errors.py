"""Return codes as exceptions.

Every function of the library returns an int: 0 for success, a library code
(ERR_COMM 48, ERR_CRC 49, ...) or the reader's own status byte. The binding
raises a `TessaroError` for anything that is not success, carrying the code and
the library's text for it (``TessaroReturnCodeText``). The subclass says what
kind of failure it was, so callers catch only what they can handle.
"""
from __future__ import annotations

from typing import Dict, Optional, Type

from . import _native

# Library codes (TessaroTypes.h) and the reader statuses the binding tells apart.
ERR_COMM = 48
ERR_CRC = 49
ERR_PORT_CLOSED = 55
ERR_RESPONSE_CMD = 238
ERR_PARAMETER = 255
ERR_FRAME_TOO_LONG = 597
STATUS_TAG_SILENT = 0xFA
STATUS_NO_TAG = 0xFB
TAG_ERROR = 0xFC


def code_text(code: int) -> str:
    """The library's name and sentence for a return code or reader status."""
    return _native.tessaro().TessaroReturnCodeText(code).decode("utf-8", "replace")


def tag_error_text(tag_error: int) -> str:
    """The library's name and sentence for a tag's error code."""
    return _native.tessaro().TessaroTagErrorText(tag_error).decode("utf-8", "replace")


class TessaroError(Exception):
    """A library call that did not succeed.

    Attributes:
        code: the return code (a library code or the reader's status byte).
        text: the library's text for the code.
        operation: the library function that returned it.
    """

    def __init__(self, code: int, operation: str = "", text: Optional[str] = None) -> None:
        self.code = code
        self.text = code_text(code) if text is None else text
        self.operation = operation
        where = f"{operation}: " if operation else ""
        super().__init__(f"{where}{self.text} (code {code})")


class CommunicationError(TessaroError):
    """No complete answer came in time, or the port was never opened (ERR_COMM)."""


class CrcError(CommunicationError):
    """The answer arrived damaged: its CRC does not hold (ERR_CRC)."""


class ResponseError(CommunicationError):
    """The answer is for another command (ERR_RESPONSE_CMD)."""


class PortClosedError(TessaroError):
    """The reader's port was closed (ERR_PORT_CLOSED)."""


class ParameterError(TessaroError, ValueError):
    """An argument was refused, by the library before sending or by the reader (255)."""


class FrameTooLongError(ParameterError):
    """The command would not fit one report; nothing was sent (ERR_FRAME_TOO_LONG)."""


class NoTagError(TessaroError):
    """No tag answered (reader status 0xFB)."""


class TagSilentError(TessaroError):
    """A tag was there but fell silent: a wrong password, or a command it lacks (0xFA)."""


class TagError(TessaroError):
    """The tag answered with an error (TAG_ERROR, 0xFC).

    Attributes:
        tag_error: the tag's error code, e.g. 3 memory overrun, 4 memory locked,
            11 insufficient power.
    """

    def __init__(self, code: int, operation: str = "", tag_error: int = 0) -> None:
        self.tag_error = tag_error
        super().__init__(code, operation,
                         f"{code_text(code)} Tag error {tag_error:#04x}, {tag_error_text(tag_error)}")


class ReaderNotFoundError(CommunicationError):
    """No reader (USB 0470:A112) was found, or the one found did not take the opening report."""


_BY_CODE: Dict[int, Type[TessaroError]] = {
    ERR_COMM: CommunicationError,
    ERR_CRC: CrcError,
    ERR_PORT_CLOSED: PortClosedError,
    ERR_RESPONSE_CMD: ResponseError,
    ERR_PARAMETER: ParameterError,
    ERR_FRAME_TOO_LONG: FrameTooLongError,
    STATUS_TAG_SILENT: TagSilentError,
    STATUS_NO_TAG: NoTagError,
}


def error_for(code: int, operation: str = "", tag_error: Optional[int] = None) -> TessaroError:
    """The exception for a failed call's code (and the tag's error code with TAG_ERROR)."""
    if code == TAG_ERROR:
        return TagError(code, operation, tag_error or 0)
    return _BY_CODE.get(code, TessaroError)(code, operation)


def check(code: int, operation: str, tag_error: Optional[int] = None) -> None:
    """Raises the exception for `code` unless it is 0."""
    if code != 0:
        raise error_for(code, operation, tag_error)

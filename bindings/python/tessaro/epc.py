"""GS1 EPC identities, without a reader: the codec of libTessaro (TessaroEpc.h).

    >>> from tessaro import epc
    >>> epc.decode("3074257BF7194E4000001A85").element_string
    '(01)80614141123458(21)6789'
    >>> epc.encode("urn:epc:tag:sgtin-96:3.0614141.812345.6789").hex().upper()
    '3074257BF7194E4000001A85'

An EPC that is no valid GS1 (or other EPC scheme) encoding raises NotGs1Error
with the reason; it is never decoded into something it does not say.
"""
from __future__ import annotations

import ctypes
from dataclasses import dataclass, field
from typing import Dict, Optional, Union

from . import _native

_OK = 0
_TEXT_SIZE = 256
_MAX_BYTES = 62


class NotGs1Error(ValueError):
    """The bytes or text are no valid EPC of a known scheme; `reason` says why."""

    def __init__(self, reason: str) -> None:
        super().__init__(f"not a GS1 EPC: {reason}")
        self.reason = reason


@dataclass(frozen=True)
class Gs1:
    """A decoded identity: its scheme, filter, fields and text forms. Forms a
    scheme does not have (GID-96 has no element string) are None."""
    scheme: str                       # "sgtin-96"
    filter: Optional[int]             # None for a scheme without one
    fields: Dict[str, str] = field(default_factory=dict)  # {"companyPrefix": "0614141", ...}
    pure_uri: str = ""
    tag_uri: str = ""
    element_string: Optional[str] = None
    digital_link: Optional[str] = None
    gs1_key: Optional[str] = None     # the GTIN, SSCC, GLN, ... with its check digit
    epc: bytes = field(default=b"", repr=False)  # the binary EPC (epc_hex: as hex)

    @property
    def epc_hex(self) -> str:
        return self.epc.hex().upper()

    def __str__(self) -> str:
        return self.pure_uri


def _form(function, identity) -> Optional[str]:
    text = ctypes.create_string_buffer(_TEXT_SIZE)
    if function(ctypes.byref(identity), text, _TEXT_SIZE) != _OK:
        return None
    return text.value.decode("ascii")


def _result(identity: _native.EpcIdentity) -> Gs1:
    library = _native.tessaro()
    epc = (ctypes.c_ubyte * _MAX_BYTES)()
    length = ctypes.c_int(0)
    library.TessaroEpcEncode(ctypes.byref(identity), epc, _MAX_BYTES, ctypes.byref(length))
    fields = {
        library.TessaroEpcComponentName(identity.scheme, i).decode("ascii"):
            identity.components[i].value.decode("latin-1")
        for i in range(identity.componentCount)
    }
    return Gs1(
        scheme=library.TessaroEpcSchemeName(identity.scheme).decode("ascii"),
        filter=identity.filter if identity.filter >= 0 else None,
        fields=fields,
        pure_uri=_form(library.TessaroEpcPureUri, identity) or "",
        tag_uri=_form(library.TessaroEpcTagUri, identity) or "",
        element_string=_form(library.TessaroEpcElementString, identity),
        digital_link=_form(library.TessaroEpcDigitalLink, identity),
        gs1_key=_form(library.TessaroEpcGs1Key, identity),
        epc=bytes(epc[:length.value]),
    )


def decode(epc: Union[bytes, str], pc: bool = False) -> Gs1:
    """Decodes an EPC given as bytes or hex text. With pc=True it starts with
    its PC word (the EPC bank read from word 1). Raises NotGs1Error."""
    data = bytes.fromhex(epc) if isinstance(epc, str) else bytes(epc)
    identity = _native.EpcIdentity()
    buffer = (ctypes.c_ubyte * max(len(data), 1)).from_buffer_copy(data or b"\0")
    library = _native.tessaro()
    function = library.TessaroEpcDecodeBank if pc else library.TessaroEpcDecode
    if function(buffer, len(data), ctypes.byref(identity)) != _OK:
        raise NotGs1Error(identity.reason.decode("latin-1"))
    return _result(identity)


def try_decode(epc: Union[bytes, str]) -> Optional[Gs1]:
    """decode(), or None for an EPC that is no GS1 EPC."""
    try:
        return decode(epc)
    except (NotGs1Error, ValueError):
        return None


def parse(identity: str, filter: Optional[int] = None, company_prefix_length: int = 0) -> Gs1:
    """Reads a pure identity URI, a tag URI or a GS1 element string (which
    needs company_prefix_length). Every rule is checked. Raises NotGs1Error."""
    parsed = _native.EpcIdentity()
    rc = _native.tessaro().TessaroEpcParse(identity.encode("latin-1"), -1 if filter is None else filter,
                                           company_prefix_length, ctypes.byref(parsed))
    if rc != _OK:
        raise NotGs1Error(parsed.reason.decode("latin-1"))
    return _result(parsed)


def encode(identity: str, filter: Optional[int] = None, company_prefix_length: int = 0) -> bytes:
    """The binary EPC of a URI or element string, ready to write to a tag."""
    return parse(identity, filter, company_prefix_length).epc

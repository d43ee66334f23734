"""Every ctypes signature and structure of the binding against the C headers."""
from ctypes import (POINTER, Array, c_char, c_char_p, c_int, c_longlong, c_size_t, c_ubyte,
                    c_uint, c_ulonglong, c_void_p)

import pytest

import c_header
from conftest import INCLUDE
from tessaro import _native

# How each C type of the headers is declared to ctypes.
CTYPES = {
    "void": None,
    "int": c_int,
    "unsigned int": c_uint,
    "unsigned": c_uint,
    "size_t": c_size_t,
    "int *": POINTER(c_int),
    "unsigned char *": POINTER(c_ubyte),
    "void *": c_void_p,
    "char *": c_char_p,
    "char **": POINTER(c_void_p),
    "TessaroSim *": c_void_p,
    "TessaroSimReplay *": c_void_p,
    "TessaroTransport *": c_void_p,
    "TessaroTagRecord *": POINTER(_native.TagRecord),
    "TessaroSimReaderState *": POINTER(_native.SimReaderState),
    "TessaroSimTagState *": POINTER(_native.SimTagState),
    "TessaroSimCounters *": POINTER(_native.SimCounters),
    "TessaroEpcIdentity *": POINTER(_native.EpcIdentity),
    "TessaroReadingOptions *": POINTER(_native.ReadingOptions),
    "TessaroReadingStats *": POINTER(_native.ReadingStats),
    "TessaroReading *": c_void_p,
    "TessaroReading **": POINTER(c_void_p),
}
FIELD_TYPES = {
    "int": c_int, "char": c_char, "unsigned": c_uint, "unsigned char": c_ubyte,
    "unsigned char *": POINTER(c_ubyte), "unsigned long long": c_ulonglong, "long long": c_longlong,
    "char *": c_char_p, "void *": c_void_p, "TessaroTagCallback": _native.TagCallback,
    "TessaroStatusCallback": _native.StatusCallback,
    "TessaroPresenceCallback": _native.PresenceCallback,
}

TESSARO_HEADERS = ["Tessaro.h", "TessaroCNames.h", "TessaroErrors.h", "TessaroEpc.h", "TessaroReading.h"]


def declared(headers, macro="TESSARO_API"):
    found = {}
    for header in headers:
        found.update(c_header.functions(INCLUDE / header, macro))
    return {name: f for name, f in found.items() if not f.variadic}


@pytest.mark.parametrize("table, headers, macro", [
    (_native.TESSARO_FUNCTIONS, TESSARO_HEADERS, "TESSARO_API"),
    (_native.SIM_FUNCTIONS, ["TessaroSim.h"], "TESSARO_SIM_API"),
], ids=["libTessaro", "libTessaroSim"])
def test_signatures_match_the_headers(table, headers, macro):
    functions = declared(headers, macro)
    assert sorted(table) == sorted(functions), "the binding and the headers name different functions"
    for name, function in functions.items():
        result, arguments = table[name]
        assert result is CTYPES[function.result], name
        assert arguments == [CTYPES[p] for p in function.parameters], name


@pytest.mark.parametrize("structure, header, name", [
    (_native.TagRecord, "TessaroRecords.h", "TessaroTagRecord"),
    (_native.SimReaderState, "TessaroSim.h", "TessaroSimReaderState"),
    (_native.SimTagState, "TessaroSim.h", "TessaroSimTagState"),
    (_native.SimCounters, "TessaroSim.h", "TessaroSimCounters"),
    (_native.EpcIdentity, "TessaroEpc.h", "TessaroEpcIdentity"),
    (_native.TagRead, "TessaroReading.h", "TessaroTagRead"),
    (_native.ReadingStatus, "TessaroReading.h", "TessaroReadingStatus"),
    (_native.PresenceEvent, "TessaroReading.h", "TessaroPresenceEvent"),
    (_native.ReadingOptions, "TessaroReading.h", "TessaroReadingOptions"),
    (_native.ReadingStats, "TessaroReading.h", "TessaroReadingStats"),
])
def test_structures_match_the_headers(structure, header, name):
    fields = c_header.structs(INCLUDE / header)[name]
    assert [f[0] for f in structure._fields_] == [f.name for f in fields]
    for (field_name, ctype), field in zip(structure._fields_, fields):
        element, dimensions = ctype, []
        while issubclass(element, Array):
            dimensions.append(element._length_)
            element = element._type_
        assert element is FIELD_TYPES[field.type], field_name
        assert tuple(dimensions) == field.dimensions, field_name


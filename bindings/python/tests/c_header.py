"""Reads the C declarations of the public headers: exported functions and structs.

Only what the headers of this project use is understood: one declaration per
exported function (`TESSARO_API <type> <name>(<parameters>);`), plain
parameters, and structs of scalars, pointers and fixed arrays.
"""
from __future__ import annotations

import re
from dataclasses import dataclass
from pathlib import Path


@dataclass(frozen=True)
class Function:
    name: str
    result: str            # normalised C type, e.g. "int", "void", "char *"
    parameters: tuple      # normalised C types, in order
    variadic: bool


@dataclass(frozen=True)
class Field:
    name: str
    type: str              # normalised C type of one element
    dimensions: tuple      # array sizes, () for a scalar


def _c_only(text: str) -> str:
    """The C-linkage part of a header, without comments or preprocessor lines."""
    # What follows the close of `extern "C"` in Tessaro.h is C++ only.
    text = text.split('} /* extern "C" */')[0]
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    return "\n".join(line for line in text.splitlines() if not line.lstrip().startswith("#"))


def normalise(ctype: str) -> str:
    """'const unsigned char  *' -> 'unsigned char *' (const makes no difference to a caller)."""
    ctype = re.sub(r"\bconst\b", " ", ctype)
    ctype = re.sub(r"\s*\*", " *", ctype)
    ctype = re.sub(r"\s+", " ", ctype).strip()
    return ctype.replace("* *", "**")


def _split_declarator(declaration: str) -> tuple:
    """'unsigned char *epc' -> ('unsigned char *', 'epc')."""
    match = re.fullmatch(r"(.*?)(\w+)\s*((?:\[\s*\w+\s*\])*)", declaration.strip(), flags=re.S)
    if not match:
        raise ValueError(f"cannot read declaration {declaration!r}")
    return normalise(match.group(1)), match.group(2), match.group(3)


def functions(path: Path, macro: str = "TESSARO_API") -> dict:
    """Every function a header declares with `macro`, by name."""
    found = {}
    pattern = re.compile(macro + r"\s+([^;{}()]*?)\b(\w+)\s*\(([^()]*)\)\s*;", re.S)
    for match in pattern.finditer(_c_only(path.read_text())):
        # The calling-convention macro before the name is no part of the type.
        result = normalise(re.sub(r"\bTESSARO_(CALL|CDECL)\b", " ", match.group(1)))
        name, parameter_text = match.group(2), match.group(3)
        parameter_text = parameter_text.strip()
        variadic = parameter_text in ("TESSARO_ANY_ARGUMENTS", "...")
        parameters = ()
        if not variadic and parameter_text not in ("", "void"):
            parameters = tuple(_split_declarator(p)[0] for p in parameter_text.split(","))
        found[name] = Function(name, result, parameters, variadic)
    return found


def structs(path: Path) -> dict:
    """The fields of every `typedef struct Name { ... } Name;` of a header, by name."""
    found = {}
    pattern = re.compile(r"typedef\s+struct\s+(\w+)\s*\{(.*?)\}\s*\w+\s*;", re.S)
    for match in pattern.finditer(_c_only(path.read_text())):
        fields = []
        for statement in match.group(2).split(";"):
            statement = statement.strip()
            if not statement:
                continue
            first, *others = statement.split(",")
            ctype, name, dims = _split_declarator(first)
            declarators = [(ctype, name, dims)]
            base = ctype.rstrip(" *")          # `int polls, acks;` shares the base type
            declarators += [_split_declarator(base + " " + other) for other in others]
            for ftype, fname, fdims in declarators:
                sizes = tuple(int(d) for d in re.findall(r"\[\s*(\d+)\s*\]", fdims))
                fields.append(Field(fname, ftype, sizes))
        found[match.group(1)] = fields
    return found

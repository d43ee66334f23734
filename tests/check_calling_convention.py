#!/usr/bin/python3
"""Checks the calling convention of the public interface.

    check_calling_convention.py INCLUDE_DIR [IMPORT_LIBRARY ...]

In the headers: every exported function (TESSARO_API, TESSARO_SIM_API)
carries TESSARO_CALL before its name, except the entry points that take any
argument list (TESSARO_ANY_ARGUMENTS), which carry TESSARO_CDECL; every
function pointer (a callback type, a member of a struct) carries TESSARO_CALL.
A header that forgets it compiles everywhere but breaks 32-bit Windows callers.

With the import libraries of a 32-bit Windows build (nm from $NM): each
function is there under the name its convention gives it, _Name@N for a
__stdcall function with N = 4 x its parameter count (the bytes it removes from
the stack, as its compiled definition says), _Name for the others, and every
declared function is in one of them.
"""
import os
import re
import subprocess
import sys

DECLARATION = re.compile(
    r"^(TESSARO_API|TESSARO_SIM_API)\s+(?!class\b)([^;{(]*?)(\w+)\s*\(([^)]*)\)\s*;", re.M)
FUNCTION_POINTER = re.compile(r"\(\s*(\w*)\s*\*\s*(\w+)\s*\)\s*\(")


def without_comments(text):
    text = re.sub(r"/\*.*?\*/", lambda m: re.sub(r"[^\n]", " ", m.group(0)), text, flags=re.S)
    return re.sub(r"//[^\n]*", "", text)


def headers(include):
    """(file name, text without comments) of every header in `include`."""
    for header in sorted(os.listdir(include)):
        if header.endswith(".h"):
            yield header, without_comments(open(os.path.join(include, header)).read())


def exported_functions(include):
    """(header, export macro, return type, convention, name, parameter text) of
    every exported function; convention is None where the header gives none."""
    for header, text in headers(include):
        for match in DECLARATION.finditer(text):
            words = re.findall(r"\w+|\*", match.group(2))
            convention = words.pop() if words and words[-1] in ("TESSARO_CALL", "TESSARO_CDECL") else None
            yield (header, match.group(1), " ".join(words), convention, match.group(3),
                   match.group(4).strip())


def declarations(include):
    """{name: (convention macro or None, parameter count or None)} and problems."""
    found, problems = {}, []
    for header, _, _, convention, name, params in exported_functions(include):
        any_arguments = params == "TESSARO_ANY_ARGUMENTS"
        if convention is None:
            problems.append(f"{header}: {name} is exported without TESSARO_CALL")
        elif (convention == "TESSARO_CDECL") != any_arguments:
            problems.append(f"{header}: {name}: TESSARO_CDECL is for TESSARO_ANY_ARGUMENTS alone")
        count = None if any_arguments else 0 if params in ("", "void") else params.count(",") + 1
        found[name] = (convention, count)
    for header, text in headers(include):
        for match in FUNCTION_POINTER.finditer(text):
            if match.group(1) != "TESSARO_CALL":
                problems.append(f"{header}: the function pointer {match.group(2)} lacks TESSARO_CALL")
    return found, problems


def import_names(library):
    """{function name: stack bytes (None when undecorated)} of an import library."""
    listing = subprocess.run([os.environ.get("NM", "nm"), library], check=True,
                             capture_output=True, text=True).stdout
    symbols = re.findall(r"^[0-9a-f]+ T _(\S+)$", listing, re.M)
    names = {}
    for symbol in symbols:
        base, _, size = symbol.partition("@")
        if base.startswith("_Z"):
            base = subprocess.run(["c++filt", base], check=True, capture_output=True,
                                  text=True).stdout.strip()
        if "::" in base:  # the members of the exported class keep their own convention
            continue
        names[base.split("(")[0]] = int(size) if size else None
    return names


def main(include, *libraries):
    declared, problems = declarations(include)
    if not declared:
        problems.append(f"no exported function found in {include}")
    if libraries:
        exported = {}
        for library in libraries:
            exported.update(import_names(library))
        for name, (convention, count) in sorted(declared.items()):
            if name not in exported:
                problems.append(f"{name} is in no import library")
                continue
            expected = 4 * count if convention == "TESSARO_CALL" else None
            if exported[name] != expected:
                problems.append(f"{name}: import name says {exported[name]} bytes of arguments "
                                f"removed by the function, the header {expected}")
        for name in sorted(set(exported) - set(declared)):
            problems.append(f"{name} is exported but declared in no header")
    for problem in problems:
        print(problem)
    if problems:
        return 1
    where = f" and {len(libraries)} import libraries" if libraries else ""
    print(f"{len(declared)} exported functions carry their calling convention in the headers{where}.")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

#!/usr/bin/python3
"""Checks the C# declarations in a document against the C headers they call.

    check_pinvoke.py DOCUMENT INCLUDE_DIR

Every `public static extern TYPE Name(...)` inside the document's ```csharp
blocks must name a function the headers export from the DLL it imports
(Tessaro.dll: TESSARO_API, TessaroSim.dll: TESSARO_SIM_API), with the same
parameter names in the same order, each of a C# type that marshals as its C
type, the same kind of result, and the platform's convention: DllImport's
default, Winapi (__stdcall on 32-bit Windows, as TESSARO_CALL), never Cdecl.
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_calling_convention import exported_functions  # noqa: E402

LIBRARIES = {"Tessaro.dll": "TESSARO_API", "TessaroSim.dll": "TESSARO_SIM_API"}

# What each C parameter type may be in C#.
MARSHALLED_AS = {
    "int": {"int"},
    "unsigned int": {"uint"},
    "unsigned": {"uint"},
    "size_t": {"UIntPtr"},
    "int *": {"out int", "ref int", "int[]"},
    "unsigned char *": {"ref byte", "out byte", "byte[]"},
    "const unsigned char *": {"byte[]", "ref byte", "in byte"},
    "char *": {"byte[]", "StringBuilder"},
    "const char *": {"string"},
    "void *": {"IntPtr"},
    "TessaroSim *": {"IntPtr"},
}
# What each C result may be: a pointer comes back as IntPtr (a string result
# marshalled as `string` would be freed by the runtime, and the library's
# texts are constants).
RETURNED_AS = {"int": "int", "unsigned": "uint", "void": "void", "const char *": "IntPtr",
               "TessaroSim *": "IntPtr"}


def parameters(text):
    """(type, name) pairs of a parameter list: the name is the last word."""
    result = []
    if not text.strip():
        return result
    for parameter in text.split(","):
        match = re.fullmatch(r"(.*?)\s*(\w+)", " ".join(parameter.split()))
        if not match:
            return None
        result.append((match.group(1), match.group(2)))
    return result


def c_type(words):
    return re.sub(r"\s*\*", " *", words).strip()


def main(document, include):
    declared = {}
    for _, macro, result, _, name, params in exported_functions(include):
        if params != "TESSARO_ANY_ARGUMENTS":
            declared[name] = (macro, c_type(result), [(c_type(t), n) for t, n in parameters(params)])

    text = open(document).read()
    blocks = re.findall(r"```csharp\n(.*?)```", text, re.S)
    externs = []  # (the block's string constants, the declaration's match)
    for block in blocks:
        constants = dict(re.findall(r'const string (\w+) = "([^"]+)";', block))
        externs += [(constants, m) for m in re.finditer(
            r"\[DllImport\(([^]]*)\)\]\s*public static extern (\w+) (\w+)\(([^)]*)\);", block)]

    problems = []
    for constants, extern in externs:
        attribute, result, name, params = extern.groups()
        library = attribute.split(",")[0].strip()
        library = constants.get(library, library.strip('"'))
        if library not in LIBRARIES:
            problems.append(f"{name}: imported from {library}, not one of {sorted(LIBRARIES)}")
            continue
        convention = re.search(r"CallingConvention\s*=\s*CallingConvention\.(\w+)", attribute)
        if convention and convention.group(1) != "Winapi":
            problems.append(f"{name}: declared {convention.group(1)}; the library's convention is "
                            "Winapi (__stdcall on 32-bit Windows)")
        if name not in declared or declared[name][0] != LIBRARIES[library]:
            problems.append(f"{name}: {library} exports no such function")
            continue
        _, c_result, c = declared[name]
        if RETURNED_AS.get(c_result) != result:
            problems.append(f"{name}: returns {result} in C#, {c_result} in C")
        csharp = parameters(params) or []
        if [n for _, n in csharp] != [n for _, n in c]:
            problems.append(f"{name}: parameters {[n for _, n in csharp]}, the header has {[n for _, n in c]}")
            continue
        for (cs_type, param), (ctype, _) in zip(csharp, c):
            if cs_type not in MARSHALLED_AS.get(ctype, set()):
                problems.append(f"{name}: {param} is {cs_type} in C#, {ctype} in C")

    if not externs:
        problems.append(f"no C# declarations found in {document}")
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print(f"{len(externs)} C# declarations match the headers in {include}.")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))

#!/usr/bin/python3
"""Checks the C# declarations in a document against the C header they call.

    check_pinvoke.py DOCUMENT HEADER

Every `public static extern int Name(...)` inside the document's ```csharp
blocks must name a function HEADER declares with TESSARO_API, with the same
parameter names in the same order, each of a C# type that marshals as its C
type, and its DllImport must name Tessaro.dll with the Cdecl convention.
"""
import re
import sys

# What each C parameter type may be in C#.
MARSHALLED_AS = {
    "int": {"int"},
    "unsigned int": {"uint"},
    "int *": {"out int", "ref int", "int[]"},
    "unsigned char *": {"ref byte", "out byte", "byte[]"},
    "const unsigned char *": {"byte[]", "ref byte", "in byte"},
    "void *": {"IntPtr"},
}


def parameters(text):
    """(type, name) pairs of a parameter list: the name is the last word."""
    result = []
    for parameter in text.split(","):
        match = re.fullmatch(r"(.*?)\s*(\w+)", " ".join(parameter.split()))
        if not match:
            return None
        result.append((match.group(1), match.group(2)))
    return result


def c_type(words):
    return re.sub(r"\s*\*", " *", words).strip()


def main(document, header):
    declared = {}
    for name, params in re.findall(r"^TESSARO_API\s+int\s+(\w+)\(([^)]*)\);", open(header).read(), re.M):
        declared[name] = [(c_type(t), n) for t, n in parameters(params)]

    text = open(document).read()
    blocks = re.findall(r"```csharp\n(.*?)```", text, re.S)
    externs = [m for block in blocks for m in re.finditer(
        r"\[DllImport\(([^]]*)\)\]\s*public static extern int (\w+)\(([^)]*)\);", block)]
    constants = dict(re.findall(r'const string (\w+) = "([^"]+)";', "".join(blocks)))

    problems = []
    for extern in externs:
        attribute, name, params = extern.groups()
        library = attribute.split(",")[0].strip()
        if constants.get(library, library.strip('"')) != "Tessaro.dll":
            problems.append(f"{name}: imported from {library}, not Tessaro.dll")
        if "CallingConvention.Cdecl" not in attribute:
            problems.append(f"{name}: not declared Cdecl")
        if name not in declared:
            problems.append(f"{name}: not declared in {header}")
            continue
        csharp = parameters(params) or []
        c = declared[name]
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
    print(f"{len(externs)} C# declarations match {header}.")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))

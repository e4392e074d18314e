"""Writes the type stubs of the extension and of the enumerations it
exports, from the built module itself: its signatures are the bindings'.

usage: make_stubs.py PACKAGE_PARENT_DIR
"""

import re
import sys


def signature(doc, name):
    line = doc.strip().splitlines()[0]
    line = line.replace("q7kcomm._q7kcomm.", "")
    line = re.sub(r"\[(int|float)\[\d+\]\]", r"[\1]", line)
    line = re.sub(r"^\w+\(self: \w+", f"{name}(self", line)
    return line.replace("object", "Any")


def value_type(prop):
    doc = prop.fget.__doc__ or ""
    match = re.search(r"-> ([\w\[\], ]+)", doc)
    return match.group(1).replace("object", "Any") if match else "Any"


def main(parent):
    sys.path.insert(0, parent)
    from q7kcomm import _q7kcomm as m

    out = ["# Generated from the built extension by make_stubs.py.",
           "from typing import Any, Callable, List, Optional, Tuple", ""]
    for name, cls in vars(m).items():
        if not isinstance(cls, type):
            continue
        out.append(f"class {name}:")
        if cls.__doc__:
            out.append(f'    """{cls.__doc__.strip()}"""')
        fields = getattr(cls, "_fields", None)
        if fields is not None:
            out.append("    _fields: Tuple[str, ...]")
            out.append("    def __init__(self, **fields: Any) -> None: ...")
            out += [f"    {f}: {value_type(getattr(cls, f))}" for f in fields]
        else:
            out.append("    def __init__(self) -> None: ...")
        for attr, value in sorted(vars(cls).items()):
            if attr.startswith("_") or (fields and attr in fields):
                continue
            if isinstance(value, property):
                if value.fset is None:
                    out += ["    @property",
                            f"    def {attr}(self) -> {value_type(value)}: ..."]
                else:
                    out.append(f"    {attr}: {value_type(value)}")
            elif callable(value) and value.__doc__:
                out.append(f"    def {signature(value.__doc__, attr)}: ...")
        out.append("")
    for name, value in vars(m).items():
        if callable(value) and not isinstance(value, type) and value.__doc__:
            out.append(f"def {signature(value.__doc__, name)}: ...")
    out += ["__version__: str", "_enumerations: dict"]
    with open(f"{parent}/q7kcomm/_q7kcomm.pyi", "w") as f:
        f.write("\n".join(out) + "\n")

    enums = ["# Generated from the built extension by make_stubs.py.",
             "from enum import IntEnum", "", "__all__: list", ""]
    for name, members in m._enumerations.items():
        enums.append(f"class {name}(IntEnum):")
        enums += [f"    {member} = {value}" for member, value in members]
        enums.append("")
        enums += [f"{member}: {name}" for member, _ in members]
        enums.append("")
    with open(f"{parent}/q7kcomm/_enums.pyi", "w") as f:
        f.write("\n".join(enums))


if __name__ == "__main__":
    main(sys.argv[1])

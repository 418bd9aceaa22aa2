#!/usr/bin/python3
"""Tells whether a file can stand in the delivered folder as the plotter
maker's link library: a 32-bit Windows DLL that exports, by their undecorated
names, the six entries the wizard binds (as declared in link/zepl_entries.h).

usage: link_library_check.py FILE
Exits 0 and prints nothing when it can; otherwise prints one line saying why
and exits 1.
"""
import pathlib
import re
import sys

import pefile

ENTRIES_HEADER = pathlib.Path(__file__).resolve().parent.parent / "link" / "zepl_entries.h"
I386, PE32, IMAGE_FILE_DLL = 0x14C, 0x10B, 0x2000


def entries():
    """The entry names, in the order the header declares them."""
    return re.findall(r"^ZEPL_API\s+\w+\s+ZEPL_CALL\s+(\w+)\s*\(", ENTRIES_HEADER.read_text(), re.M)


def refusal(path):
    try:
        pe = pefile.PE(path, fast_load=True)
    except (OSError, pefile.PEFormatError) as e:
        return f"it is not a Windows DLL ({e})"
    if pe.FILE_HEADER.Machine != I386 or pe.OPTIONAL_HEADER.Magic != PE32:
        return f"it is not 32-bit (machine {pe.FILE_HEADER.Machine:#x}); the wizard is a 32-bit program"
    if not pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL:
        return "it is a program, not a DLL"
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    exports = pe.DIRECTORY_ENTRY_EXPORT.symbols if hasattr(pe, "DIRECTORY_ENTRY_EXPORT") else []
    exported = {s.name.decode("ascii", "replace") for s in exports if s.name}
    missing = [e for e in entries() if e not in exported]
    if missing:
        # A __stdcall entry exported as "_Name@8" or "Name@8" is there, but
        # not under the name the wizard asks for.
        decorated = sorted(n for n in exported for e in missing if re.fullmatch(rf"_?{e}@\d+", n))
        return ("it does not export " + ", ".join(missing) + " by undecorated name" +
                (f" (it has {', '.join(decorated)})" if decorated else ""))
    return ""


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: link_library_check.py FILE")
    why = refusal(sys.argv[1])
    if why:
        print(why)
        sys.exit(1)

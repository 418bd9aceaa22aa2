#!/usr/bin/python3
"""Checks the built product: PE32 for i386, GUI subsystem, system DLLs only,
and the manifest, version block, dialog, icon and string tables it carries.

usage: check_product.py path/to/UPDATE.EXE
"""
import re
import sys

import pefile

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll", "winspool.drv",
               "msvcrt.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll", "version.dll"}
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]
RT_ICON_GROUP, RT_DIALOG, RT_STRING, RT_VERSION, RT_MANIFEST = 14, 5, 6, 16, 24

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def resources(pe):
    """{(type, name): {language: bytes}}"""
    found = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            for lang in n.directory.entries:
                d = lang.data.struct
                found.setdefault((t.id, n.id), {})[lang.id] = pe.get_data(d.OffsetToData, d.Size)
    return found


def main(path):
    pe = pefile.PE(path)
    check(pe.OPTIONAL_HEADER.Magic == 0x10B, "PE32 (not PE32+)")
    check(pe.FILE_HEADER.Machine == 0x14C, "machine i386")
    check(pe.OPTIONAL_HEADER.Subsystem == 2, "Windows GUI subsystem")
    dlls = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    foreign = [d for d in dlls if d not in SYSTEM_DLLS and not d.startswith("api-ms-win-crt-")]
    check(not foreign, "imports only system DLLs: " + ", ".join(dlls) + (" (not: " + ", ".join(foreign) + ")" if foreign else ""))

    res = resources(pe)
    manifest = res.get((RT_MANIFEST, 1), {})
    text = next(iter(manifest.values()), b"").decode("utf-8", "replace")
    check('name="Firmware Update.UPDATE.EXE"' in text and 'version="1.0.0.0"' in text
          and 'processorArchitecture="x86"' in text, "manifest: assembly identity, x86")
    check('Microsoft.Windows.Common-Controls' in text and 'version="6.0.0.0"' in text, "manifest: common controls 6.0.0.0")
    check('level="asInvoker"' in text and 'uiAccess="false"' in text, "manifest: asInvoker")
    check(all(g in text for g in SUPPORTED_OS), "manifest: Vista, 7, 8, 8.1 and 10")
    check(re.search(r"<description>Firmware Update</description>", text) is not None, "manifest: description")

    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == (0x2001E, 0) and
          (fixed.ProductVersionMS, fixed.ProductVersionLS) == (0x2001E, 0), "version 2.30.0.0")
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                if table.LangID == b"040904b0":
                    strings = {k.decode(): v.decode() for k, v in table.entries.items()}
    expected = {"FileDescription": "Firmware Update", "ProductName": "Firmware Update", "FileVersion": "2.30.0",
                "ProductVersion": "2.30.0", "InternalName": "UPDATE", "OriginalFilename": "UPDATE.EXE"}
    check(all(strings.get(k) == v for k, v in expected.items()), "version block 040904b0: " + repr(strings))

    check((RT_DIALOG, 100) in res, "dialog 100")
    check((RT_ICON_GROUP, 200) in res, "icon group 200")
    langs = set()
    for (t, _), by_lang in res.items():
        if t == RT_STRING:
            langs.update(by_lang)
    check({1033, 1041} <= langs, "string tables in 1033 and 1041")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))

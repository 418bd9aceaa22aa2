#!/usr/bin/python3
"""Checks the built product: PE32 for i386 (or PE32+ for the x86_64 twin),
GUI subsystem, hardened (address-space randomisation with relocations, no
execution of data, high-entropy addresses on x86_64, no section both
writable and executable), only known system DLLs imported, and the
manifest, version block, dialog, icon and string tables it carries.

usage: check_product.py path/to/UPDATE.EXE [i686|x86_64]
"""
import re
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

# Windows takes these from its system folder whatever lies beside the
# program: its known DLLs, and the common controls, which the manifest binds
# to the system's side-by-side copy. Any other DLL would be looked for in the
# program's folder first.
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll", "shell32.dll",
              "ole32.dll", "oleaut32.dll", "comdlg32.dll", "comctl32.dll"}
ARCHES = {"i686": (0x10B, 0x14C, "x86"), "x86_64": (0x20B, 0x8664, "amd64")}
DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA = 0x40, 0x100, 0x20
IMAGE_SCN_MEM_EXECUTE, IMAGE_SCN_MEM_WRITE = 0x20000000, 0x80000000
BASE_RELOCATION = 5
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]
RT_ICON, RT_ICON_GROUP, RT_DIALOG, RT_STRING, RT_VERSION, RT_MANIFEST = 3, 14, 5, 6, 16, 24
# Per-monitor (v2) aware, read left to right by Windows 10; dpiAware for the systems before it.
WINDOWS_SETTINGS = {"dpiAware": ("http://schemas.microsoft.com/SMI/2005/WindowsSettings", "true/pm"),
                    "dpiAwareness": ("http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                     "PerMonitorV2, PerMonitor")}
# The icon sizes Windows asks for at 100 % to 200 % scaling, and 256 for large views.
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 256]
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

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


def check_manifest_xml(data):
    """Well-formed UTF-8 XML, and the DPI awareness each in its own namespace."""
    try:
        root = ET.fromstring(data.decode("utf-8"))
    except (UnicodeDecodeError, ET.ParseError) as e:
        check(False, f"manifest: well-formed UTF-8 XML ({e})")
        return
    check(True, "manifest: well-formed UTF-8 XML")
    for name, (namespace, value) in WINDOWS_SETTINGS.items():
        found = [e.text for e in root.iter(f"{{{namespace}}}{name}")]
        check(found == [value], f"manifest: {name} {value!r} in {namespace} (found {found})")


def check_icons(res):
    """Icon 200 holds every size in 32-bit colour, each image what its entry says."""
    group = next(iter(res.get((RT_ICON_GROUP, 200), {}).values()), b"")
    count = struct.unpack_from("<H", group, 4)[0] if len(group) >= 6 else 0
    found, problems = [], []
    for i in range(count):
        width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        found.append(width)
        image = next(iter(res.get((RT_ICON, icon_id), {}).values()), b"")
        if image.startswith(PNG_SIGNATURE):
            image_size = struct.unpack_from(">II", image, 16)
            image_bits = 32 if image[24:26] == b"\x08\x06" else 0  # 8 bits per channel, with alpha
        elif len(image) >= 40:
            w, h2, _, image_bits = struct.unpack_from("<iiHH", image, 4)
            image_size = (w, h2 // 2)
        else:
            image_size, image_bits = None, 0
        if bits != 32 or image_bits != 32 or image_size != (width, height) or len(image) != size:
            problems.append(f"{width}x{height}: entry {bits} bits, image {image_size} {image_bits} bits")
    check(sorted(found) == ICON_SIZES and not problems,
          f"icon 200: sizes {sorted(found)} in 32-bit colour" + (f" ({'; '.join(problems)})" if problems else ""))


def main(path, arch="i686"):
    magic, machine, manifest_arch = ARCHES[arch]
    pe = pefile.PE(path)
    check(pe.OPTIONAL_HEADER.Magic == magic, f"{'PE32+' if magic == 0x20B else 'PE32'} for {arch}")
    check(pe.FILE_HEADER.Machine == machine, f"machine {hex(machine)}")
    check(pe.OPTIONAL_HEADER.Subsystem == 2, "Windows GUI subsystem")

    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[BASE_RELOCATION]
    check(bool(flags & DYNAMIC_BASE) and relocations.Size > 0, "address-space randomisation, with relocations")
    check(bool(flags & NX_COMPAT), "data not executable (NX compatible)")
    if arch == "x86_64":
        check(bool(flags & HIGH_ENTROPY_VA), "high-entropy addresses")
    both = [s.Name.rstrip(b"\0").decode() for s in pe.sections
            if s.Characteristics & IMAGE_SCN_MEM_EXECUTE and s.Characteristics & IMAGE_SCN_MEM_WRITE]
    check(not both, "no section writable and executable" + (f" (found: {both})" if both else ""))

    dlls = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    foreign = [d for d in dlls if d not in KNOWN_DLLS]
    check(not foreign, "imports only DLLs Windows takes from its own folder: " + ", ".join(dlls) +
          (" (not: " + ", ".join(foreign) + ")" if foreign else ""))

    res = resources(pe)
    manifest = res.get((RT_MANIFEST, 1), {})
    text = next(iter(manifest.values()), b"").decode("utf-8", "replace")
    check('name="Firmware Update.UPDATE.EXE"' in text and 'version="1.0.0.0"' in text
          and f'processorArchitecture="{manifest_arch}"' in text, f"manifest: assembly identity, {manifest_arch}")
    check('Microsoft.Windows.Common-Controls' in text and 'version="6.0.0.0"' in text, "manifest: common controls 6.0.0.0")
    check('level="asInvoker"' in text and 'uiAccess="false"' in text, "manifest: asInvoker")
    check(all(g in text for g in SUPPORTED_OS), "manifest: Vista, 7, 8, 8.1 and 10")
    check(re.search(r"<description>Firmware Update</description>", text) is not None, "manifest: description")
    check_manifest_xml(next(iter(manifest.values()), b""))

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
    check_icons(res)
    langs = set()
    for (t, _), by_lang in res.items():
        if t == RT_STRING:
            langs.update(by_lang)
    check({1033, 1041} <= langs, "string tables in 1033 and 1041")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))

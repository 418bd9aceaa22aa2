#!/usr/bin/python3
"""Zips the delivered folder and writes the checksums of what a user may
download, both reproducibly: the same files and commit give the same bytes.

usage: package.py DIST FOLDER SOURCE_DATE_EPOCH
DIST/FOLDER is the delivered folder; writes DIST/FOLDER.zip and DIST/SHA256SUMS
(one "<sha256>  <path>" line per file of the folder and for the zip).
"""
import hashlib
import pathlib
import sys
import time
import zipfile


def zip_folder(dist, folder, epoch):
    # Every entry carries the commit's time (a zip cannot go before 1980),
    # fixed permissions and no extra fields: nothing of when or by whom.
    stamp = max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0))
    files = sorted(p for p in (dist / folder).iterdir())
    target = dist / f"{folder}.zip"
    with zipfile.ZipFile(target, "w") as z:
        entry = zipfile.ZipInfo(f"{folder}/", stamp)
        entry.create_system, entry.external_attr = 3, (0o40755 << 16) | 0x10
        z.writestr(entry, b"")
        for path in files:
            entry = zipfile.ZipInfo(f"{folder}/{path.name}", stamp)
            entry.create_system, entry.external_attr = 3, 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(entry, path.read_bytes(), compresslevel=9)
    return [f"{folder}/{p.name}" for p in files] + [target.name]


def main(dist, folder, epoch):
    dist = pathlib.Path(dist)
    names = zip_folder(dist, folder, int(epoch))
    lines = [f"{hashlib.sha256((dist / n).read_bytes()).hexdigest()}  {n}\n" for n in names]
    (dist / "SHA256SUMS").write_text("".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])

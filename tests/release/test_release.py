#!/usr/bin/python3
"""The release command, as a maker runs it.

`setup` clones the checked-out commit twice and runs scripts/release.sh in
each clone with the same firmware file and simulator DLL: A signed with a
throwaway certificate, B unsigned, later, in another folder and (when run as
root) as another user, in another time zone. Its record lets the cases read
both results:

    reproducible   A's UPDATE.EXE as built equals B's, byte for byte; B's dist/
                   holds the folder, its zip and sums that check
    signed         A's signature verifies, covers exactly B's unsigned content,
                   breaks when a byte changes, and the product checks still pass
    version_block  the version block read from the built file
    refusals       wrong inputs are refused in one line, dist/ left as it was

    test_release.py CASE --source DIR --work DIR --win32 DIR --win64 DIR

Only the committed state is built: uncommitted changes are not in it.
"""
import argparse
import hashlib
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

import pefile

HERE = pathlib.Path(__file__).resolve().parent
PYTHON = "/usr/bin/python3"
FIRMWARE = "KM500_V300.x"
FOLDER = "FirmwareUpdate"
NOBODY = 65534
SKIP = 77

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def sha256(path):
    return hashlib.sha256(pathlib.Path(path).read_bytes()).hexdigest()


def clone(source, commit, target):
    subprocess.run(["git", "clone", "-q", "--no-hardlinks", "--no-checkout", source, target], check=True)
    subprocess.run(["git", "-C", target, "checkout", "-q", "--detach", commit], check=True)


def release(tree, args, user=None, env=None, log=None):
    cmd = ["bash", os.path.join(tree, "scripts", "release.sh"), *args]
    if user is not None:
        cmd = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *cmd]
    started = time.monotonic()
    r = run(cmd, env=env)
    if log:
        pathlib.Path(log).write_text(r.stdout + r.stderr)
    print(f"release.sh {' '.join(args)}: exit {r.returncode} after {time.monotonic() - started:.0f} s")
    return r


def setup(a):
    work = pathlib.Path(a.work)
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    head = run(["git", "-C", a.source, "rev-parse", "HEAD"])
    if head.returncode != 0:
        print("not a git checkout: a release is built from a commit; skipped")
        return SKIP
    commit = head.stdout.strip()
    dirty = run(["git", "-C", a.source, "status", "--porcelain", "--untracked-files=no"]).stdout.strip()
    if dirty:
        print(f"note: uncommitted changes are not released; building commit {commit}")

    inputs = work / "inputs"
    inputs.mkdir()
    (inputs / FIRMWARE).write_bytes(bytes(range(256)) * 20)
    shutil.copy(os.path.join(a.win32, "sim", "ZEPLPRNP.DLL"), inputs)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Throwaway release test", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", work / "key.pem", "-out", work / "cert.pem"], check=True, capture_output=True)
    given = ["--firmware", str(inputs / FIRMWARE), "--link-library", str(inputs / "ZEPLPRNP.DLL")]

    clone(a.source, commit, work / "a")
    r = release(str(work / "a"), given + ["--sign", str(work / "cert.pem"), str(work / "key.pem")],
                log=work / "a.log")
    if r.returncode != 0:
        print(r.stdout + r.stderr)
        return 1

    # B: another folder, another time, another user where we may switch.
    other = pathlib.Path(tempfile.mkdtemp(prefix="release-b-"))
    try:
        os.chmod(other, 0o755)
        clone(a.source, commit, other / "tree")
        shutil.copytree(inputs, other / "inputs")
        user = None
        if os.geteuid() == 0:
            subprocess.run(["chown", "-R", f"{NOBODY}:{NOBODY}", other], check=True)
            user = NOBODY
        else:
            print("not root: B runs as the same user")
        env = dict(os.environ, HOME=str(other), TZ="Asia/Tokyo", USER="release-b", LOGNAME="release-b")
        given_b = ["--firmware", str(other / "inputs" / FIRMWARE),
                   "--link-library", str(other / "inputs" / "ZEPLPRNP.DLL")]
        r = release(str(other / "tree"), given_b, user=user, env=env, log=work / "b.log")
        if r.returncode != 0:
            print(r.stdout + r.stderr)
            return 1
        shutil.copytree(other / "tree" / "dist", work / "b-dist")
    finally:
        shutil.rmtree(other, ignore_errors=True)
    (work / "state.json").write_text(json.dumps({"commit": commit}))
    return 0


def built_hash(log):
    m = re.search(r"UPDATE\.EXE as built: ([0-9a-f]{64})", pathlib.Path(log).read_text())
    return m.group(1) if m else None


def reproducible(a):
    work = pathlib.Path(a.work)
    b = work / "b-dist"
    check(built_hash(work / "a.log") == sha256(b / FOLDER / "UPDATE.EXE"),
          f"same UPDATE.EXE from both builds (A {built_hash(work / 'a.log')}, B {sha256(b / FOLDER / 'UPDATE.EXE')})")
    listing = sorted(str(p.relative_to(b)) for p in b.rglob("*"))
    check(listing == sorted([FOLDER, f"{FOLDER}.zip", f"{FOLDER}/UPDATE.EXE", f"{FOLDER}/ZEPLPRNP.DLL",
                             f"{FOLDER}/{FIRMWARE}", "SHA256SUMS"]), f"dist/ holds {listing}")
    r = run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=b)
    check(r.returncode == 0 and r.stdout.count(": OK") == 4, "SHA256SUMS checks:\n" + r.stdout + r.stderr)
    with zipfile.ZipFile(b / f"{FOLDER}.zip") as z:
        same = all(z.read(f"{FOLDER}/{p.name}") == p.read_bytes() for p in (b / FOLDER).iterdir())
        check(same and len(z.namelist()) == 4, f"the zip holds the folder: {z.namelist()}")
    pe = pefile.PE(b / FOLDER / "UPDATE.EXE")
    check(pe.FILE_HEADER.TimeDateStamp == 0 and pe.DIRECTORY_ENTRY_RESOURCE.struct.TimeDateStamp == 0
          and not hasattr(pe, "DIRECTORY_ENTRY_DEBUG"), "no time stamp in the header or resources, no debug directory")


def authenticode_digest(path):
    """The SHA-256 a signature covers: the file less its checksum, the
    certificate table's directory entry and the table itself."""
    data = pathlib.Path(path).read_bytes()
    pe = pefile.PE(data=data, fast_load=True)
    checksum = pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    entry = security.get_file_offset()
    end = security.VirtualAddress if security.Size else len(data)
    return hashlib.sha256(data[:checksum] + data[checksum + 4:entry] + data[entry + 8:end]).hexdigest()


def signed(a):
    work = pathlib.Path(a.work)
    exe = work / "a" / "dist" / FOLDER / "UPDATE.EXE"
    verify = ["osslsigncode", "verify", "-CAfile", str(work / "cert.pem"), "-in"]
    r = run(verify + [str(exe)])
    current = re.search(r"Current message digest\s*:\s*([0-9A-F]+)", r.stdout)
    calculated = re.search(r"Calculated message digest\s*:\s*([0-9A-F]+)", r.stdout)
    check(r.returncode == 0 and "Throwaway release test" in r.stdout and current and calculated,
          "osslsigncode verify: signed by the throwaway certificate\n" + r.stdout[-600:] + r.stderr)
    unsigned = authenticode_digest(work / "b-dist" / FOLDER / "UPDATE.EXE")
    check(current and calculated and current.group(1).lower() == calculated.group(1).lower() == unsigned,
          f"the signature covers exactly the unsigned build's content ({unsigned})")

    stripped = work / "stripped.exe"
    stripped.unlink(missing_ok=True)
    run(["osslsigncode", "remove-signature", "-in", str(exe), "-out", str(stripped)])
    check(stripped.exists() and sha256(stripped) == sha256(work / "b-dist" / FOLDER / "UPDATE.EXE"),
          "without its signature, the signed file is the unsigned build")

    changed = work / "changed.exe"
    data = bytearray(exe.read_bytes())
    data[0x1000] ^= 0xFF  # in the code
    changed.write_bytes(data)
    r = run(verify + [str(changed)])
    check(r.returncode != 0, "a byte changed after signing fails verification")

    r = run([PYTHON, str(HERE.parent / "pe" / "check_product.py"), str(exe), "i686"])
    check(r.returncode == 0, "the product checks pass on the signed file" + ("" if r.returncode == 0 else "\n" + r.stdout))
    r = run(["sha256sum", "--strict", "-c", "SHA256SUMS"], cwd=work / "a" / "dist")
    check(r.returncode == 0, "A's SHA256SUMS (of the signed files) checks")


def version_block(a):
    work = pathlib.Path(a.work)
    commit = json.loads((work / "state.json").read_text())["commit"]
    pe = pefile.PE(work / "b-dist" / FOLDER / "UPDATE.EXE")
    strings_inc = (HERE.parent.parent / "res" / "strings.inc").read_text()
    m = re.search(r'IDS_VERSION_TITLE, "[^"]*Ver\.(\d+)\.(\d+)"', strings_inc)
    check(m is not None, "the title names a version")
    major, minor = (int(m.group(1)), int(m.group(2))) if m else (-1, -1)
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS) ==
          ((major << 16) | minor, 0, (major << 16) | minor, 0), f"fixed file and product version {major}.{minor}.0.0")
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    version = f"{major}.{minor:02d}"
    check(strings.get("FileVersion") in (version, version + ".0") and
          strings.get("ProductVersion") in (version, version + ".0"), f"file and product version {version}: {strings}")
    check(strings.get("OriginalFilename") == "UPDATE.EXE", "original file name UPDATE.EXE")
    check(strings.get("Comments") == f"Commit {commit}", f"the build's commit: {strings.get('Comments')!r}")


def decorated_dll(folder):
    """A 32-bit DLL with the six entries, exported with their __stdcall decorations."""
    src = folder / "decorated.c"
    src.write_text("".join(f"__declspec(dllexport) int __stdcall {name}({params}) {{ return 0; }}\n"
                           for name, params in [("ZEPL_InitDll", "char* v, int a, int b, int c, int d"),
                                                ("ZEPL_EntryUsbCheck", "char* v, char* m, char* d"),
                                                ("ZEPL_OpenUsbEx", "int r, int k, int f, char* v, char* m, char* p"),
                                                ("ZEPL_Write", "int c, const char* d, int n, int* w, int t"),
                                                ("ZEPL_Read", "int c, char* b, int n, int* r, int t"),
                                                ("ZEPL_Close", "int c")]))
    (folder / "decorated").mkdir()
    out = folder / "decorated" / "ZEPLPRNP.DLL"
    subprocess.run(["i686-w64-mingw32-gcc", "-shared", "-o", out, src], check=True)
    return out


def snapshot(tree):
    dist = tree / "dist"
    files = {str(p.relative_to(tree)): sha256(p) for p in dist.rglob("*") if p.is_file()}
    return files, sorted(p.name for p in tree.iterdir() if p.name.startswith(".dist"))


def refusals(a):
    work = pathlib.Path(a.work)
    tree = work / "a"
    inputs = work / "refused"
    shutil.rmtree(inputs, ignore_errors=True)
    inputs.mkdir()
    for name in ("KM999_V300.x", "KM500_VX.x", "KM500_V300.bin", "KM600_V300.x"):
        (inputs / name).write_bytes(b"firmware")
    (inputs / "program").mkdir()
    shutil.copy(work / "b-dist" / FOLDER / "UPDATE.EXE", inputs / "program" / "ZEPLPRNP.DLL")
    (inputs / "lacking").mkdir()
    shutil.copy(os.path.join(a.win32, "sim", "ZEPLPRNP_without_ZEPL_Read.DLL"), inputs / "lacking" / "ZEPLPRNP.DLL")
    fw = str(work / "inputs" / FIRMWARE)
    cases = [
        ("model key not in the table", ["--firmware", str(inputs / "KM999_V300.x")], "KM999"),
        ("no version", ["--firmware", str(inputs / "KM500_VX.x")], "version"),
        ("not a .x file", ["--firmware", str(inputs / "KM500_V300.bin")], ".x"),
        ("two firmware files", ["--firmware", fw, str(inputs / "KM600_V300.x")], "more than one firmware"),
        ("firmware given twice", ["--firmware", fw, "--firmware", str(inputs / "KM600_V300.x")], "more than one"),
        ("64-bit library", ["--link-library", os.path.join(a.win64, "sim", "ZEPLPRNP.DLL")], "32-bit"),
        ("library lacking an entry", ["--link-library", str(inputs / "lacking" / "ZEPLPRNP.DLL")], "ZEPL_Read"),
        ("decorated names", ["--link-library", str(decorated_dll(inputs))], "ZEPL_InitDll@20"),
        ("a program, not a DLL", ["--link-library", str(inputs / "program" / "ZEPLPRNP.DLL")], "not a DLL"),
    ]
    before = snapshot(tree)
    for what, args, expected in cases:
        r = release(str(tree), args)
        lines = r.stderr.splitlines()
        check(r.returncode != 0 and r.stdout == "" and len(lines) == 1 and lines[0].startswith("release: ")
              and expected in lines[0], f"{what}: {r.stderr.strip()!r}")
    # A tree that is not its commit: refused as well.
    readme = tree / "README.md"
    readme.write_text(readme.read_text() + "\nchanged\n")
    r = release(str(tree), [])
    subprocess.run(["git", "-C", tree, "checkout", "-q", "--", "README.md"], check=True)
    check(r.returncode != 0 and len(r.stderr.splitlines()) == 1 and "commit or stash" in r.stderr,
          f"uncommitted changes: {r.stderr.strip()!r}")
    check(snapshot(tree) == before, "dist/ as it was, nothing staged left behind")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=["setup", "reproducible", "signed", "version_block", "refusals"])
    for opt in ("--source", "--work", "--win32", "--win64"):
        p.add_argument(opt, required=True)
    a = p.parse_args()
    if a.case == "setup":
        return setup(a)
    if not (pathlib.Path(a.work) / "state.json").exists():
        print("release.setup did not complete")
        return 1
    globals()[a.case](a)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

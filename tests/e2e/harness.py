"""Shared machinery of the end-to-end tests.

The program runs under Wine on a private X server, and the test driver
(e2e_driver.exe, x86_64, from the win64 build) reads and operates its
windows from outside; only the check of a process's modules uses the driver
of the wizard's own bitness, since Wine lets no 64-bit process read a 32-bit
one's modules. A case runs one build: i686, the program that ships
(build/win32, run by Wine's 32-bit loader), or its x86_64 twin (build/win64,
run by wine64); each brings its own simulator DLL. One 64-bit Wine prefix
runs both, and it and the X server serve a whole test run: `setup` makes
them and records them in a state file, `cleanup` ends them. Each test case
lays out a fresh folder like a user's, starts the program from another
current folder, and ends every process it started.

Wine's 32-bit loader runs natively where the kernel runs 32-bit programs,
or under user-mode emulation where scripts/setup.sh registered an emulator
for i386 programs (where the kernel refuses them, or when UPDATER_I386=
emulated asks for it). Every i686 case checks that the wizard's Linux
process runs the way the session said. Where neither way is had (Wine's
32-bit half missing), i686 cases run the x86_64 build in its place and say
so in one line; `probe` prints how the shipped program runs for the test
command.

    harness.py setup   --state FILE --win32 DIR --win64 DIR [--work DIR] [--shots DIR] [--screen WxH]
    harness.py cleanup --state FILE
    harness.py shot    --state FILE PNG
    harness.py probe
"""

import argparse
import errno
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# Debian's Wine loaders, one per bitness of the program run; /usr/bin/wine
# would choose by itself and hide which one ran.
WINE_DIR = os.environ.get("E2E_WINE_DIR", "/usr/lib/wine")
LOADERS = {"i686": os.path.join(WINE_DIR, "wine"), "x86_64": os.path.join(WINE_DIR, "wine64")}
WINE = LOADERS["x86_64"]  # the prefix, its tools and the driver are 64-bit
WINESERVER = os.path.join(WINE_DIR, "wineserver")

ARCHES = ("i686", "x86_64")
SHIPPED = "i686"
PE_MACHINES = {"i686": 0x14C, "x86_64": 0x8664}

JAPANESE_LOCALE = "ja_JP.UTF-8"
LOCALES = {"en": "C.UTF-8", "ja": JAPANESE_LOCALE}

PROGRAM = "UPDATE.EXE"
DRIVER = os.path.join("tests", "e2e", "driver", "e2e_driver.exe")
SIMULATOR = os.path.join("sim", "ZEPLPRNP.DLL")
LINK_LIBRARY = "ZEPLPRNP.DLL"

DEFAULT_FIRMWARE = "KM500_V300.x"
FIRMWARE_SIZE = 5000  # not a multiple of the 1024-byte pieces

SCREEN = "1024x768"  # the X server's screen, unless a session asks for another

WIZARD_TIMEOUT_MS = 20000
EXIT_TIMEOUT_S = 10
CASE_TIMEOUT_S = 120


class HarnessError(Exception):
    pass


def log(*parts):
    print(*parts, flush=True)


def fail(message):
    raise HarnessError(message)


# --- Session: the X server and Wine prefix of one test run -----------------

def read_state(path):
    try:
        with open(path) as f:
            return json.load(f)
    except FileNotFoundError:
        fail(f"no session state at {path}: the setup test has not run")


def wine_env(state, lang="en"):
    env = {k: v for k, v in os.environ.items()
           if not (k.startswith("LC_") or k in ("LANG", "LANGUAGE", "WINEDLLOVERRIDES"))}
    env.update(WINEPREFIX=state["prefix"], WINELOADER=WINE, WINESERVER=WINESERVER,
               WINEDEBUG="-all", DISPLAY=state["display"],
               LANG=LOCALES[lang], LC_ALL=LOCALES[lang])
    return env


def winpath(path):
    """The Windows name Wine gives a Linux path (drive Z: is the root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    try:  # a zombie of ours has ended too
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def pid_runs(pid, needle):
    """Whether pid is alive and still the program we started (pids get reused)."""
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return needle.encode() in f.read() and pid_alive(pid)
    except OSError:
        return False


def stop_pid(pid, needle, grace_s=5):
    if not pid_runs(pid, needle):
        return
    os.kill(pid, signal.SIGTERM)
    deadline = time.monotonic() + grace_s
    while time.monotonic() < deadline and pid_runs(pid, needle):
        time.sleep(0.1)
    if pid_runs(pid, needle):
        os.kill(pid, signal.SIGKILL)


def pe_machine(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if head[:2] != b"MZ" or head[offset:offset + 4] != b"PE\0\0":
        return None
    return int.from_bytes(head[offset + 4:offset + 6], "little")


def check_requirements(builds):
    preset = {"i686": "win32", "x86_64": "win64"}
    for arch, tree in builds.items():
        missing = [p for p in (PROGRAM, SIMULATOR, DRIVER) if not os.path.isfile(os.path.join(tree, p))]
        if missing:
            fail(f"the {preset[arch]} build tree {tree} lacks {', '.join(missing)}: build it first with "
                 f"`cmake --preset {preset[arch]} && cmake --build --preset {preset[arch]}`")
        for p in (PROGRAM, SIMULATOR, DRIVER):
            if pe_machine(os.path.join(tree, p)) != PE_MACHINES[arch]:
                fail(f"{os.path.join(tree, p)} is not an {arch} Windows file: is {tree} the {preset[arch]} tree?")
    for tool in (WINE, WINESERVER):
        if not os.access(tool, os.X_OK):
            fail(f"{tool} missing: install the Debian packages wine64 and wine")
    for tool, package in (("Xvfb", "xvfb"), ("xauth", "xauth"), ("import", "imagemagick")):
        if not shutil.which(tool):
            fail(f"{tool} missing: install the Debian package {package}")
    locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
    if not any(l.lower().replace("-", "") == "ja_jp.utf8" for l in locales):
        fail("locale ja_JP.UTF-8 missing: run "
             "`sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen && locale-gen`")
    if shutil.which("fc-list"):
        fonts = subprocess.run(["fc-list", ":lang=ja", "family"], capture_output=True, text=True).stdout
        if not fonts.strip():
            fail("no Japanese font: install the Debian package fonts-ipafont-gothic")


# --- How the 32-bit program runs here --------------------------------------

BINFMT = "/proc/sys/fs/binfmt_misc"
I386_ELF = bytes.fromhex("7f454c46010101")  # 32-bit, little-endian ELF
EM_386 = bytes.fromhex("0300")


def i386_emulator():
    """The interpreter of an enabled binfmt_misc entry that takes i386 ELF
    programs, or None: with one, the kernel hands every 32-bit program to it,
    whether or not it could run them itself."""
    try:
        names = sorted(os.listdir(BINFMT))
    except OSError:
        return None
    for name in names:
        if name in ("register", "status"):
            continue
        try:
            with open(os.path.join(BINFMT, name)) as f:
                fields = dict(line.split(" ", 1) for line in f.read().splitlines()[1:] if " " in line)
            with open(os.path.join(BINFMT, name)) as f:
                enabled = f.readline().strip() == "enabled"
            magic = bytes.fromhex(fields.get("magic", "").strip())
            offset = int(fields.get("offset", "0"))
        except (OSError, ValueError):
            continue
        if enabled and offset == 0 and magic[:7] == I386_ELF and magic[18:20] == EM_386:
            return fields.get("interpreter", "").strip() or None
    return None


def first_line(cmd):
    try:
        out = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=30).stdout
    except (OSError, subprocess.TimeoutExpired):
        return "version unknown"
    return (out.strip().splitlines() or ["version unknown"])[0]


def i686_runner():
    """How Wine runs the 32-bit build on this machine: a dict with `how`
    ("native", "emulated" or None where it cannot), the emulator and its
    version, or the reason it cannot."""
    loader = LOADERS["i686"]
    if not os.access(loader, os.X_OK):
        return {"how": None, "reason": f"Wine's 32-bit half (wine32:i386, {loader}) is not installed; "
                                        "scripts/setup.sh installs it"}
    emulator = i386_emulator()
    try:
        rc = subprocess.run([loader, "--version"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, timeout=60).returncode
    except OSError as e:
        if e.errno == errno.ENOEXEC:
            return {"how": None, "reason": "this machine's kernel does not run 32-bit programs and no emulator "
                                           "is registered for them (scripts/setup.sh registers one)"}
        return {"how": None, "reason": f"{loader} does not start: {e}"}
    except subprocess.TimeoutExpired:
        return {"how": None, "reason": f"{loader} --version did not return"}
    if rc != 0:
        return {"how": None, "reason": f"{loader} --version failed with {rc}"}
    if emulator:
        return {"how": "emulated", "emulator": emulator, "version": first_line([emulator, "--version"])}
    return {"how": "native"}


def describe_runner(runner):
    """One line: how the i686 cases run the shipped program."""
    if runner["how"] == "native":
        return f"the shipped 32-bit UPDATE.EXE runs natively under {LOADERS['i686']}"
    if runner["how"] == "emulated":
        return (f"the shipped 32-bit UPDATE.EXE runs under {LOADERS['i686']} in user-mode emulation "
                f"({runner['version']}, {runner['emulator']})")
    return not_exercised(runner["reason"])


def process_runner(pid, emulator=None):
    """How a Linux process runs now: "emulated" (its image is the i386
    emulator), "native" (a 32-bit ELF image) or "64-bit"; None once gone."""
    try:
        image = os.path.realpath(f"/proc/{pid}/exe")
        with open(image, "rb") as f:
            head = f.read(5)
    except OSError:
        return None
    if emulator and image == os.path.realpath(emulator):
        return "emulated"
    if head[:4] != b"\x7fELF":
        return None
    return "native" if head[4] == 1 else "64-bit"


def not_exercised(reason):
    return (f"the shipped 32-bit UPDATE.EXE is not exercised: {reason}. "
            "The end-to-end tests run its 64-bit twin in its place")


def build_run(state, arch):
    """The build a case asking for `arch` runs: i686 falls back to x86_64
    where Wine cannot run it."""
    if arch not in ARCHES:
        fail(f"unknown build {arch!r}: one of {', '.join(ARCHES)}")
    return "x86_64" if arch == "i686" and state.get("i686_unavailable") else arch


def start_xvfb(logfile, screen=SCREEN):
    """Xvfb chooses a free display itself and names it once it is ready, so
    that two sessions starting at the same moment never share one."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{screen}x24",
                             "-nolisten", "tcp"], stdin=subprocess.DEVNULL, stdout=logfile, stderr=logfile,
                            start_new_session=True, pass_fds=(write_end,))
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 20
    try:
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([read_end], [], [], 0.5)
            if ready:
                got = os.read(read_end, 16)
                if not got:
                    break
                number += got
    finally:
        os.close(read_end)
    if not number.strip().isdigit():
        if proc.poll() is None:
            proc.kill()
        proc.wait()
        fail(f"Xvfb did not start: it named no display ({number!r})")
    return f":{int(number)}", proc.pid


def run_logged(cmd, env, logfile, timeout):
    logfile.write(f"$ {' '.join(cmd)}\n".encode())
    logfile.flush()
    # Output goes to a file, never to a pipe: a wineserver that a Wine process
    # spawns inherits its descriptors and would hold a pipe open.
    rc = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, stdout=logfile, stderr=logfile,
                        timeout=timeout).returncode
    if rc != 0:
        fail(f"{' '.join(cmd)} failed with {rc}: see {logfile.name}")


def setup(state_path, win32, win64, work, shots, screen=SCREEN):
    builds = {"i686": os.path.abspath(win32), "x86_64": os.path.abspath(win64)}
    check_requirements(builds)
    if os.path.exists(state_path):
        cleanup(state_path)  # left over from a run that did not clean up
    base = os.path.dirname(os.path.abspath(state_path))
    # A prefix (and so a Wine server) of this session's own: sessions whose
    # state files share a folder run side by side.
    name = os.path.splitext(os.path.basename(state_path))[0]
    prefix = os.path.join(base, f"{name}.wineprefix")
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    os.makedirs(work, exist_ok=True)
    os.makedirs(shots, exist_ok=True)
    runner = i686_runner()
    state = {"prefix": prefix, "builds": builds, "i686_runner": runner, "i686_unavailable": runner.get("reason"),
             "work": os.path.abspath(work), "shots": os.path.abspath(shots)}
    with open(os.path.join(base, f"{name}.setup.log"), "wb") as logfile:
        state["display"], state["xvfb_pid"] = start_xvfb(logfile, screen)
        write_state(state_path, state)
        env = wine_env(state)
        # One server for the whole run, so that no test case spawns one.
        server = subprocess.Popen([WINESERVER, "-f", "-p"], env=env,
                                  stdin=subprocess.DEVNULL, stdout=logfile, stderr=logfile,
                                  start_new_session=True)
        state["wineserver_pid"] = server.pid
        write_state(state_path, state)
        # A first boot now and then reports failure while the prefix is
        # still settling; a second boot of the same prefix finishes it.
        try:
            run_logged([WINE, "wineboot", "-i"], env, logfile, timeout=180)
        except HarnessError:
            time.sleep(2)
            run_logged([WINE, "wineboot", "-i"], env, logfile, timeout=180)
        # No window manager runs: let Wine draw its own captions.
        for value in ("Managed", "Decorated"):
            run_logged([WINE, "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", value,
                        "/d", "N", "/f"], env, logfile, timeout=60)
    log(f"display={state['display']} prefix={prefix}")
    log(f"i686 cases: {describe_runner(runner)}" + ("" if state["i686_unavailable"] else
                                                    f" ({builds['i686']}{os.sep}{PROGRAM})"))


def set_prefix_value(state, key, name, value):
    """A value of the session's Wine prefix (an int as a DWORD); each program
    reads it as it starts."""
    kind = ["/t", "REG_DWORD"] if isinstance(value, int) else []
    subprocess.run([WINE, "reg", "add", key, "/v", name] + kind + ["/d", str(value), "/f"], env=wine_env(state),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                   check=True)


def set_dpi(state, dpi):
    """The DPI programs started from now on lay themselves out for."""
    set_prefix_value(state, r"HKCU\Control Panel\Desktop", "LogPixels", dpi)


def map_dialog_font(state):
    """The dialog's font "MS UI Gothic", which Linux lacks, set in the
    proportional IPAPGothic, as a Japanese Windows sets it. Wine's default
    substitute (and the monospaced IPAGothic) sets Japanese wider and cuts
    the longest guidance off."""
    set_prefix_value(state, r"HKCU\Software\Wine\Fonts\Replacements", "MS UI Gothic", "IPAPGothic")


# Wine draws the caption buttons' glyphs from its Marlett font (Debian's
# fonts-wine, in Wine's data folder beside its loaders' folder). Debian's Wine
# 8.0 does not load the fonts of that folder by itself, and then shows an "r"
# for the close button; from the prefix's Fonts folder it loads them.
CAPTION_FONT = os.path.join(WINE_DIR, "..", "..", "share", "wine", "fonts", "marlett.ttf")


def install_caption_font(state):
    if not os.path.isfile(CAPTION_FONT):
        fail(f"{os.path.normpath(CAPTION_FONT)} missing: install the Debian package fonts-wine")
    fonts = os.path.join(state["prefix"], "drive_c", "windows", "Fonts")
    os.makedirs(fonts, exist_ok=True)
    shutil.copyfile(CAPTION_FONT, os.path.join(fonts, "marlett.ttf"))


def write_state(path, state):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        json.dump(state, f, indent=1)
    os.replace(tmp, path)


def cleanup(state_path):
    if not os.path.exists(state_path):
        log("no session to clean up")
        return
    state = read_state(state_path)
    if "prefix" in state and os.path.isdir(state["prefix"]):
        env = dict(os.environ, WINEPREFIX=state["prefix"])
        try:
            subprocess.run([WINESERVER, "-k"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        except subprocess.TimeoutExpired:
            pass
    if "wineserver_pid" in state:
        stop_pid(state["wineserver_pid"], "wineserver")
    if "xvfb_pid" in state:
        stop_pid(state["xvfb_pid"], "Xvfb")
    os.remove(state_path)
    log("session ended")


def screenshot(state, path, crop=None):
    """The whole screen, or the part `crop` (left, top, right, bottom) names."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    area = []
    if crop:
        left, top, right, bottom = (max(0, v) for v in crop)
        area = ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    subprocess.run(["import", "-display", state["display"], "-window", "root"] + area + [path],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=30, check=True)
    return path


# --- Driver output ---------------------------------------------------------

def unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            out.append({"n": "\n", "r": "\r", "\\": "\\"}.get(value[i + 1], value[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def parse_lines(text):
    result = {}
    for line in text.splitlines():
        line = line.rstrip("\r")
        if "=" in line:
            key, value = line.split("=", 1)
            result[key] = unescape(value)
    return result


class Snapshot:
    """What the driver's `dump` read from the wizard."""

    def __init__(self, values):
        self.values = values

    def __getitem__(self, key):
        return self.values[key]

    def flag(self, key):
        return self.values.get(key) == "1"

    def number(self, key):
        return int(self.values[key])

    def exists(self, ctl):
        return self.flag(f"ctl.{ctl}.exists")

    def text(self, ctl):
        return self.values.get(f"ctl.{ctl}.text")

    def visible(self, ctl):
        return self.flag(f"ctl.{ctl}.visible")

    def enabled(self, ctl):
        return self.flag(f"ctl.{ctl}.enabled")

    def rect(self, key="rect"):
        return tuple(int(v) for v in self.values[key].split(","))

    def __repr__(self):
        return "\n".join(f"  {k}={v!r}" for k, v in self.values.items())


class Ctl:
    """What one control should show; None leaves an aspect unchecked."""

    def __init__(self, text=None, visible=None, enabled=None):
        self.text, self.visible, self.enabled = text, visible, enabled

    def mismatches(self, snap, ctl):
        if not snap.exists(ctl):
            return [f"control {ctl} missing"]
        found = []
        for aspect, want, got in (("text", self.text, snap.text(ctl)),
                                  ("visible", self.visible, snap.visible(ctl)),
                                  ("enabled", self.enabled, snap.enabled(ctl))):
            if want is not None and want != got:
                found.append(f"control {ctl} {aspect}: expected {want!r}, found {got!r}")
        return found


def expect_controls(snap, expected):
    """Compares every expected control at once, so a failure lists them all."""
    problems = []
    for ctl, want in expected.items():
        problems += want.mismatches(snap, ctl)
    if problems:
        fail("the wizard does not read as expected:\n  " + "\n  ".join(problems))


# --- One test case ---------------------------------------------------------

class CaseTimeout(HarnessError):
    pass


class Program:
    """One copy of the program laid out in a folder of its own."""

    def __init__(self, folder, exe):
        self.folder, self.exe = folder, exe
        self.path = os.path.join(folder, exe)
        self.prop = os.path.splitext(exe)[0]  # the window property the wizard carries
        self.scenario = None


# The build a Case runs unless told otherwise; run_cases sets it from --arch.
case_arch = SHIPPED


class Case:
    """A test case's folder, processes and time bound; use it with `with`.

    It runs one build (`arch`, by default the one the command line chose).
    On leaving, it answers any message box, closes every wizard it started,
    waits for the processes to end (killing by pid those that do not), checks
    that no wizard is left, and on failure takes a screenshot."""

    def __init__(self, state_path, name, lang="en", timeout_s=CASE_TIMEOUT_S, arch=None):
        self.state = read_state(state_path)
        self.name, self.lang, self.timeout_s = name, lang, timeout_s
        asked = arch or case_arch
        self.arch = build_run(self.state, asked)
        if self.arch != asked:
            log(not_exercised(self.state["i686_unavailable"]))
        self.build = self.state["builds"][self.arch]
        self.loader = LOADERS[self.arch]
        self.dir = os.path.join(self.state["work"], asked, name)
        self.shots = os.path.join(self.state["shots"], asked)
        self.elsewhere = os.path.join(self.dir, "elsewhere")  # the current folder at start
        self.procs = []
        self.programs = []

    def __enter__(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.elsewhere)

        def expire(signum, frame):
            raise CaseTimeout(f"case {self.name} ran longer than {self.timeout_s} s")
        signal.signal(signal.SIGALRM, expire)
        signal.alarm(self.timeout_s)
        return self

    def __exit__(self, exc_type, exc, tb):
        signal.alarm(0)
        complaint = None
        try:
            signal.alarm(30)  # the clean-up is bounded too
            if exc is not None:
                self.on_failure(exc)
            complaint = self.end_processes()
        except CaseTimeout:
            complaint = "the clean-up ran out of time"
        finally:
            signal.alarm(0)
            self.kill_remaining()
        if complaint and exc is None:
            fail(complaint)
        return False

    # Layout and start

    def install(self, exe=PROGRAM, folder="app", firmware=(DEFAULT_FIRMWARE,), scenario=None,
                link_library=True, firmware_size=FIRMWARE_SIZE):
        """Lays out a user's folder: the program (under `exe`), firmware files
        of generated bytes, and the plotter simulator as the link library
        (`link_library` False: none; a file name: that file of the build's sim
        folder, such as a variant that lacks an entry). `scenario` is the
        simulator's scenario text; the program is started with
        ZEPL_SIM_SCENARIO naming it."""
        path = os.path.join(self.dir, folder)
        os.makedirs(path, exist_ok=True)
        shutil.copyfile(os.path.join(self.build, PROGRAM), os.path.join(path, exe))
        for name in firmware:
            with open(os.path.join(path, name), "wb") as f:
                f.write(firmware_bytes(firmware_size))
        if link_library:
            library = SIMULATOR if link_library is True else os.path.join(os.path.dirname(SIMULATOR), link_library)
            shutil.copyfile(os.path.join(self.build, library), os.path.join(path, LINK_LIBRARY))
        program = Program(path, exe)
        if scenario is not None:
            program.scenario = os.path.join(self.dir, f"{folder}.scenario")
            with open(program.scenario, "w") as f:
                f.write(scenario)
        self.programs.append(program)
        return program

    def start(self, program, env=None, args=(), **extra_env):
        """Starts the program under Wine, with `args` on its command line;
        `env` and extra_env add to its environment."""
        env = dict(wine_env(self.state, self.lang), **(env or {}))
        env.update(extra_env)
        if program.scenario:
            env["ZEPL_SIM_SCENARIO"] = winpath(program.scenario)
        log_path = os.path.join(self.dir, f"{program.prop}-{len(self.procs)}.log")
        out = open(log_path, "wb")
        proc = subprocess.Popen([self.loader, program.path, *map(str, args)], cwd=self.elsewhere, env=env,
                                stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        out.close()
        proc.program, proc.log_path = program, log_path
        self.procs.append(proc)
        return proc

    def wait_exit(self, proc, timeout_s=EXIT_TIMEOUT_S):
        try:
            return proc.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            fail(f"{proc.program.exe} (pid {proc.pid}) did not end within {timeout_s} s")

    # Driver

    def driver(self, *args, check=True, timeout_s=60, own_bitness=False):
        """Runs one driver command; returns its key=value output as a dict.
        `own_bitness` runs the driver of the build the case runs, which
        alone can read the wizard's modules. The driver's first line names
        its command: a run that failed without it never reached the command,
        did nothing, and is run once more, saying so."""
        rc, values, errors = self._run_driver(args, timeout_s, own_bitness)
        if rc != 0 and "driver" not in values:
            log(f"driver {args[0]} ended with {rc} before reaching its command (stdout: {values}, stderr: "
                f"{errors!r}); running it once more")
            rc, values, errors = self._run_driver(args, timeout_s, own_bitness)
        values.pop("driver", None)
        if check and rc != 0:
            fail(f"driver {' '.join(map(str, args))} failed with {rc}: {values}; stderr: {errors!r}")
        values["rc"] = rc
        return values

    def _run_driver(self, args, timeout_s, own_bitness):
        arch = self.arch if own_bitness else "x86_64"
        cmd = [LOADERS[arch], os.path.join(self.state["builds"][arch], DRIVER)] + [str(a) for a in args]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            rc = subprocess.run(cmd, cwd=self.dir, env=wine_env(self.state, self.lang),
                                stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout_s).returncode
            out.seek(0)
            err.seek(0)
            values = parse_lines(out.read().decode("utf-8", "replace"))
            errors = err.read().decode("utf-8", "replace")[-2000:]
        return rc, values, errors

    def driver_background(self, *args):
        """Starts a driver command that keeps running (other-window,
        hold-exclusive) and returns once it printed its first result; it
        ends when its stdin is closed, or when the case ends."""
        cmd = [WINE, os.path.join(self.state["builds"]["x86_64"], DRIVER)] + [str(a) for a in args]
        out_path = os.path.join(self.dir, f"driver-{len(self.procs)}.out")
        out = open(out_path, "wb")
        proc = subprocess.Popen(cmd, cwd=self.dir, env=wine_env(self.state, self.lang),
                                stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL)
        out.close()
        proc.program = None
        self.procs.append(proc)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            with open(out_path, "rb") as f:
                text = f.read().decode("utf-8", "replace")
            proc.values = parse_lines(text[:text.rfind("\n") + 1])
            if len(proc.values) > 1 or proc.poll() is not None:
                proc.values.pop("driver", None)
                return proc
            time.sleep(0.1)
        fail(f"driver {' '.join(map(str, args))} printed nothing within 30 s")

    def stop_background(self, proc):
        if proc.stdin:
            proc.stdin.close()
            proc.stdin = None
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

    def wait_wizard(self, program, timeout_ms=WIZARD_TIMEOUT_MS):
        values = self.driver("wait-wizard", program.prop, timeout_ms, check=False)
        if values["rc"] == 0:
            self.expect_runner(program)
            return values
        # A program that Wine could not start says why in its output.
        ended = [p for p in self.procs if p.program is program and p.poll() is not None]
        why = ""
        for p in ended:
            with open(p.log_path, "rb") as f:
                output = f.read()[-500:].decode("utf-8", "replace").strip()
            why += f"; {program.exe} (pid {p.pid}, {self.arch} build) ended with {p.returncode}: {output!r}"
        fail(f"no wizard {program.prop} came up: {values}{why}")

    def expect_runner(self, program):
        """The program's Linux processes run the way the session says: a
        32-bit build natively or under the emulator, never quietly otherwise."""
        runner = self.state.get("i686_runner", {})
        want = runner.get("how") if self.arch == "i686" else "64-bit"
        for proc in self.procs:
            if proc.program is program and proc.poll() is None:
                seen = process_runner(proc.pid, runner.get("emulator"))
                if seen is not None and seen != want:
                    fail(f"{program.exe} (pid {proc.pid}, {self.arch} build) runs {seen}, expected {want}")
                if seen is not None and not getattr(proc, "runner_seen", None):
                    proc.runner_seen = seen
                    log(f"{program.exe} (Linux pid {proc.pid}, {self.arch} build) runs {seen}")

    def dump(self, program):
        return Snapshot(self.driver("dump", program.prop))

    def message_boxes(self, wait_ms=0):
        """Answers the message boxes that are up (waiting up to wait_ms for
        the first) and returns their (caption, text) in order."""
        seen = []
        while True:
            values = (self.driver("wait-msgbox", wait_ms, "answer", check=False) if wait_ms
                      else self.driver("msgbox", "answer", check=False))
            if values.get("count", "0") == "0":
                return seen
            if values["rc"] != 0:
                fail(f"could not answer the message box: {values}")
            seen.append((values["caption"], values["text"]))
            wait_ms = 0
            if len(seen) > 20:
                fail(f"message boxes keep coming: {seen[-3:]}")

    def count_wizards(self, program):
        return int(self.driver("count-wizards", program.prop)["count"])

    def screenshot(self, name, crop=None):
        return screenshot(self.state, os.path.join(self.shots, name), crop)

    # Clean-up

    def on_failure(self, exc):
        """Shows what the wizard looked like, and keeps it beside the
        screenshot with the failure's own words, which outlive the test
        runner's log."""
        record = [f"{self.name} ({self.arch} build, {self.build}): {exc}"]
        try:
            shot = self.screenshot(f"{self.name}-failure.png")
            log(f"screenshot at failure: {shot} ({self.arch} build, {self.build})")
            for program in self.programs:
                values = self.driver("dump", program.prop, check=False, timeout_s=15)
                if values["rc"] == 0:
                    record.append(f"{program.exe} at failure:\n{Snapshot(values)}")
                    log(record[-1])
        except Exception as e:  # the original failure matters more
            log(f"(could not record the failure: {e})")
        try:
            os.makedirs(self.shots, exist_ok=True)
            with open(os.path.join(self.shots, f"{self.name}-failure.txt"), "w") as f:
                f.write("\n".join(record) + "\n")
        except OSError as e:
            log(f"(could not keep the failure: {e})")

    def end_processes(self):
        """Ends what this case started; returns a complaint, or None."""
        complaints = []
        running = [p for p in self.procs if p.poll() is None]
        if any(p.program for p in running):
            try:
                self.message_boxes()
            except Exception as e:
                complaints.append(f"message boxes: {e}")
        for proc in running:
            if proc.program is None:
                self.stop_background(proc)
                continue
            if proc.poll() is None:
                self.driver("close", proc.program.prop, "cancel", 5000, check=False, timeout_s=15)
            try:
                proc.wait(timeout=EXIT_TIMEOUT_S)
            except subprocess.TimeoutExpired:
                complaints.append(f"{proc.program.exe} (pid {proc.pid}) did not end after its wizard closed")
                proc.kill()
                proc.wait()
        for program in self.programs:
            left = int(self.driver("count-wizards", program.prop, check=False, timeout_s=15).get("count", "0"))
            if left:
                complaints.append(f"{left} wizard(s) {program.prop} still up after their processes ended")
        return "; ".join(complaints) or None

    def kill_remaining(self):
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    log(f"pid {proc.pid} survived SIGKILL")


def read_bytes(path):
    """A file's bytes; none when it does not exist (nothing arrived there)."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return b""


def firmware_bytes(size=FIRMWARE_SIZE):
    return bytes((i * 7 + i // 256) & 0xFF for i in range(size))


# --- Running cases ---------------------------------------------------------

def run_cases(cases, also_on_x86_64=(), argv=None):
    """Command line of a test script: `--state FILE [--arch ARCH] CASE` runs
    one case on one build. Every case runs the i686 build that ships; those
    named in `also_on_x86_64` run the x86_64 twin as well. `--list` prints
    ARCH:CASE for each (CMake registers one test for each)."""
    unknown = set(also_on_x86_64) - set(cases)
    if unknown:
        raise ValueError(f"also_on_x86_64 names no case: {sorted(unknown)}")
    parser = argparse.ArgumentParser()
    parser.add_argument("--state")
    parser.add_argument("--arch", choices=ARCHES, default=SHIPPED)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("case", nargs="?")
    args = parser.parse_args(argv)
    if args.list:
        print(";".join([f"{SHIPPED}:{c}" for c in cases] + [f"x86_64:{c}" for c in also_on_x86_64]))
        return 0
    if not args.state or args.case not in cases:
        parser.error(f"need --state and one of: {', '.join(cases)}")
    global case_arch
    case_arch = args.arch
    try:
        cases[args.case](args.state, args.case)
    except HarnessError as e:
        log(f"FAIL {args.case}: {e}")
        return 1
    log(f"PASS {args.case}")
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("setup")
    p.add_argument("--state", required=True)
    p.add_argument("--win32", required=True)
    p.add_argument("--win64", required=True)
    p.add_argument("--work")
    p.add_argument("--shots")
    p.add_argument("--screen", default=SCREEN, help="the X server's screen, WIDTHxHEIGHT")
    p = sub.add_parser("cleanup")
    p.add_argument("--state", required=True)
    p = sub.add_parser("shot")
    p.add_argument("--state", required=True)
    p.add_argument("png")
    sub.add_parser("probe", help="print one line: which build the i686 cases will run")
    args = parser.parse_args(argv)
    try:
        if args.command == "probe":
            log(f"e2e: {describe_runner(i686_runner())}")
        elif args.command == "setup":
            base = os.path.dirname(os.path.abspath(args.state))
            try:
                setup(args.state, args.win32, args.win64, args.work or os.path.join(base, "work"),
                      args.shots or os.path.join(base, "shots"), args.screen)
            except BaseException:
                cleanup(args.state)
                raise
        elif args.command == "cleanup":
            cleanup(args.state)
        else:
            log(screenshot(read_state(args.state), args.png))
    except HarnessError as e:
        log(f"FAIL: {e}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

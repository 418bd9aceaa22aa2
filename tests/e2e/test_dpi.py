"""End-to-end cases of display scaling: the wizard at 96, 120, 144 and 192 DPI
(100 % to 200 %), in English and Japanese, through every state the demo
shows (ready, confirmed, updating, finished; a chunk the plotter refuses:
the message box, then the failure's guidance). In each, measured inside the
wizard's process by the probe (tests/e2e/probe), with each static's own
font: no static's text is cut off or overlaps another control; the window
carries the icons for its DPI; at 144 and 192 DPI the dialog fits the screens
of those scalings.

The DPI is the Wine prefix's (LogPixels), read by each program as it starts,
so these cases have a session of their own, on a screen that holds the
dialog at 192 DPI, and take turns in it. Its prefix maps the dialog's font
"MS UI Gothic", which Linux lacks, to the proportional IPAPGothic, as a
Japanese Windows would have it (Wine's default substitute sets Japanese
wider than Windows does). Under Wine 8.0 every program is laid out for the
prefix's DPI whatever its manifest declares (the prefix has no
DpiScalingVer); the manifest's declaration is checked in the product file.

    test_dpi.py setup   --state FILE --win32 DIR --win64 DIR --work DIR --shots DIR
    test_dpi.py cleanup --state FILE
    test_dpi.py --state FILE [--arch ARCH] CASE     (--list: the cases)
"""

import argparse
import functools
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
from harness import Case, fail, run_cases  # noqa: E402
from strings import text  # noqa: E402

IDOK, IDCANCEL, MESSAGE, PERCENT = 1, 2, 1507, 1508
BOX_TEXT = -1  # a message box's text static, id 0xFFFF as the probe reads it
DPIS = (96, 120, 144, 192)
SCREEN = "2560x1600"
# The screen each scaling is the usual setting of, less a taskbar of 48
# logical pixels: the dialog must fit in what is left.
SCREENS = {144: (1920, 1080), 192: (2560, 1600)}
TASKBAR = 48
PROBE = os.path.join("tests", "e2e", "probe", "e2e_probe.exe")
POLL_S = 0.1

# A KM600 (status replies) taking firmware 3.00 at once; an LX700 whose
# plotter refuses the 60th chunk, slowly enough to be read while updating.
UPDATE = ("KM600_V300.x", "Tarvonic KM600", ('progress_reply = "0\\x03"',), 5000)
REFUSED = ("LX700_V300.x", "Tarvonic LX700", ("data_delay_ms = 25", "fail_write = data.60:refused"), 100 * 1024)

SS_TYPEMASK, SS_CENTER, SS_RIGHT, SS_CENTERIMAGE = 0x1F, 1, 2, 0x200
BS_TYPEMASK, BS_GROUPBOX = 0xF, 7


# --- The session ---------------------------------------------------------

def setup(args):
    harness.setup(args.state, args.win32, args.win64, args.work, args.shots, screen=SCREEN)
    try:
        state = harness.read_state(args.state)
        harness.map_dialog_font(state)
        harness.install_caption_font(state)
        # The second check confirms the model's printer on the plotter's port.
        with Case(args.state, "printers") as case:
            for _, driver, _, _ in (UPDATE, REFUSED):
                case.driver("add-printer", f"{driver} dpi", driver, "USB001")
    except BaseException:
        harness.cleanup(args.state)
        raise


# --- Reading the probe's measurement --------------------------------------

class Control:
    def __init__(self, values, key):
        get = lambda name: values.get(f"{key}{name}")  # noqa: E731
        self.id, self.cls, self.text = int(get("id")), get("class"), get("text") or ""
        self.style = int(get("style"))
        self.visible, self.enabled = get("visible") == "1", get("enabled") == "1"
        self.rect = tuple(int(v) for v in get("rect").split(","))
        self.client = tuple(int(v) for v in get("client").split(","))
        self.font = get("font")
        self.need = tuple(int(v) for v in get("need").split(",")) if get("need") else None

    def ink(self):
        """Where the static's text is drawn, in the dialog's client area: the
        text's place by the static's alignment, within its client area."""
        left, top, right, bottom = self.client
        width, height = self.need
        kind = self.style & SS_TYPEMASK
        x = (right - left - width) // 2 if kind == SS_CENTER else right - left - width if kind == SS_RIGHT else 0
        y = (bottom - top - height) // 2 if self.style & SS_CENTERIMAGE else 0
        return (max(left, left + x), max(top, top + y), min(right, left + x + width), min(bottom, top + y + height))


class Window:
    def __init__(self, values, n):
        key = f"w{n}."
        self.title, self.dpi = values[key + "title"], int(values[key + "dpi"])
        self.rect = tuple(int(v) for v in values[key + "rect"].split(","))
        self.icons = (values[key + "icon.big"], values[key + "icon.small"])
        self.controls = [Control(values, f"{key}c{i}.") for i in range(int(values[key + "controls"]))]

    def control(self, cid):
        return next((c for c in self.controls if c.id == cid), None)

    def text(self, cid):
        c = self.control(cid)
        return c.text if c else None


class Measure:
    def __init__(self, values):
        self.values = values
        self.windows = [Window(values, n) for n in range(int(values["windows"]))]
        self.wizard = self.windows[0]

    def __repr__(self):
        return "\n".join(f"  {k}={v!r}" for k, v in self.values.items())


def overlap(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def inside(a, b):
    return b[0] <= a[0] and b[1] <= a[1] and a[2] <= b[2] and a[3] <= b[3]


def layout_problems(window):
    """Each visible static's text within its client area, clear of every
    other control's ink: other statics' texts, buttons and the progress bar,
    and a group box's frame (inside it or outside it, not across)."""
    shown = [c for c in window.controls if c.visible]
    texts = [c for c in shown if c.cls == "Static" and c.need]
    problems = []
    for c in texts:
        ink = c.ink()
        left, top, right, bottom = c.client
        if c.need[0] > right - left or c.need[1] > bottom - top:
            problems.append(f"static {c.id} cut off: its text needs {c.need[0]} x {c.need[1]} in "
                            f"{right - left} x {bottom - top} ({c.font}): {c.text[:40]!r}")
        for o in shown:
            if o is c or (o.cls == "Static" and not o.need):
                continue
            if o.cls == "Static":
                hit = overlap(ink, o.ink())
            elif o.cls == "Button" and o.style & BS_TYPEMASK == BS_GROUPBOX:
                frame = (o.rect[0] + 2, o.rect[1] + 2, o.rect[2] - 2, o.rect[3] - 2)
                hit = overlap(ink, o.rect) and not inside(ink, frame)
            else:
                hit = overlap(ink, o.rect)
            if hit:
                problems.append(f"static {c.id}'s text {ink} overlaps control {o.id} ({o.cls}) at "
                                f"{o.ink() if o.cls == 'Static' else o.rect}")
    return problems


class Probe:
    """The probe of the case's build, started once for the case: measures and
    clicks in the wizard's own process (tests/e2e/probe/probe.cpp)."""

    def __init__(self, case, prop):
        self.case = case
        self.out_path = os.path.join(case.dir, "probe.out")
        out = open(self.out_path, "wb")
        # Output to a file, never a pipe (see harness.run_logged); commands on stdin.
        self.proc = subprocess.Popen([case.loader, os.path.join(case.build, PROBE), prop], cwd=case.dir,
                                     env=harness.wine_env(case.state, case.lang), stdin=subprocess.PIPE,
                                     stdout=out, stderr=subprocess.DEVNULL)
        out.close()
        self.proc.program = None  # the case ends it as a background process
        case.procs.append(self.proc)
        self.read = 0
        self.answer(b"ready=", timeout_s=60)

    def answer(self, last=b"end=", timeout_s=30):
        """The lines up to and with the one that starts with `last`."""
        deadline = time.monotonic() + timeout_s
        while True:
            with open(self.out_path, "rb") as f:
                f.seek(self.read)
                chunk = f.read()
            at = 0 if chunk.startswith(last) else chunk.find(b"\n" + last) + 1
            if at > 0 or chunk.startswith(last):
                stop = chunk.find(b"\n", at) + 1
                if stop > 0:
                    self.read += stop
                    return harness.parse_lines(chunk[:stop].decode("utf-8", "replace"))
            if self.proc.poll() is not None or time.monotonic() > deadline:
                fail(f"the probe gave no answer (ended: {self.proc.poll()}): {chunk[-300:]!r}")
            time.sleep(0.02)

    def command(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()
        return self.answer()

    def measure(self):
        values = self.command("measure")
        return Measure(values) if values.get("end") == "0" else None

    def click(self, cid):
        if self.command(f"click {cid}").get("end") != "0":
            fail(f"could not click control {cid}")

    def wait(self, what, predicate, timeout_s=60):
        deadline = time.monotonic() + timeout_s
        last = None
        while time.monotonic() < deadline:
            last = self.measure()
            if last and predicate(last):
                return last
            time.sleep(POLL_S)
        fail(f"no {what} within {timeout_s} s; the wizard reads:\n{last}")


# --- The cases -----------------------------------------------------------

def expect_scaled(m, dpi, state, problems):
    for w in m.windows:
        problems += [f"{state}: {p}" for p in layout_problems(w)]
    w = m.wizard
    big, small = 32 * dpi // 96, 16 * dpi // 96
    if w.dpi != dpi:
        problems.append(f"{state}: the wizard's DPI is {w.dpi}")
    if w.icons != (f"{big}x{big}x32", f"{small}x{small}x32"):
        problems.append(f"{state}: icons {w.icons}, not {big} and {small} pixels in 32-bit colour")
    if dpi in SCREENS:
        width, height = SCREENS[dpi]
        size = (w.rect[2] - w.rect[0], w.rect[3] - w.rect[1])
        if size[0] > width or size[1] > height - TASKBAR * dpi // 96:
            problems.append(f"{state}: the dialog, {size[0]} x {size[1]}, does not fit a {width} x {height} screen")


def run(case, probe, model, lang, steps, dpi, problems):
    """Installs and starts the program for `model`, then for each step
    (state, predicate, control to click or None) waits for the state,
    judges it and clicks on."""
    firmware, _, lines, size = model
    program = case.install(folder=firmware.split("_")[0], firmware=(firmware,), firmware_size=size,
                           scenario="\n".join(("log = sim.log",) + lines) + "\n")
    proc = case.start(program)
    for state, predicate, click in steps:
        m = probe.wait(f"{state} ({text(lang, 3001)}{model[1]})", predicate)
        case.expect_runner(program)
        expect_scaled(m, dpi, state, problems)
        if click == "answer":
            if probe.command("answer").get("end") != "0":
                fail(f"{state}: could not answer the message box")
        elif click:
            probe.click(click)
    case.wait_exit(proc)


def scaled(dpi, lang, state_path, name):
    with Case(state_path, name, lang) as case:
        harness.set_dpi(case.state, dpi)
        probe = Probe(case, os.path.splitext(harness.PROGRAM)[0])
        guidance = lambda m, number: m.wizard.text(MESSAGE) == text(lang, number)  # noqa: E731
        button = lambda m, cid, number: (m.wizard.text(cid) == text(lang, number)  # noqa: E731
                                         and m.wizard.control(cid).enabled)
        problems = []
        run(case, probe, UPDATE, lang, [
            ("ready", lambda m: guidance(m, 2006) and button(m, IDOK, 3005), IDOK),
            ("confirmed", lambda m: guidance(m, 2007) and button(m, IDOK, 3006), IDOK),
            ("finished", lambda m: guidance(m, 2009) and button(m, IDCANCEL, 3007), IDCANCEL),
        ], dpi, problems)
        run(case, probe, REFUSED, lang, [
            ("ready (loader)", lambda m: guidance(m, 2004) and button(m, IDOK, 3005), IDOK),
            ("confirmed", lambda m: guidance(m, 2007) and button(m, IDOK, 3006), IDOK),
            ("updating", lambda m: guidance(m, 2008) and m.wizard.control(PERCENT).visible
             and len(m.windows) == 1, None),
            ("refused box", lambda m: len(m.windows) == 2 and m.windows[1].text(BOX_TEXT) == text(lang, 2507),
             "answer"),
            ("failed", lambda m: guidance(m, 2010) and button(m, IDCANCEL, 3007), IDCANCEL),
        ], dpi, problems)
        if problems:
            case.screenshot(f"{name}.png")
            fail(f"at {dpi} DPI in {lang}:\n  " + "\n  ".join(problems))


CASES = {f"{dpi}dpi_{lang}": functools.partial(scaled, dpi, lang) for dpi in DPIS for lang in ("en", "ja")}


def main(argv):
    if argv[:1] in (["setup"], ["cleanup"]):
        p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
        p.add_argument("command")
        p.add_argument("--state", required=True)
        for option in ("--win32", "--win64", "--work", "--shots"):
            p.add_argument(option, required=argv[0] == "setup")
        args = p.parse_args(argv)
        try:
            setup(args) if args.command == "setup" else harness.cleanup(args.state)
        except harness.HarnessError as e:
            harness.log(f"FAIL: {e}")
            return 1
        return 0
    return run_cases(CASES, argv=argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

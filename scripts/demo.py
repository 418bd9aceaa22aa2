#!/usr/bin/env python3
"""Shows a whole firmware update under Wine against the simulated plotter: a
KM600 at version 1.00 ready for firmware 3.00, which answers at once but
takes a few milliseconds per 1 KiB chunk, so that the bar can be watched.

With a display of your own (DISPLAY set and --show) the wizard opens on it
and you click through "Next >", "Update" and "Close" yourself. Without one,
the demo drives the wizard through the whole update by itself on a private X
server, in English and in Japanese, and saves a screenshot of each state
(ready, confirmed, updating at about half way, finished), then one failure
(a chunk the plotter refuses: the message box, then the guidance); then,
at 150 % scaling (144 DPI), the wizard ready and updating. It prints where
they are (build/demo/<lang>-<state>.png, build/demo/<lang>-144dpi-<state>.png).
The Japanese dialog font is set as a Japanese Windows sets it (see
harness.map_dialog_font).

It shows the 32-bit UPDATE.EXE that ships (build/win32); where Wine cannot
run 32-bit programs, its 64-bit twin (build/win64) in its place, and says so."""
import argparse
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
from strings import text  # noqa: E402

IDOK, IDCANCEL, MESSAGE, PERCENT = 1, 2, 1507, 1508
SIZE = 1024 * 1024  # the bar passes half way while the chunks go out
UPDATE = ("KM600_V300.x", "Tarvonic KM600", ('progress_busy_count = 3', 'progress_reply = "0\\x03"',
                                             "data_delay_ms = 6"))
# A model without status replies whose plotter refuses the 200th chunk.
REFUSED = ("LX700_V300.x", "Tarvonic LX700", ("data_delay_ms = 6", "fail_write = data.200:refused"))
MARGIN = 12  # pixels of screen around the wizard in a screenshot, at 96 DPI
SCREEN = "1920x1080"  # the usual screen at 150 %, which holds the wizard at 144 DPI
DPI = 96


def scenario(lines):
    return "\n".join(("log = sim.log",) + lines) + "\n"


def wait_for(case, program, what, predicate, timeout_s=60, boxes_ok=False):
    deadline = time.monotonic() + timeout_s
    while True:
        snap = case.dump(program)
        if predicate(snap):
            return snap
        if not boxes_ok and case.driver("msgbox", check=False).get("count", "0") != "0":
            harness.fail(f"waiting for {what}, a message box came up")
        if time.monotonic() > deadline:
            harness.fail(f"no {what} within {timeout_s} s; the wizard reads:\n{snap}")
        time.sleep(0.05)


def percent(snap):
    shown = snap.text(PERCENT) or ""
    return int(shown.split()[0]) if snap.visible(PERCENT) and shown.split() else -1


class Demo:
    def __init__(self, state, arch, out):
        self.state, self.arch, self.out = state, arch, out
        self.shots = []
        self.dpi = DPI

    def start(self, case, firmware, lines):
        program = case.install(firmware=(firmware,), firmware_size=SIZE, scenario=scenario(lines))
        case.start(program)
        case.wait_wizard(program)
        return program

    def shot(self, case, program, name):
        left, top, right, bottom = case.dump(program).rect()
        path = os.path.join(self.out, f"{name}.png")
        margin = MARGIN * self.dpi // DPI
        self.shots.append(harness.screenshot(case.state, path,
                                             (left - margin, top - margin, right + margin, bottom + margin)))

    def press(self, case, program, caption, shot=None):
        wait_for(case, program, f"{caption!r} enabled", lambda s: s.enabled(IDOK) and s.text(IDOK) == caption)
        if shot:
            self.shot(case, program, shot)
        case.driver("click", program.prop, IDOK)

    def scaled(self, dpi):
        """Programs started from now on are laid out for dpi."""
        harness.set_dpi(harness.read_state(self.state), dpi)
        self.dpi = dpi

    def whole_update(self, lang, states=("1-ready", "2-confirmed", "3-updating", "4-finished")):
        """Shots of the given states, named <lang>[-<dpi>dpi]-<state>."""
        firmware, _, lines = UPDATE
        scaling = "" if self.dpi == DPI else f"-{self.dpi}dpi"
        with harness.Case(self.state, f"demo-update-{lang}{scaling}", lang=lang, arch=self.arch) as case:
            shot = lambda state: f"{lang}{scaling}-{state}" if state in states else None  # noqa: E731
            program = self.start(case, firmware, lines)
            self.press(case, program, text(lang, 3005), shot("1-ready"))
            self.press(case, program, text(lang, 3006), shot("2-confirmed"))
            wait_for(case, program, "the bar at half way", lambda s: percent(s) >= 50)
            if shot("3-updating"):
                self.shot(case, program, shot("3-updating"))
            wait_for(case, program, "the outcome", lambda s: s.text(MESSAGE) == text(lang, 2009)
                     and s.enabled(IDCANCEL) and s.text(IDCANCEL) == text(lang, 3007))
            if shot("4-finished"):
                self.shot(case, program, shot("4-finished"))
            case.driver("click", program.prop, IDCANCEL)

    def refused_chunk(self, lang):
        firmware, _, lines = REFUSED
        with harness.Case(self.state, f"demo-refused-{lang}", lang=lang, arch=self.arch) as case:
            program = self.start(case, firmware, lines)
            self.press(case, program, text(lang, 3005))
            self.press(case, program, text(lang, 3006))
            box = case.driver("wait-msgbox", 60000)
            if box.get("text") != text(lang, 2507):
                harness.fail(f"the refused chunk showed {box}")
            self.shot(case, program, f"{lang}-5-refused-box")
            case.message_boxes()
            wait_for(case, program, "the failure's guidance", lambda s: s.text(MESSAGE) == text(lang, 2010)
                     and s.enabled(IDCANCEL))
            self.shot(case, program, f"{lang}-6-refused")


def add_printers(state_path, arch):
    # The second check looks for the model's printer on the plotter's port.
    with harness.Case(state_path, "demo-printers", arch=arch) as case:
        for _, driver, _ in (UPDATE, REFUSED):
            case.driver("add-printer", f"{driver} demo", driver, "USB001")


def show(state_path, arch, lang):
    """The wizard on the user's display, ready for an update; the user
    clicks through it and closes it."""
    firmware, _, lines = UPDATE
    with harness.Case(state_path, f"demo-show-{lang}", lang=lang, arch=arch, timeout_s=24 * 3600) as case:
        program = case.install(firmware=(firmware,), firmware_size=SIZE, scenario=scenario(lines))
        proc = case.start(program)
        case.wait_wizard(program)
        print(f"the wizard is open on {case.state['display']}: click \"Next >\", \"Update\" and, "
              "when the update has finished, \"Close\"", flush=True)
        proc.wait()


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--show", action="store_true", help="open the wizard on $DISPLAY and wait for it to close")
    p.add_argument("--lang", choices=("en", "ja"), default="en", help="the wizard's language with --show")
    args = p.parse_args()
    out = os.path.join(ROOT, "build", "demo")
    state = os.path.join(out, "session.json")
    builds = os.path.join(ROOT, "build")
    harness.setup(state, os.path.join(builds, "win32"), os.path.join(builds, "win64"),
                  os.path.join(out, "work"), out, screen=SCREEN)
    demo = None
    try:
        st = harness.read_state(state)
        arch = harness.build_run(st, harness.SHIPPED)
        print("demo:", harness.describe_runner(st["i686_runner"]))
        print(f"demo: showing {os.path.join(st['builds'][arch], harness.PROGRAM)} ({arch}) "
              f"under {harness.LOADERS[arch]}", flush=True)
        display = os.environ.get("DISPLAY")
        if args.show and display:
            st["display"] = display
            harness.write_state(state, st)
        add_printers(state, arch)
        harness.map_dialog_font(st)
        harness.install_caption_font(st)
        if args.show and display:
            show(state, arch, args.lang)
            return 0
        demo = Demo(state, arch, out)
        for lang in ("en", "ja"):
            demo.whole_update(lang)
            demo.refused_chunk(lang)
        demo.scaled(144)
        for lang in ("en", "ja"):
            demo.whole_update(lang, states=("1-ready", "3-updating"))
    except harness.HarnessError as e:
        print(f"demo: FAIL: {e}")
        return 1
    finally:
        harness.cleanup(state)
    for s in demo.shots:
        print("screenshot:", s)
    return 0


if __name__ == "__main__":
    sys.exit(main())

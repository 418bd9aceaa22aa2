"""End-to-end cases of start-up: the opened wizard in both languages, how
it closes, a second start of the same program, and a copy under another
name. Run by ctest, one test per case and build:
test_startup.py --state FILE --arch i686|x86_64 CASE."""

import functools
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Case, Ctl, expect_controls, fail, run_cases  # noqa: E402
from strings import text  # noqa: E402

IDOK, IDCANCEL = 1, 2
VK_ESCAPE, VK_RETURN = 0x1B, 0x0D

TITLE = "Firmware Update Ver.2.30"  # English in both languages

# No message box is expected from the first check; the time a box gets to
# appear, and the check to end, before the wizard is read.
SETTLE_MS = 1500


def opened_controls(lang):
    """The controls once the wizard has opened and its first check has run
    against the default plotter (KM500 at 1.00, firmware 3.00): the model's
    update-mode instructions and "Next >". Cases that go on from here copy
    this and change what their step changes."""
    return {
        IDOK: Ctl(text(lang, 3005), visible=True, enabled=True),
        IDCANCEL: Ctl(text(lang, 3009), visible=True, enabled=True),
        1501: Ctl(text(lang, 3001) + "Tarvonic KM500", visible=True),
        1502: Ctl(visible=False),
        1503: Ctl(text(lang, 3003), visible=True),
        1504: Ctl("1.00", visible=True),
        1505: Ctl(text(lang, 3004), visible=True),
        1506: Ctl("3.00", visible=True),
        1507: Ctl(text(lang, 2004), visible=True),
        1508: Ctl(visible=False),
        1509: Ctl(visible=False),
    }


def expect_wizard_window(snap):
    problems = []
    if snap["title"] != TITLE:
        problems.append(f"title {snap['title']!r}")
    if snap["prop"] != "1":
        problems.append(f"window property value {snap['prop']}")
    if not snap.flag("topmost"):
        problems.append("not topmost")
    if snap["owner"] != "0x0":
        problems.append(f"owned by {snap['owner']}")
    if (snap.number("progress.low"), snap.number("progress.high")) != (1, 2000):
        problems.append(f"progress range {snap['progress.low']}..{snap['progress.high']}")
    if snap.number("focus") != IDCANCEL:
        problems.append(f"focus on control {snap['focus']}, not on Cancel")
    # Centred on the work area, to the pixel that integer halving allows.
    left, top, right, bottom = snap.rect()
    wl, wt, wr, wb = snap.rect("workarea")
    if abs((left + right) - (wl + wr)) > 1 or abs((top + bottom) - (wt + wb)) > 1:
        problems.append(f"at {snap['rect']}, not centred in {snap['workarea']}")
    if problems:
        fail("the wizard window is wrong: " + "; ".join(problems))


def opened(lang, state, name):
    with Case(state, name, lang) as case:
        program = case.install()
        case.start(program)
        case.wait_wizard(program)
        boxes = case.message_boxes(wait_ms=SETTLE_MS)
        snap = case.dump(program)
        case.screenshot(f"opened-{lang}.png")
        if boxes:
            fail(f"unexpected message boxes: {boxes}")
        expect_wizard_window(snap)
        expect_controls(snap, opened_controls(lang))


# Each way the user can end the wizard; all of them end the program.
CLOSE_WAYS = {
    "cancel_button": ("click", IDCANCEL),
    "escape_key": ("key", VK_ESCAPE),
    "close_command": ("close", "sysclose", 5000),
}


def closes(way, state, name):
    with Case(state, name) as case:
        program = case.install()
        proc = case.start(program)
        case.wait_wizard(program)
        command, *args = CLOSE_WAYS[way]
        case.driver(command, program.prop, *args)
        case.wait_exit(proc)
        if case.count_wizards(program):
            fail("the wizard outlived its process")


# How the first copy's wizard is out of sight when the second copy starts.
def behind_other_window(case, program):
    return case.driver_background("other-window", 60000)


def minimised(case, program):
    case.driver("minimize", program.prop)  # fails unless the wizard is then minimised
    # A minimised window may keep the foreground; take it away as well.
    return behind_other_window(case, program)


def second_start(hide, state, name):
    with Case(state, name) as case:
        program = case.install()
        first = case.start(program)
        wizard = case.wait_wizard(program)["hwnd"]
        hide(case, program)
        if case.driver("foreground", program.prop)["is_wizard"] == "1":
            fail("could not take the foreground away from the wizard: the case would prove nothing")

        second = case.start(program)
        case.wait_exit(second)
        boxes = case.message_boxes()
        if boxes:
            fail(f"the second start showed {boxes}")

        if first.poll() is not None:
            fail("the first copy ended")
        snap = case.dump(program)
        problems = []
        if case.count_wizards(program) != 1:
            problems.append(f"{case.count_wizards(program)} wizards are up")
        if snap["hwnd"] != wizard:
            problems.append(f"the wizard is {snap['hwnd']}, not the first copy's {wizard}")
        if not snap.flag("foreground"):
            problems.append(f"foreground is {case.driver('foreground')}")
        if snap.flag("iconic"):
            problems.append("still minimised")
        if problems:
            fail("after the second start: " + "; ".join(problems))


def second_start_over_box(state, name):
    """The first copy shows a message box (no firmware file beside it) and
    another window is in front: a second start brings the box, not the
    disabled wizard, to the foreground, where the keyboard closes it."""
    with Case(state, name) as case:
        program = case.install(firmware=())
        case.start(program)
        case.wait_wizard(program)
        box = case.driver("wait-msgbox", 20000)
        case.driver_background("other-window", 60000)
        if case.driver("foreground")["hwnd"] == box["hwnd"]:
            fail("could not take the foreground away from the box: the case would prove nothing")

        second = case.start(program)
        case.wait_exit(second)
        front = case.driver("foreground")
        if front["hwnd"] != box["hwnd"]:
            fail(f"after the second start the foreground is {front}, not the box {box['hwnd']}")
        case.driver("key", "-", VK_RETURN)
        deadline = time.monotonic() + 5  # the key goes through the box's queue
        while case.driver("msgbox")["count"] != "0":
            if time.monotonic() > deadline:
                fail("Enter did not close the box in front")
            time.sleep(0.2)


def other_name(state, name):
    with Case(state, name) as case:
        first = case.install("UPDATE.EXE", folder="app")
        renamed = case.install("UPDATE2.EXE", folder="app2")
        procs = [case.start(first)]
        case.wait_wizard(first)
        procs.append(case.start(renamed))
        case.wait_wizard(renamed)
        counts = {p.prop: case.count_wizards(p) for p in (first, renamed)}
        if counts != {"UPDATE": 1, "UPDATE2": 1}:
            fail(f"wizards up: {counts}")
        ended = [p.program.exe for p in procs if p.poll() is not None]
        if ended:
            fail(f"ended: {ended}")
        expect_wizard_window(case.dump(renamed))


CASES = {
    "opened_english": functools.partial(opened, "en"),
    "opened_japanese": functools.partial(opened, "ja"),
    **{f"closes_by_{way}": functools.partial(closes, way) for way in CLOSE_WAYS},
    "second_start_raises_covered_wizard": functools.partial(second_start, behind_other_window),
    "second_start_restores_minimised_wizard": functools.partial(second_start, minimised),
    "second_start_raises_its_message_box": second_start_over_box,
    "other_name_runs_beside": other_name,
}

# Every case runs the i686 build that ships; these run its x86_64 twin too.
ALSO_ON_X86_64 = ("opened_english",)

if __name__ == "__main__":
    sys.exit(run_cases(CASES, ALSO_ON_X86_64))

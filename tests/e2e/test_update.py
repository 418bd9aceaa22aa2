"""End-to-end cases of the whole update: "Next >", "Update", the firmware on
the wire through the link library and as a RAW job through Wine's spooler,
the outcome on screen, and the wizard held shut while the firmware is
written. Run by ctest, one test per case: test_update.py --state FILE CASE."""

import functools
import os
import re
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Case, Ctl, expect_controls, fail, firmware_bytes, read_bytes, run_cases, winpath  # noqa: E402
from strings import text  # noqa: E402

IDOK, IDCANCEL = 1, 2
PERCENT, PROGRESS, MESSAGE, CURRENT = 1508, 1509, 1507, 1504
VK_RETURN, VK_ESCAPE = 0x0D, 0x1B
POLL_S = 0.3
PLANTED_WINSPOOL = os.path.join("tests", "e2e", "planted", "WINSPOOL.DRV")


def scenario(*lines):
    # The simulator's log and received bytes go beside the scenario.
    return "\n".join(("log = sim.log", "received = received.bin") + lines) + "\n"


def plotter_printer(case, driver, port="USB001"):
    """The model's Windows printer on the plotter's port, which the second
    check confirms (the simulated plotter's port is USB001)."""
    case.driver("add-printer", f"{driver} {case.name} {case.arch}", driver, port)


def wait_for(case, program, what, predicate, timeout_s=30):
    """Reads the wizard until predicate holds; fails on a message box."""
    deadline = time.monotonic() + timeout_s
    while True:
        snap = case.dump(program)
        if predicate(snap):
            return snap
        box = case.driver("msgbox", check=False)
        if box.get("count", "0") != "0":
            fail(f"waiting for {what}, a message box came: {box.get('text')!r}")
        if time.monotonic() > deadline:
            fail(f"no {what} within {timeout_s} s; the wizard reads:\n{snap}")
        time.sleep(POLL_S)


def press_start(case, program, caption, shot=None):
    wait_for(case, program, f"{caption!r} enabled",
             lambda s: s.enabled(IDOK) and s.text(IDOK) == caption)
    if shot:
        case.screenshot(shot)
    case.driver("click", program.prop, IDOK)


def run_to_update(case, program, lang, shots=None):
    """Through both checks to the transfer's start."""
    press_start(case, program, text(lang, 3005), shots and f"{shots}-ready.png")
    press_start(case, program, text(lang, 3006), shots and f"{shots}-confirmed.png")


def wait_end(case, program, timeout_s):
    """Waits for the transfer's outcome; returns the message boxes answered
    on the way and the wizard as it then reads."""
    deadline = time.monotonic() + timeout_s
    boxes = []
    while True:
        boxes += case.message_boxes()
        snap = case.dump(program)
        if not snap.visible(PERCENT) and snap.text(IDCANCEL) == text(case.lang, 3007):
            return boxes, snap
        if time.monotonic() > deadline:
            fail(f"the update did not end within {timeout_s} s; the wizard reads:\n{snap}")
        time.sleep(POLL_S)


def ended_controls(lang, guidance):
    """Every ended update: only Close, reading "Close"; no progress shown."""
    return {
        IDOK: Ctl(visible=True, enabled=False),
        IDCANCEL: Ctl(text(lang, 3007), visible=True, enabled=True),
        MESSAGE: Ctl(text(lang, guidance)),
        CURRENT: Ctl("*.**"),
        PERCENT: Ctl(visible=False),
        PROGRESS: Ctl(visible=False),
    }


def expect_bytes(got, want, where):
    if got != want:
        first = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        fail(f"{where}: {len(got)} bytes arrived for a file of {len(want)}; first difference at byte {first}")


def session_may_end(case, program):
    """The wizard's answer when Windows asks before a log-off."""
    return int(case.driver("query-end-session", program.prop)["answer"])


FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')


def data_writes(case):
    """The simulator's firmware writes, as dicts of their log fields."""
    writes = []
    for line in read_bytes(os.path.join(case.dir, "sim.log")).decode("utf-8", "replace").splitlines():
        if line.startswith("ZEPL_Write ") and " kind=data " in line:
            writes.append({k: v.strip('"') for k, v in FIELD.findall(line)})
    return writes


def plant_winspool(case, program):
    """Puts a stand-in WINSPOOL.DRV beside the program, as one could lie in
    a download folder. Once loaded it writes the file returned, naming the
    process, and serves every caller in it, Wine's print processor too, by
    forwarding to the system's spooler DLL."""
    planted = os.path.join(program.folder, "WINSPOOL.DRV")
    shutil.copyfile(os.path.join(case.build, PLANTED_WINSPOOL), planted)
    return planted + ".loaded"


# --- cases ------------------------------------------------------------------

def whole_update(lang, state, name):
    """A status-reply model through the link library."""
    size = 300 * 1024
    with Case(state, name, lang) as case:
        plotter_printer(case, "Tarvonic KM600")
        program = case.install(firmware=("KM600_V300.x",), firmware_size=size, scenario=scenario(
            "progress_busy_count = 5", "progress_reply = \"0\\x03\"", "data_delay_ms = 10"))
        case.start(program)
        case.wait_wizard(program)
        shots = f"update-{case.arch}-{lang}"
        run_to_update(case, program, lang, shots)
        wait_for(case, program, "the transfer under way",
                 lambda s: s.visible(PERCENT) and s.text(PERCENT) not in ("0 %", None))
        case.screenshot(f"{shots}-updating.png")
        boxes, snap = wait_end(case, program, 90)
        case.screenshot(f"{shots}-finished.png")
        if boxes:
            fail(f"a successful update showed {boxes}")
        expect_controls(snap, ended_controls(lang, 2009))
        expect_bytes(read_bytes(os.path.join(case.dir, "received.bin")), firmware_bytes(size), "link library")
        if len(data_writes(case)) != size // 1024:
            fail(f"{len(data_writes(case))} firmware writes for {size // 1024} chunks")


def spooler_route(state, name):
    """A KM500 at 4.10 takes 4.50 as a RAW job on its Windows printer, then
    the wizard waits the plotter's two minutes; a WINSPOOL.DRV planted in
    the program's folder is never loaded."""
    size = 20 * 1024 + 300
    with Case(state, name, timeout_s=190) as case:
        port = os.path.join(case.dir, "port.bin")
        plotter_printer(case, "Tarvonic KM500", winpath(port))
        program = case.install(firmware=("KM500_V450.x",), firmware_size=size, scenario=scenario(
            "version_reply = \"V4.10\\x03\"", f"port = \"{winpath(port)}\"".replace("\\", "\\\\")))
        marker = plant_winspool(case, program)
        # Wine, told to prefer a WINSPOOL.DRV of the program's folder, takes
        # the planted one if the program asks for the spooler by name.
        case.start(program, env={"WINEDLLOVERRIDES": "winspool.drv=n,b"})
        case.wait_wizard(program)
        run_to_update(case, program, "en")
        waiting = wait_for(case, program, "the completion wait",
                           lambda s: s.visible(PERCENT) and s.text(PERCENT) not in ("0 %", None))
        case.screenshot("spooler-waiting.png")
        expect_controls(waiting, {MESSAGE: Ctl(text("en", 2008)), IDCANCEL: Ctl(enabled=False),
                                  IDOK: Ctl(enabled=False)})
        boxes, snap = wait_end(case, program, 160)
        case.screenshot("spooler-finished.png")
        if boxes:
            fail(f"a successful update showed {boxes}")
        expect_controls(snap, ended_controls("en", 2009))
        expect_bytes(read_bytes(port), firmware_bytes(size), "the RAW job's port file")
        if os.path.exists(marker):
            fail(f"the WINSPOOL.DRV beside the program was loaded: {read_bytes(marker)!r}")
        if data_writes(case):
            fail("firmware went to the link library on the spooler route")


def refused_chunk(state, name):
    with Case(state, name) as case:
        plotter_printer(case, "Tarvonic LX700")
        program = case.install(firmware=("LX700_V300.x",), firmware_size=10 * 1024,
                               scenario=scenario("fail_write = data.3:refused"))
        case.start(program)
        case.wait_wizard(program)
        run_to_update(case, program, "en")
        case.driver("wait-msgbox", 30000)
        case.screenshot("refused-chunk-box.png")
        boxes, snap = wait_end(case, program, 30)
        case.screenshot("refused-chunk.png")
        if [t for _, t in boxes] != [text("en", 2507)]:
            fail(f"boxes: {boxes}")
        if boxes[0][0] != text("en", 57344):
            fail(f"box caption {boxes[0][0]!r}")
        expect_controls(snap, ended_controls("en", 2010))


def held_shut(state, name):
    """Mid-transfer the wizard shows the update moving and can be neither
    closed nor started again; afterwards the transfer ends normally."""
    with Case(state, name) as case:
        plotter_printer(case, "Tarvonic KM600")
        program = case.install(firmware=("KM600_V300.x",), firmware_size=150 * 1024, scenario=scenario(
            "data_delay_ms = 60", "observe_window = yes", "log_data_bytes = no"))
        proc = case.start(program)
        case.wait_wizard(program)
        press_start(case, program, text("en", 3005))
        wait_for(case, program, "'Update'", lambda s: s.enabled(IDOK) and s.text(IDOK) == text("en", 3006))
        answers = [session_may_end(case, program)]  # before Update
        press_start(case, program, text("en", 3006))
        first = wait_for(case, program, "the transfer under way",
                         lambda s: s.visible(PERCENT) and s.text(PERCENT) not in ("0 %", None))
        expect_controls(first, {MESSAGE: Ctl(text("en", 2008)), IDCANCEL: Ctl(enabled=False),
                                IDOK: Ctl(enabled=False), PROGRESS: Ctl(visible=True)})
        case.driver("key", program.prop, VK_ESCAPE)
        case.driver("key", program.prop, VK_RETURN)
        if case.driver("close", program.prop, "sysclose", 1000, check=False)["rc"] != 2:
            fail("the window's Close command ended the wizard mid-transfer")
        if case.driver("close", program.prop, "cancel", 1000, check=False)["rc"] != 2:
            fail("a posted Cancel ended the wizard mid-transfer")
        answers.append(session_may_end(case, program))  # mid-transfer
        later = case.dump(program)
        case.screenshot("held-shut.png")
        if later.text(PERCENT) == first.text(PERCENT):
            fail(f"the percent text stood still at {first.text(PERCENT)!r}")
        boxes, snap = wait_end(case, program, 60)
        if boxes:
            fail(f"the update showed {boxes}")
        expect_controls(snap, ended_controls("en", 2009))
        if proc.poll() is not None:
            fail("the program ended")
        answers.append(session_may_end(case, program))  # after the end
        if answers != [1, 0, 1]:
            fail(f"may the session end, before Update, mid-transfer, after the end: {answers}")
        # Seen from inside the program, at every firmware write: the system
        # menu's Close greyed, both buttons off, the percent text moving.
        writes = data_writes(case)
        wrong = [w for w in writes if (w.get("menu_close"), w.get("close_button"), w.get("start_button"))
                 != ("grey", "off", "off")]
        if not writes or wrong:
            fail(f"{len(wrong)} of {len(writes)} writes saw the wizard closable or startable: {wrong[:2]}")
        if len({w.get("percent") for w in writes}) < 10:
            fail(f"percent texts seen during the writes: {sorted({w.get('percent') for w in writes})}")
        if len(writes) != 150:
            fail(f"{len(writes)} firmware writes, not 150: a second transfer, or a lost one")


# Checks that stop the wizard, and the library missing at Update: each
# shows its box, then its guidance, and leaves only the Close button, which
# reads "Close" only after the up-to-date outcome.
BLOCKED = {
    # name: (firmware, scenario lines, printer driver, presses, box, guidance, close caption, current)
    "no_firmware_file": ((), (), None, 0, 2502, 2001, 3009, 3010),
    "already_current": (("KM500_V300.x",), ("version_reply = \"V3.00\\x03\"",), None, 0, 2506, 2011, 3007, "3.00"),
    "wrong_generation": (("KM500_V520.x",), ("version_reply = \"V4.80\\x03\"",), None, 0, 2510, 2012, 3009,
                         "4.80"),
    "two_plotters": (("LX700_V300.x",), ("plotter_count = 2",), None, 0, 2504, 2002, 3009, 3010),
    # A port of its own: other cases leave printers on USB001 in the shared prefix.
    "no_printer_on_the_port": (("LX700_V300.x",), ("port = USB-NO-PRINTER",), None, 1, 2508, 2003, 3009, 3010),
    "library_refused_at_update": (("LX700_V300.x",), ("[load 3]", "init_result = 0"), "Tarvonic LX700", 2, 2501,
                                  2001, 3009, "1.00"),
}


def blocked(row, lang, state, name):
    firmware, lines, driver, presses, box, guidance, close, current = BLOCKED[row]
    with Case(state, name, lang) as case:
        if driver:
            plotter_printer(case, driver)
        program = case.install(firmware=firmware, scenario=scenario(*lines))
        case.start(program)
        case.wait_wizard(program)
        for caption in (3005, 3006)[:presses]:
            press_start(case, program, text(lang, caption))
        case.driver("wait-msgbox", 30000)
        case.screenshot(f"{row}-{lang}-box.png")
        boxes = case.message_boxes()
        if [t for _, t in boxes] != [text(lang, box)]:
            fail(f"boxes: {boxes}")
        snap = wait_for(case, program, "the guidance", lambda s: s.text(MESSAGE) == text(lang, guidance))
        case.screenshot(f"{row}-{lang}.png")
        expect_controls(snap, {
            IDOK: Ctl(enabled=False),
            IDCANCEL: Ctl(text(lang, close), enabled=True),
            CURRENT: Ctl(current if isinstance(current, str) else text(lang, current)),
            PERCENT: Ctl(visible=False),
            PROGRESS: Ctl(visible=False),
        })


CASES = {
    "whole_update_english": functools.partial(whole_update, "en"),
    "whole_update_japanese": functools.partial(whole_update, "ja"),
    "spooler_route": spooler_route,
    "refused_chunk": refused_chunk,
    "held_shut_while_writing": held_shut,
    **{f"blocked_{row}": functools.partial(blocked, row, "en") for row in BLOCKED},
    "blocked_already_current_japanese": functools.partial(blocked, "already_current", "ja"),
}

# Every case runs the i686 build that ships; these run its x86_64 twin too.
ALSO_ON_X86_64 = ("whole_update_english",)

if __name__ == "__main__":
    sys.exit(run_cases(CASES, ALSO_ON_X86_64))

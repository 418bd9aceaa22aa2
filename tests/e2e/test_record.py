"""End to end: the record a run leaves in the Wine prefix's local application
data. The program that ships refuses a chunk (the plotter refuses the third
firmware write); the record then names that chunk and the library's return
value, the outcome the user saw, the firmware by its name and hash, and no
folder of this machine. Run by ctest: test_record.py --state FILE CASE."""

import glob
import hashlib
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Case, fail, firmware_bytes, log, run_cases, winpath  # noqa: E402
from test_fault import IDCANCEL, IDOK, NEXT, UPDATE, failed, printer_name, wait_button, wait_outcome  # noqa: E402

FIRMWARE = "KM600_V300.x"


def record_lines(case, program, pid):
    """This process's lines of the program's record in the prefix."""
    name = program.prop
    found = glob.glob(os.path.join(case.state["prefix"], "drive_c", "users", "*", "AppData", "Local", name,
                                   f"{name}.log"))
    if len(found) != 1:
        fail(f"expected one record {name}.log in the prefix's local application data, found {found}")
    with open(found[0], "rb") as f:
        text = f.read().decode("utf-8")  # the record is UTF-8, or this fails
    mine = [line for line in text.split("\r\n") if f" [{pid}] " in line]
    if not mine:
        fail(f"no line of process {pid} in {found[0]}")
    return mine


def refused_chunk(state, name):
    with Case(state, name) as case:
        case.driver("add-printer", printer_name(case), "Tarvonic KM600", "USB001")
        program = case.install(firmware=(FIRMWARE,), scenario="log = sim.log\nreceived = received.bin\n"
                                                               "fail_write = data.3:refused\n")
        proc = case.start(program)
        pid = case.wait_wizard(program)["pid"]
        wait_button(case, program, NEXT)
        case.driver("click", program.prop, IDOK)
        wait_button(case, program, UPDATE)
        case.driver("click", program.prop, IDOK)
        wait_outcome(case, program, "update", failed(2507), case.timeout_s - 20)
        case.driver("click", program.prop, IDCANCEL)
        case.wait_exit(proc)

        lines = record_lines(case, program, pid)
        text = "\n".join(lines)
        log("the record of this run:\n" + text)
        bits = "64" if case.arch == "x86_64" else "32"
        wanted = [
            f"start: {program.prop} 2.30.0.0, Commit ",
            f", {bits}-bit program",
            f'check 1: firmware file "{FIRMWARE}", 5000 bytes, version 3.00',
            "check 1: firmware sha256 " + hashlib.sha256(firmware_bytes()).hexdigest(),
            'update: route: link library, port "USB001"',
            "the first failed write: chunk 3, ZEPL_Write 1 (failed), 0 of 1024 bytes taken",
            "update: transfer: 4 (update failed)",
            "update: box 2507 ",
            "update: guidance 2010",
            f"[{pid}] end",
        ]
        missing = [w for w in wanted if not any(w in line for line in lines)]
        if missing:
            fail(f"the record lacks {missing}")
        for folder in (winpath(program.folder), case.dir):
            if folder.lower() in text.lower():
                fail(f"the record names the folder {folder}")


CASES = {"refused_chunk": refused_chunk}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))

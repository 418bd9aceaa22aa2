"""Byte-for-byte proof of the firmware transfer, end to end under Wine: on
each route and for each kind of model the route serves, the bytes that
arrive equal the file, for sizes around the 1024-byte piece, a big file and
one of random content, and the file goes out in exactly one write per piece.

- link library, a model with status replies (KM600): one run per size;
- link library, a model without (LX700), and the spooler route (a KM500 at
  4.10 taking 4.50 as a RAW job): every success ends in the plotter's
  two-minute completion wait, so the sizes run side by side, each in a copy
  of the program under its own name (UPDATE1.EXE ...; only copies of one
  name keep each other out), with its own plotter, printer and port file.

On the link route the simulator counts the writes; on the spooler route
Wine's own trace of WritePrinter does.

Run by ctest, one test per case: test_bytes.py --state FILE CASE."""

import functools
import os
import random
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import Case, fail, log, read_bytes, run_cases, winpath  # noqa: E402
from strings import text  # noqa: E402

IDOK, IDCANCEL = 1, 2
MESSAGE = 1507
NEXT, UPDATE, CLOSE = 3005, 3006, 3007
FINISHED = 2009
CHUNK = 1024
POLL_S = 0.5

SIZES = {"1": 1, "1023": 1023, "1024": 1024, "1025": 1025, "2048": 2048, "1000000": 1000000, "random": None}


def content(size_name):
    """The file for a size: a pattern that differs from piece to piece, or
    random bytes of a random length, whose seed the log shows."""
    size = SIZES[size_name]
    if size is None:
        seed = int.from_bytes(os.urandom(4), "little")
        rng = random.Random(seed)
        size = rng.randrange(CHUNK, 300 * CHUNK)
        log(f"random file: seed {seed}, {size} bytes")
        return rng.randbytes(size)
    return bytes((i * 13 + i // CHUNK * 7 + 1) & 0xFF for i in range(size))


class Copy:
    """One copy of the program with its own file, plotter and outputs."""

    def __init__(self, case, n, size_name, model, lines=(), printer_port="USB001"):
        self.size_name, self.data = size_name, content(size_name)
        self.log = os.path.join(case.dir, f"p{n}.log")
        self.received = os.path.join(case.dir, f"p{n}.bin")
        scenario = (f"log = p{n}.log", f"received = p{n}.bin", "log_data_bytes = no") + tuple(lines)
        self.program = case.install(exe=f"UPDATE{n}.EXE", folder=f"p{n}", firmware=(model,),
                                    scenario="\n".join(scenario) + "\n")
        with open(os.path.join(self.program.folder, model), "wb") as f:
            f.write(self.data)
        driver = "Tarvonic " + model.split("_")[0]
        case.driver("add-printer", f"bytes {case.name} {case.arch} {n}", driver, printer_port)
        self.proc = None


def wait_caption(case, program, caption, timeout_s=30):
    deadline = time.monotonic() + timeout_s
    while True:
        snap = case.dump(program)
        if snap.enabled(IDOK) and snap.text(IDOK) == text(case.lang, caption):
            return
        if case.message_boxes() or time.monotonic() > deadline:
            fail(f"{program.exe}: no {text(case.lang, caption)!r} to press; the wizard reads:\n{snap}")
        time.sleep(POLL_S)


def run_all(case, copies, timeout_s, handed_over=None, **env):
    """Starts every copy and takes it to Update, then waits for all of them
    to show the finished update, with no message box on the way. With
    `handed_over`, each copy's Update waits until the copy before it has
    handed its firmware over (handed_over(copy) is true): the waits after
    that still run side by side."""
    for c in copies:
        c.proc = case.start(c.program, **env)
        case.wait_wizard(c.program)
    for caption in (NEXT, UPDATE):
        for c in copies:
            wait_caption(case, c.program, caption)
            case.driver("click", c.program.prop, IDOK)
            deadline = time.monotonic() + 60
            while caption == UPDATE and handed_over and not handed_over(c):
                if case.message_boxes() or time.monotonic() > deadline:
                    fail(f"{c.program.exe} ({c.size_name} bytes) did not hand its firmware over")
                time.sleep(POLL_S)
    deadline = time.monotonic() + timeout_s
    waiting = list(copies)
    while waiting:
        boxes = case.message_boxes()
        if boxes:
            fail(f"a message box came: {boxes}")
        for c in list(waiting):
            snap = case.dump(c.program)
            if snap.enabled(IDCANCEL) and snap.text(IDCANCEL) == text(case.lang, CLOSE):
                if snap.text(MESSAGE) != text(case.lang, FINISHED):
                    fail(f"{c.program.exe} ({c.size_name} bytes) ended without success: {snap.text(MESSAGE)!r}")
                waiting.remove(c)
        if waiting and time.monotonic() > deadline:
            fail(f"still running after {timeout_s} s: {[c.program.exe for c in waiting]}")
        time.sleep(POLL_S)
    for c in copies:
        case.driver("click", c.program.prop, IDCANCEL)
        case.wait_exit(c.proc)


def difference(got, want):
    """None when equal, else what differs."""
    if got == want:
        return None
    first = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    return f"{len(got)} bytes arrived for a file of {len(want)}, first difference at byte {first}"


def pieces(data):
    return [len(data[i:i + CHUNK]) for i in range(0, len(data), CHUNK)]


def link_writes(path):
    """The sizes of the simulator's data writes."""
    return [int(m.group(1)) for m in re.finditer(r"^ZEPL_Write .*?count=(\d+) .*?kind=data ", read_bytes(path).decode(),
                                                 re.M)]


SPOOL_TRACE = re.compile(r'trace:winspool:(?:StartDocPrinterW \((\w+), 1, \w+ \{L"[^"]*", (\(null\)|L")'
                         r"|WritePrinter \((\w+), \w+, (\d+), )")


def spooler_writes(path):
    """The sizes of the program's own WritePrinter calls, from Wine's trace:
    those on the handle of the job the program started (Wine's spooler then
    copies the job to the port through a job of its own, with an output file)."""
    ours, sizes = None, []
    for m in SPOOL_TRACE.finditer(read_bytes(path).decode("utf-8", "replace")):
        started, output, written, count = m.groups()
        if started and output == "(null)" and ours is None:
            ours = started
        elif written and written == ours:
            sizes.append(int(count))
    return sizes


def expect_all(copies, arrived, writes):
    problems = []
    for c in copies:
        why = difference(read_bytes(arrived(c)), c.data)
        if why:
            problems.append(f"{c.size_name}: {why}")
        sizes = writes(c)
        if sizes != pieces(c.data):
            problems.append(f"{c.size_name}: {len(sizes)} writes for {len(pieces(c.data))} pieces "
                            f"(sizes {sizes[:3]}...{sizes[-2:]})")
    if problems:
        fail("bytes on the wire:\n  " + "\n  ".join(problems))


# --- cases ------------------------------------------------------------------

def link_status(size_name, state, name):
    with Case(state, name) as case:
        copy = Copy(case, 1, size_name, "KM600_V300.x")
        run_all(case, [copy], 90)
        expect_all([copy], lambda c: c.received, lambda c: link_writes(c.log))


def link_plain(state, name):
    with Case(state, name, timeout_s=260) as case:
        copies = [Copy(case, n, size, "LX700_V300.x") for n, size in enumerate(SIZES, 1)]
        run_all(case, copies, 200)
        expect_all(copies, lambda c: c.received, lambda c: link_writes(c.log))


def spooler(state, name):
    with Case(state, name, timeout_s=260) as case:
        copies = []
        for n, size in enumerate(SIZES, 1):
            port = winpath(os.path.join(case.dir, f"port{n}.bin"))
            copies.append(Copy(case, n, size, "KM500_V450.x", printer_port=port, lines=(
                'version_reply = "V4.10\\x03"', 'port = "%s"' % port.replace("\\", "\\\\"))))
        port_file = lambda c: os.path.join(case.dir, f"port{copies.index(c) + 1}.bin")  # noqa: E731
        # One print job at a time: Wine's spooler, slowed by emulation, now
        # and then fails a job started while another process starts one.
        run_all(case, copies, 200, handed_over=lambda c: len(read_bytes(port_file(c))) == len(c.data),
                WINEDEBUG="-all,trace+winspool")
        expect_all(copies, port_file,
                   lambda c: spooler_writes(c.proc.log_path))
        for c in copies:
            if link_writes(c.log):
                fail(f"{c.size_name}: firmware went to the link library on the spooler route")


CASES = {
    **{f"link_KM600_{size}": functools.partial(link_status, size) for size in SIZES},
    "link_LX700_all_sizes": link_plain,
    "spooler_KM500_all_sizes": spooler,
}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))

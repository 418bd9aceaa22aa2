"""The fault matrix: one injected fault per row, each run end to end under
Wine against the program that ships, its simulator and Wine's spooler. A
row names the fault, the step it strikes (the first check on opening, the
second check behind "Next >", or "Update"), what the wizard must show and
the traffic the plotter must see in the library load the fault strikes.

Every row also checks: no success is shown for a failure, every channel the
program opened is closed again, the link library is released (or, where the
check step keeps a library it could not use, still held until the dialog
goes), Close is enabled, the program answers and ends by its Close button,
and the row ends within its time bound.

Traffic is the simulator's log of that load, one word per call: init (=R
when not 1), count, desc, open.w / open.r, w.<command> and data writes,
r.<answer>, close.w / close.r; "!" marks a call the scenario spoiled, and
a run of the same word is written word*N.

Run by ctest, one test per row: test_fault.py --state FILE ROW."""

import collections
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from harness import (FIRMWARE_SIZE, Case, Ctl, expect_controls, fail, firmware_bytes, read_bytes, run_cases,  # noqa: E402
                     winpath)
from strings import text  # noqa: E402

IDOK, IDCANCEL = 1, 2
MESSAGE, PERCENT, PROGRESS = 1507, 1508, 1509
NEXT, UPDATE, CLOSE, CANCEL = 3005, 3006, 3007, 3009
FINISHED, FAILED, UPDATING = 2009, 2010, 2008
# Guidance that ends a step: what a row waits for. The update-mode texts end
# only the first check; they still show while the second one starts.
FINAL_GUIDANCE = (2001, 2002, 2003, 2009, 2010, 2011, 2012)
MODE_GUIDANCE = (2004, 2005, 2006)
# Any box that reports a failed update; for rows whose code the wizard does not define yet.
ANY_FAILURE = "any failure box"
FAILURE_BOXES = (2503, 2504, 2505, 2507, 2508, 2509)

CHUNKS = -(-FIRMWARE_SIZE // 1024)  # the default firmware goes out in 5 pieces
ALL = "all"


class Outcome(collections.namedtuple("Outcome", "box guidance close start")):
    """What the wizard shows once the step has ended: the box (a string id,
    None, or ANY_FAILURE), the guidance, the Close button's caption and the
    Start button's caption when it is enabled (None: disabled)."""


def blocked(box, guidance=2003):
    """A check that stops the wizard: Start off, Close reads "Cancel"."""
    return Outcome(box, guidance, CANCEL, None)


def failed(box):
    """A transfer that failed: only Close, reading "Close"."""
    return Outcome(box, FAILED, CLOSE, None)


FINISHED_OK = Outcome(None, FINISHED, CLOSE, None)


def ready(guidance):
    """The first check passed despite the fault: "Next >" is offered."""
    return Outcome(None, guidance, CANCEL, NEXT)


Row = collections.namedtuple("Row", "fault stage model lines outcome traffic arrived library setup")


def row(fault, stage, model, lines, outcome, traffic, arrived=0, library="released", setup=None):
    return Row(fault, stage, model, tuple(lines), outcome, traffic, arrived, library, setup)


# Models: KM600 answers status queries; LX700 does not and takes its
# firmware by the library; a KM500 at 4.10 takes 4.50 through the spooler.
STATUS, PLAIN, SPOOLER = "KM600_V300.x", "LX700_V300.x", "KM500_V450.x"
AT_410 = 'version_reply = "V4.10\\x03"'

# Traffic of the first check up to its queries, of the transfer of a
# status-reply model up to its first data write, and their ends.
QUERY = "init count desc open.w open.r"
QUERY_END = "close.w close.r"
CHECKED = f"{QUERY} w.status r.status w.version r.version {QUERY_END}"
PREPARE = "init open.w open.r w.status r.status w.version r.version w.update r.progress"
SENT = f"{PREPARE} data*{CHUNKS}"
TRANSFER_END = "close.r close.w"
DONE = f"{SENT} r.progress {TRANSFER_END}"

# name: row(fault, where it strikes, model, scenario lines, outcome, traffic of that load, ...)
# `arrived` is how many of the file's bytes reached the plotter (ALL: the whole file).
ROWS = {
    # The link library
    "library_missing": row("no ZEPLPRNP.DLL beside the program", "check1", STATUS, (), blocked(2501, 2001), "",
                           setup="no_library"),
    **{f"library_lacks_{entry}": row(f"the library lacks {entry}", "check1", STATUS, (), blocked(2501, 2001), "",
                                     library="held", setup=f"ZEPLPRNP_without_{entry}.DLL")
       for entry in ("ZEPL_InitDll", "ZEPL_EntryUsbCheck", "ZEPL_OpenUsbEx", "ZEPL_Write", "ZEPL_Read",
                     "ZEPL_Close")},
    "init_refused_at_first_check": row("ZEPL_InitDll answers 0", "check1", STATUS, ("init_result = 0",),
                                       blocked(2501, 2001), "init=0", library="held"),
    "init_refused_at_second_check": row("ZEPL_InitDll answers 0", "check2", STATUS, ("[load 2]", "init_result = 0"),
                                        blocked(2501, 2001), "init=0", library="held"),
    "init_refused_at_update": row("ZEPL_InitDll answers 0", "update", STATUS, ("[load 3]", "init_result = 0"),
                                  blocked(2501, 2001), "init=0"),
    # Plotters attached
    "no_plotter": row("no plotter attached: count 0, no channel opens", "check1", STATUS, ("plotter_count = 0",),
                      blocked(2505), f"{QUERY.replace('open.w open.r', 'open.w! open.r!')}"),
    "two_plotters": row("two plotters of the model attached", "check1", STATUS, ("plotter_count = 2",),
                        blocked(2504, 2002), "init count"),
    # The check's channels and commands
    "check_write_channel_fails": row("the write channel does not open", "check1", STATUS, ("open_write = fail",),
                                     blocked(2505), "init count desc open.w! open.r close.r"),
    "check_read_channel_fails": row("the read channel does not open", "check1", STATUS, ("open_read = fail",),
                                    blocked(2505), "init count desc open.w open.r! close.w"),
    "check_status_write_refused": row("status query refused", "check1", STATUS, ("fail_write = status:refused",),
                                      blocked(2508), f"{QUERY} w.status! {QUERY_END}"),
    "check_version_write_times_out": row("version query times out", "check1", STATUS,
                                         ("fail_write = version:timeout",), blocked(2508),
                                         f"{QUERY} w.status r.status w.version! {QUERY_END}"),
    # The check's replies
    **{f"check_status_read_{name}": row(f"status read: {what}", "check1", STATUS, (f"fail_read = status:{fault}",),
                                        blocked(2508), f"{QUERY} w.status r.status! {QUERY_END}")
       for name, fault, what in (("times_out", "timeout", "times out"), ("empty", "empty", "0 bytes"),
                                 ("without_etx", "no_etx", "reply without ETX"),
                                 ("etx_first", "etx_first", "ETX before the reply"),
                                 ("nul_before_etx", "nul_before_etx", "a NUL before the ETX"))},
    "check_status_read_fills_buffer": row("status read of exactly 256 bytes", "check1", STATUS,
                                          ("fail_read = status:full",), ready(2006),
                                          CHECKED.replace("r.status", "r.status!")),
    "check_version_read_times_out": row("version read times out", "check1", STATUS, ("fail_read = version:timeout",),
                                        blocked(2508), f"{QUERY} w.status r.status w.version r.version! {QUERY_END}"),
    "check_version_read_empty": row("version read of 0 bytes", "check1", STATUS, ("fail_read = version:empty",),
                                    blocked(2508), f"{QUERY} w.status r.status w.version r.version! {QUERY_END}"),
    "check_version_without_number": row("version reply without a number", "check1", STATUS,
                                        ('version_reply = "Vx.yz\\x03"',), blocked(2508), CHECKED),
    "check_version_too_large": row("version reply too large for the program", "check1", STATUS,
                                   ('version_reply = "V30000000\\x03"',), blocked(2508), CHECKED),
    "check_version_read_fills_buffer": row("version read of exactly 256 bytes", "check1", STATUS,
                                           ("fail_read = version:full",), ready(2006),
                                           CHECKED.replace("r.version", "r.version!")),
    # The second check: the model's printer on the plotter's port
    "no_printer_on_the_port": row("no Windows printer on the plotter's port", "check2", STATUS,
                                  ("port = USBNONE",), blocked(2508), "init", setup="no_printer"),
    # The transfer's channels and commands
    "transfer_write_channel_fails": row("the send channel does not open", "update", STATUS,
                                        ("[load 3]", "open_write = fail"), failed(2505), "init open.w!"),
    "transfer_write_channel_fails_plain": row("the send channel does not open", "update", PLAIN,
                                              ("[load 3]", "open_write = fail"), failed(2505), "init open.w!"),
    "transfer_read_channel_fails": row("the reply channel does not open", "update", STATUS,
                                       ("[load 3]", "open_read = fail"), failed(2505), "init open.w open.r! close.w"),
    "prepare_status_write_refused": row("status query refused", "update", STATUS,
                                        ("[load 3]", "fail_write = status:refused"), failed(2508),
                                        f"init open.w open.r w.status! {TRANSFER_END}"),
    "prepare_version_write_refused": row("version query refused", "update", STATUS,
                                         ("[load 3]", "fail_write = version:refused"), failed(2508),
                                         f"init open.w open.r w.status r.status w.version! {TRANSFER_END}"),
    "prepare_update_request_refused": row("update request refused: the next read has no answer", "update", STATUS,
                                          ("[load 3]", "fail_write = update:refused"), failed(2508),
                                          f"{PREPARE.replace('w.update r.progress', 'w.update! r.none')} "
                                          f"{TRANSFER_END}"),
    # The prepare exchange's replies
    "prepare_status_read_times_out": row("status read times out", "update", STATUS,
                                         ("[load 3]", "fail_read = status:timeout"), failed(2508),
                                         f"init open.w open.r w.status r.status! {TRANSFER_END}"),
    "prepare_status_without_etx": row("status reply without ETX", "update", STATUS,
                                      ("[load 3]", "fail_read = status:no_etx"), failed(2508),
                                      f"init open.w open.r w.status r.status! {TRANSFER_END}"),
    "prepare_status_1_refused": row("status 1: not ready for an update", "update", STATUS,
                                    ("[load 3]", 'status_reply = "1\\x03"'), failed(2508),
                                    f"init open.w open.r w.status r.status {TRANSFER_END}"),
    "prepare_status_8_refused": row("status 8: not ready for an update", "update", STATUS,
                                    ("[load 3]", 'status_reply = "8\\x03"'), failed(2508),
                                    f"init open.w open.r w.status r.status {TRANSFER_END}"),
    "prepare_status_132_accepted": row("status 132 (bits 4 and 128 only) is ready", "update", STATUS,
                                       ("[load 3]", 'status_reply = "132\\x03"'), FINISHED_OK, DONE, ALL),
    "prepare_version_read_empty": row("version read of 0 bytes: only its success counts", "update", STATUS,
                                      ("[load 3]", "fail_read = version:empty"), FINISHED_OK,
                                      DONE.replace("r.version", "r.version!"), ALL),
    "prepare_version_read_times_out": row("version read times out", "update", STATUS,
                                          ("[load 3]", "fail_read = version:timeout"), failed(2508),
                                          f"init open.w open.r w.status r.status w.version r.version! "
                                          f"{TRANSFER_END}"),
    "prepare_progress_read_times_out": row("the first progress read times out", "update", STATUS,
                                           ("fail_read = progress.1:timeout",), failed(2508),
                                           f"{PREPARE}! {TRANSFER_END}"),
    # The polls after the last chunk
    "busy_to_every_poll": row("the plotter answers busy to every poll", "update", STATUS,
                              ("progress_busy_count = 1000",), failed(2509),
                              f"{SENT} r.progress*240 {TRANSFER_END}", ALL),
    "poll_answers_4": row("a poll answers 4", "update", STATUS,
                          ('progress_reply = "0\\x03"', 'progress_reply = "4\\x03"'), failed(2507), DONE, ALL),
    "poll_answers_5": row("a poll answers 5", "update", STATUS,
                          ('progress_reply = "0\\x03"', 'progress_reply = "5\\x03"'), failed(2507), DONE, ALL),
    "poll_answers_without_field": row("a poll answers garbage without ETX", "update", STATUS,
                                      ('progress_reply = "0\\x03"', 'progress_reply = "#?!"'), failed(2508),
                                      DONE, ALL),
    "poll_answers_garbage_field": row("a poll answers a field that is no number", "update", STATUS,
                                      ('progress_reply = "0\\x03"', 'progress_reply = "#?!\\x03"'),
                                      failed(ANY_FAILURE), DONE, ALL),
    "poll_times_out": row("the first poll after the data times out", "update", STATUS,
                          ("fail_read = progress.2:timeout",), failed(2508),
                          f"{SENT} r.progress! {TRANSFER_END}", ALL),
    # The spooler route
    "printer_removed_before_update": row("the printer is removed between Next and Update", "update", SPOOLER,
                                         (AT_410,), failed(2505), "init", setup="remove_printer"),
    "spool_folder_unusable": row("StartDocPrinter fails: the spooler's job folder is unusable", "update",
                                 SPOOLER, (AT_410,), failed(2505), "init", setup="block_spool_folder"),
    "port_cannot_be_written": row("the printer's port is in a folder that does not exist: Wine's "
                                  "EndDocPrinter fails", "update", SPOOLER, (AT_410,), failed(ANY_FAILURE), "init",
                                  setup="port_folder_missing"),
    # The firmware file between the check and Update
    "firmware_deleted": row("the firmware file deleted", "update", STATUS, (), failed(2503), "init",
                            setup="delete_firmware"),
    "firmware_held_exclusively": row("the firmware file held open by another program, no sharing", "update",
                                     STATUS, (), failed(2503), "init", setup="hold_firmware"),
    "firmware_replaced_by_folder": row("the firmware file replaced by a folder", "update", STATUS, (), failed(2503),
                                       "init", setup="firmware_folder"),
    "firmware_emptied": row("the firmware file emptied", "update", STATUS, (), failed(2507),
                            f"{PREPARE} r.progress {TRANSFER_END}", setup="empty_firmware"),
    # Chunks
    "first_chunk_refused": row("the first chunk refused", "update", STATUS, ("fail_write = data.1:refused",),
                               failed(2507), f"{PREPARE} data! r.progress {TRANSFER_END}"),
    "middle_chunk_refused": row("the third chunk refused", "update", STATUS, ("fail_write = data.3:refused",),
                                failed(2507), f"{PREPARE} data*2 data! r.progress {TRANSFER_END}", 2048),
    "last_chunk_refused": row("the last chunk refused", "update", STATUS, ("fail_write = data.5:refused",),
                              failed(2507), f"{PREPARE} data*4 data! r.progress {TRANSFER_END}", 4096),
    "first_chunk_refused_plain": row("the first chunk refused, no status replies: no completion wait", "update",
                                     PLAIN, ("fail_write = data.1:refused",), failed(2507), "init open.w data! close.w"),
    "last_chunk_refused_plain": row("the last chunk refused, no status replies: no completion wait", "update",
                                    PLAIN, ("fail_write = data.5:refused",), failed(2507),
                                    "init open.w data*4 data! close.w", 4096),
    "middle_chunk_times_out_plain": row("the third chunk times out, no status replies", "update", PLAIN,
                                        ("fail_write = data.3:timeout",), failed(2507),
                                        "init open.w data*2 data! close.w", 2048),
    "chunk_taken_in_part": row("a write succeeds with half the chunk taken: the rest is sent", "update", STATUS,
                               ("fail_write = data.2:short", "fail_write = data.3:short"), FINISHED_OK,
                               f"{PREPARE} data data!*2 data*4 r.progress {TRANSFER_END}", ALL),
    "chunk_taken_none": row("a write succeeds with nothing taken: a refusal", "update", STATUS,
                            ("fail_write = data.3:zero_taken",), failed(2507),
                            f"{PREPARE} data*2 data! r.progress {TRANSFER_END}", 2048),
    "chunk_refused_yet_taken": row("a write fails yet takes the whole chunk, status replies", "update", STATUS,
                                   ("fail_write = data.3:refused_taken",), FINISHED_OK,
                                   f"{PREPARE} data*2 data! data*2 r.progress {TRANSFER_END}", ALL),
    "last_chunk_refused_yet_taken_plain": row("the last write fails yet takes its chunk, no status replies",
                                              "update", PLAIN, ("fail_write = data.5:refused_taken",), failed(2507),
                                              "init open.w data*4 data! close.w", ALL),
    "unplugged_mid_transfer": row("unplugged at the third chunk: every write and read from then on fails",
                                  "update", STATUS, ("fail_write = data.3+:timeout", "fail_read = progress.2+:timeout"),
                                  failed(2507), f"{PREPARE} data*2 data! r.progress! {TRANSFER_END}", 2048),
    "unplugged_mid_transfer_plain": row("unplugged at the third chunk, no status replies", "update", PLAIN,
                                        ("fail_write = data.3+:timeout",), failed(2507),
                                        "init open.w data*2 data! close.w", 2048),
}

# Rows whose step outlasts the default bound: the spooler's completion wait.
TIMEOUTS = {"port_cannot_be_written": 200}
LOADS = {"check1": 1, "check2": 2, "update": 3}
POLL_S = 0.3


# --- the simulator's log as traffic -----------------------------------------

FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')


def read_calls(path):
    """The log as (entry, fields) per call, split into loads."""
    loads = []
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return loads
    for line in lines:
        entry, _, rest = line.partition(" ")
        fields = dict(FIELD.findall(rest))
        if entry == "ZEPL_InitDll" or not loads:
            loads.append([])
        loads[-1].append((entry, fields))
    return loads


def word(entry, fields, kinds):
    mark = "!" if "fault" in fields else ""
    if entry == "ZEPL_InitDll":
        return "init" if fields["result"] == "1" else f"init={fields['result']}"
    if entry == "ZEPL_EntryUsbCheck":
        return "count" if fields.get("description") == "null" else "desc"
    if entry == "ZEPL_OpenUsbEx":
        kind = "w" if fields["kind"] == "0" else "r"
        if fields["result"] not in ("-1", "0"):
            kinds[fields["result"]] = kind
        return f"open.{kind}" + ("!" if fields["result"] == "-1" else "")
    if entry == "ZEPL_Write":
        return ("data" if fields["kind"] == "data" else f"w.{fields['kind']}") + mark
    if entry == "ZEPL_Read":
        return f"r.{fields['answer']}{mark}"
    if entry == "ZEPL_Close":
        return f"close.{kinds.get(fields['channel'], '?' + fields['channel'])}"
    return entry


def traffic(calls):
    kinds = {}
    return collapse(word(entry, fields, kinds) for entry, fields in calls)


def collapse(words):
    """Words joined by blanks, a run of the same word as word*N."""
    runs = []
    for w in words:
        if runs and runs[-1][0] == w:
            runs[-1][1] += 1
        else:
            runs.append([w, 1])
    return " ".join(w if n == 1 else f"{w}*{n}" for w, n in runs)


def channel_problems(loads):
    """Every channel opened in a load is closed once in it, and no call
    carries the simulator's complaint about its caller."""
    problems = []
    for n, calls in enumerate(loads, 1):
        open_now = set()
        for entry, fields in calls:
            if "error" in fields:
                problems.append(f"load {n}: {entry} error={fields['error']}")
            if entry == "ZEPL_OpenUsbEx" and fields["result"] not in ("-1", "0"):
                open_now.add(fields["result"])
            elif entry == "ZEPL_Close":
                if fields["channel"] not in open_now:
                    problems.append(f"load {n}: channel {fields['channel']} closed but not open")
                open_now.discard(fields["channel"])
        if open_now:
            problems.append(f"load {n}: channel(s) {sorted(open_now)} left open")
    return problems


# --- one row ----------------------------------------------------------------

def box_text(lang, box):
    return None if box is None else text(lang, box)


def prepare(case, entry, program):
    """What a row does to the world between "Next >" and "Update"; returns
    a function that undoes it, or None."""
    firmware = os.path.join(program.folder, entry.model)
    if entry.setup == "remove_printer":
        case.driver("remove-printer", printer_name(case))
    elif entry.setup == "block_spool_folder":
        # Jobs are spooled to files in this folder: a file in its place makes
        # StartDocPrinter fail. Put back when the row ends.
        folder = os.path.join(case.state["prefix"], "drive_c", "windows", "system32", "spool", "printers")
        os.rename(folder, folder + ".row")
        open(folder, "w").close()

        def restore():
            os.remove(folder)
            os.rename(folder + ".row", folder)
        return restore
    elif entry.setup == "delete_firmware":
        os.remove(firmware)
    elif entry.setup == "hold_firmware":
        held = case.driver_background("hold-exclusive", winpath(firmware), 60000)
        if held.values.get("held") != "1":
            fail(f"could not hold the firmware file: {held.values}")
    elif entry.setup == "firmware_folder":
        os.remove(firmware)
        os.mkdir(firmware)
    elif entry.setup == "empty_firmware":
        open(firmware, "wb").close()
    return None


def printer_name(case):
    return f"fault {case.name} {case.arch}"


def wait_outcome(case, program, stage, want, timeout_s):
    """Answers the boxes that come and reads the wizard until its guidance
    is one that ends the step; returns the boxes and the wizard as it reads."""
    lang = case.lang
    ending = FINAL_GUIDANCE + (MODE_GUIDANCE if stage == "check1" else ())
    finals = {text(lang, g): g for g in ending + (want.guidance,)}
    deadline = time.monotonic() + timeout_s
    boxes = []
    while True:
        boxes += [t for _, t in case.message_boxes()]
        snap = case.dump(program)
        shown = finals.get(snap.text(MESSAGE))
        if shown is not None and snap.enabled(IDCANCEL):
            boxes += [t for _, t in case.message_boxes()]  # none may follow
            if shown == FINISHED and want.guidance != FINISHED:
                fail(f"FALSE SUCCESS: the wizard shows the finished update (boxes {boxes}); expected the box "
                     f"{want.box} and guidance {want.guidance}")
            return boxes, snap, shown
        if time.monotonic() > deadline:
            fail(f"the step did not end within {timeout_s} s (boxes {boxes}); the wizard reads:\n{snap}")
        time.sleep(POLL_S)


def wait_button(case, program, caption, timeout_s=30):
    """Waits for the Start button to offer caption."""
    deadline = time.monotonic() + timeout_s
    while True:
        snap = case.dump(program)
        if snap.enabled(IDOK) and snap.text(IDOK) == text(case.lang, caption):
            return
        boxes = case.message_boxes()
        if boxes or time.monotonic() > deadline:
            fail(f"no {text(case.lang, caption)!r} to press (boxes {boxes}); the wizard reads:\n{snap}")
        time.sleep(POLL_S)


def expect_outcome(case, entry, boxes, snap, shown):
    lang, want = case.lang, entry.outcome
    problems = []
    if want.box == ANY_FAILURE:
        if len(boxes) != 1 or boxes[0] not in [text(lang, b) for b in FAILURE_BOXES]:
            problems.append(f"boxes {boxes}, expected one box that reports a failure")
    elif boxes != ([] if want.box is None else [text(lang, want.box)]):
        problems.append(f"boxes {boxes}, expected {box_text(lang, want.box)!r}")
    if shown != want.guidance:
        problems.append(f"guidance {shown}, expected {want.guidance}")
    if problems:
        fail("; ".join(problems))
    expect_controls(snap, {
        IDOK: Ctl(text(lang, want.start), enabled=True) if want.start else Ctl(enabled=False),
        IDCANCEL: Ctl(text(lang, want.close), visible=True, enabled=True),
        PERCENT: Ctl(visible=False),
        PROGRESS: Ctl(visible=False),
    })


def expect_traffic(case, entry, arrived_at):
    loads = read_calls(os.path.join(case.dir, "sim.log"))
    want_loads = LOADS[entry.stage] if entry.traffic else 0
    seen = traffic(loads[-1]) if loads else ""
    expected = collapse(entry.traffic.split())
    problems = channel_problems(loads)
    if len(loads) != want_loads:
        problems.append(f"{len(loads)} library loads, expected {want_loads}")
    if seen != expected:
        problems.append(f"traffic of the last load:\n    seen     {seen}\n    expected {expected}")
    firmware = firmware_bytes()
    arrived = read_bytes(arrived_at)
    count = len(firmware) if entry.arrived == ALL else entry.arrived
    if arrived != firmware[:count]:
        problems.append(f"{len(arrived)} bytes arrived, expected the file's first {count}"
                        + ("" if arrived == firmware[:len(arrived)] else ", and they differ from the file"))
    if problems:
        fail("the plotter saw the wrong traffic:\n  " + "\n  ".join(problems))


def run_row(row_name, state, name):
    entry = ROWS[row_name]
    with Case(state, name, timeout_s=TIMEOUTS.get(row_name, 60)) as case:
        port = "USB001"
        if entry.model == SPOOLER:  # a port of the row's own: a file the job is written to
            folder = "missing" if entry.setup == "port_folder_missing" else ""
            port = winpath(os.path.join(case.dir, folder, "port.bin"))
        if entry.stage != "check1" and entry.setup != "no_printer":
            case.driver("add-printer", printer_name(case), f"Tarvonic {entry.model.split('_')[0]}", port)
        lines = ("log = sim.log", "received = received.bin")
        if entry.model == SPOOLER:
            lines += ('port = "%s"' % port.replace("\\", "\\\\"),)
        library = entry.setup if str(entry.setup).endswith(".DLL") else entry.setup != "no_library"
        program = case.install(firmware=(entry.model,), link_library=library,
                               scenario="\n".join(lines + entry.lines) + "\n")
        proc = case.start(program)
        pid = case.wait_wizard(program)["pid"]

        restore = None
        try:
            if entry.stage != "check1":
                wait_button(case, program, NEXT)
                case.driver("click", program.prop, IDOK)
            if entry.stage == "update":
                wait_button(case, program, UPDATE)
                restore = prepare(case, entry, program)
                case.driver("click", program.prop, IDOK)
            boxes, snap, shown = wait_outcome(case, program, entry.stage, entry.outcome, case.timeout_s - 20)
        finally:
            if restore:
                restore()
        expect_outcome(case, entry, boxes, snap, shown)

        # The program answers, and holds the library only where it should.
        module = case.driver("module", pid, "ZEPLPRNP.DLL", own_bitness=True)
        if module["loaded"] != ("1" if entry.library == "held" else "0"):
            fail(f"ZEPLPRNP.DLL is {'loaded' if module['loaded'] == '1' else 'not loaded'} at the end, "
                 f"expected {entry.library}")
        if proc.poll() is not None:
            fail(f"the program ended with {proc.returncode}")
        case.driver("click", program.prop, IDCANCEL)
        case.wait_exit(proc)

        arrived_at = os.path.join(case.dir, "port.bin" if entry.model == SPOOLER else "received.bin")
        expect_traffic(case, entry, arrived_at)


CASES = {name: (lambda n: lambda state, case_name: run_row(n, state, case_name))(name) for name in ROWS}

if __name__ == "__main__":
    sys.exit(run_cases(CASES))

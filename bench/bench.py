#!/usr/bin/env python3
"""The wizard's costs, measured under Wine against the plotter simulator set
to answer at once. Several rounds of:

1. the transfer's own work per chunk: a status-reply model (KM600) takes a
   firmware file (14,000,000 bytes by default) through the whole wizard, and
   bench_bare_send hands the same file to the same simulator entry in
   1024-byte pieces with no window at all. Both sending times run from the
   first firmware write to the last, by the simulator's t_us stamps (one
   steady clock); (wizard - bare loop) / intervals is the wizard's own work
   per chunk;
2. launch to first verdict: bench_launch starts the wizard (a ready KM500)
   and polls from outside until its guidance reads text 2004, and likewise
   until bench_bare_dialog's empty dialog is up; the figure is the
   difference, round by round;
3. footprint: the size of the i686 UPDATE.EXE, and the wizard's peak working
   set, the Linux VmHWM of the Wine process that runs it, read before
   "Update" and again once the transfer has ended. Most of that is Wine's
   own, so in the same round the bench reads the peak of bench_system_floor,
   which shows the wizard's own dialog template with its manifest and asks
   the spooler for its printers as the check does, with none of the
   wizard's code; the difference is the wizard's own memory. The peak of
   bench_bare_dialog, an empty dialog of the wizard's size, is shown beside
   it; a transfer of 1 MiB beside the 14 MB one shows whether the wizard
   grows with the file.

Run it through scripts/bench.sh, which builds what it needs. It prints a
table and writes it to build/bench/results.md."""

import argparse
import datetime
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402
from strings import text  # noqa: E402

IDOK, IDCANCEL, MESSAGE, PERCENT = 1, 2, 1507, 1508
CHUNK = 1024
TRANSFER_MODEL = ("KM600", "Tarvonic", "Tarvonic KM600", "USB001")  # key, vendor, driver, port
FIELD = re.compile(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)')
KIB, MIB = 1024, 1024 * 1024
SMALL_SIZE = MIB  # the transfer beside the big one, to see growth with the file


def firmware_file(path, size):
    """The harness's firmware bytes (they repeat every 65536 bytes), written once."""
    period = harness.firmware_bytes(65536)
    with open(path, "wb") as f:
        whole, rest = divmod(size, len(period))
        for _ in range(whole):
            f.write(period)
        f.write(period[:rest])


def scenario(log_path):
    # At once: no delay per chunk, and the first progress poll says done.
    return "\n".join((f"log = {log_path}", "log_data_bytes = no", 'progress_reply = "0\\x03"')) + "\n"


def data_writes(log_path):
    writes = []
    with open(log_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("ZEPL_Write ") and " kind=data " in line:
                writes.append(dict(FIELD.findall(line)))
    return writes


def sending_span(log_path, firmware):
    """Microseconds from the first firmware write to the last, the number of
    writes and the median time between two writes; every chunk must have
    arrived whole and in order."""
    writes = data_writes(log_path)
    with open(firmware, "rb") as f:
        data = f.read()
    chunks = (len(data) + CHUNK - 1) // CHUNK
    if len(writes) != chunks:
        harness.fail(f"{log_path}: {len(writes)} firmware writes for {chunks} chunks")
    for i, w in enumerate(writes):
        want = f"{zlib.crc32(data[i * CHUNK:(i + 1) * CHUNK]):08X}"
        if w.get("crc32") != want or w.get("result") != "0":
            harness.fail(f"{log_path}: write {i + 1} is not chunk {i + 1} taken whole: {w}")
    stamps = [int(w["t_us"]) for w in writes]
    gaps = sorted(b - a for a, b in zip(stamps, stamps[1:]))
    return stamps[-1] - stamps[0], len(writes), gaps[len(gaps) // 2]


def vm_peak(pid):
    """VmHWM of a Linux process, in bytes, and what the process is."""
    with open(f"/proc/{pid}/status") as f:
        status = dict(line.split(":", 1) for line in f if ":" in line)
    with open(f"/proc/{pid}/cmdline", "rb") as f:
        cmd = f.read().split(b"\0")[0].decode(errors="replace")
    cmd = f"{os.path.basename(cmd.replace(chr(92), '/'))}, Linux pid {pid}"
    return int(status["VmHWM"].split()[0]) * 1024, cmd


def wait_log(log_path, chunks, timeout_s):
    """Waits, without touching the wizard, until the simulator logged every
    firmware write and the channels' close after them."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        try:
            with open(log_path, encoding="utf-8", errors="replace") as f:
                body = f.read()
        except FileNotFoundError:
            body = ""
        last = body.rfind(" kind=data ")
        if body.count(" kind=data ") >= chunks and "ZEPL_Close" in body[last:]:
            return
        time.sleep(0.5)
    harness.fail(f"the transfer did not end within {timeout_s} s: see {log_path}")


def press(case, program, caption, timeout_s=60):
    deadline = time.monotonic() + timeout_s
    while True:
        snap = case.dump(program)
        if snap.enabled(IDOK) and snap.text(IDOK) == caption:
            break
        if time.monotonic() > deadline:
            harness.fail(f"no {caption!r} button within {timeout_s} s:\n{snap}")
        time.sleep(0.1)
    case.driver("click", program.prop, IDOK)


def wizard_transfer(state, arch, rnd, firmware, variant=None):
    key = TRANSFER_MODEL[0]
    chunks = (os.path.getsize(firmware) + CHUNK - 1) // CHUNK
    with harness.Case(state, f"transfer-wizard-{rnd}", arch=arch, timeout_s=900) as case:
        log_path = os.path.join(case.dir, "sim.log")
        program = case.install(firmware=(), scenario=scenario(log_path))
        if variant:
            shutil.copyfile(variant, program.path)
        shutil.copyfile(firmware, os.path.join(program.folder, f"{key}_V300.x"))
        proc = case.start(program)
        case.wait_wizard(program)
        left, top, right, bottom = case.dump(program).rect()
        press(case, program, text("en", 3005))
        press(case, program, text("en", 3006))
        # The check steps are done and "Update" was pressed: the peak so far
        # is what the wizard needs without the transfer.
        before, cmd = vm_peak(proc.pid)
        wait_log(log_path, chunks, 600)
        deadline = time.monotonic() + 30
        while True:  # the final pause, then "Close"
            snap = case.dump(program)
            if snap.text(IDCANCEL) == text("en", 3007) and not snap.visible(PERCENT):
                break
            if time.monotonic() > deadline:
                harness.fail(f"the wizard did not end the update:\n{snap}")
            time.sleep(0.2)
        after, _ = vm_peak(proc.pid)
        if snap.text(MESSAGE) != text("en", 2009):
            harness.fail(f"the update did not finish: {snap.text(MESSAGE)!r}")
        span, writes, gap = sending_span(log_path, firmware)
    return {"span_us": span, "writes": writes, "gap_us": gap, "peak_before": before, "peak_after": after, "peak_of": cmd,
            "window": (right - left, bottom - top)}


def yardstick_peak(state_path, arch, name, exe, args=()):
    """VmHWM of one of the bench's yardstick programs with its dialog up."""
    with harness.Case(state_path, name, arch=arch) as case:
        folder = os.path.join(case.dir, "yardstick")
        os.makedirs(folder)
        program = harness.Program(folder, exe)
        shutil.copyfile(os.path.join(case.build, "bench", program.exe), program.path)
        case.programs.append(program)
        proc = case.start(program, args=args)
        case.wait_wizard(program)
        time.sleep(0.5)
        return vm_peak(proc.pid)[0]


def bare_peak(state_path, arch, rnd, window):
    """bench_bare_dialog's, its empty dialog of the wizard's size in pixels
    (`window`): Wine's floor for any window of that size."""
    return yardstick_peak(state_path, arch, f"peak-bare-{rnd}", "bench_bare_dialog.exe", window)


def floor_peak(state_path, arch, rnd):
    """bench_system_floor's: the wizard's own window, manifest and printer
    lookup with no wizard behind them, which is what Wine carries for the
    wizard; the wizard's peak less this is its own memory."""
    return yardstick_peak(state_path, arch, f"peak-floor-{rnd}", "bench_system_floor.exe")


def bare_transfer(state, arch, rnd, firmware):
    build = state["builds"][arch]
    work = os.path.join(state["work"], arch, f"transfer-bare-{rnd}")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    exe = os.path.join(work, "bench_bare_send.exe")
    shutil.copyfile(os.path.join(build, "bench", "bench_bare_send.exe"), exe)
    shutil.copyfile(os.path.join(build, harness.SIMULATOR), os.path.join(work, harness.LINK_LIBRARY))
    copy = os.path.join(work, os.path.basename(firmware))
    shutil.copyfile(firmware, copy)
    log_path = os.path.join(work, "sim.log")
    with open(os.path.join(work, "scenario.txt"), "w") as f:
        f.write(scenario(log_path))
    env = harness.wine_env(state)
    env["ZEPL_SIM_SCENARIO"] = harness.winpath(os.path.join(work, "scenario.txt"))
    _, vendor, _, port = TRANSFER_MODEL
    with open(os.path.join(work, "out.txt"), "wb") as out:
        rc = subprocess.run([harness.LOADERS[arch], exe, harness.winpath(copy), vendor, TRANSFER_MODEL[0], port],
                            cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                            timeout=600).returncode
    if rc != 0:
        harness.fail(f"bench_bare_send failed with {rc}: see {work}/out.txt")
    span, writes, gap = sending_span(log_path, copy)
    return {"span_us": span, "writes": writes, "gap_us": gap}


def escape(s):
    return s.replace("\\", "\\\\").replace("\n", "\\n")


def launch(state, arch, name, exe_path, control=None, want=None):
    """Starts a program through bench_launch; its launch time in microseconds
    and the poll interval."""
    work = os.path.join(state["work"], arch, name)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "elsewhere"))
    args = [harness.WINE, os.path.join(state["builds"]["x86_64"], "bench", "bench_launch.exe"),
            harness.winpath(exe_path), harness.winpath(os.path.join(work, "elsewhere")), "20000"]
    if control:
        args += [str(control), escape(want)]
    with open(os.path.join(work, "launch.txt"), "wb") as out:
        rc = subprocess.run(args, cwd=work, env=harness.wine_env(state), stdin=subprocess.DEVNULL,
                            stdout=out, stderr=out, timeout=120).returncode
    with open(os.path.join(work, "launch.txt"), encoding="utf-8", errors="replace") as f:
        values = harness.parse_lines(f.read())
    if rc != 0 or values.get("ended") != "1":
        harness.fail(f"bench_launch {os.path.basename(exe_path)}: rc {rc}, {values}")
    return int(values["launch_us"]), int(values["poll_us"]), int(values["dialog_us"])


def wizard_launch(state_path, st, arch, rnd):
    # A ready KM500 at 1.00 for firmware 3.00: the check ends in guidance 2004.
    with harness.Case(state_path, f"launch-wizard-{rnd}", arch=arch) as case:
        program = case.install()
        return launch(st, arch, f"launch-wizard-{rnd}/probe", program.path, MESSAGE, text("en", 2004))


def bare_launch(state, arch, rnd):
    folder = os.path.join(state["work"], arch, f"launch-bare-{rnd}")
    os.makedirs(folder, exist_ok=True)
    exe = os.path.join(folder, "bench_bare_dialog.exe")
    shutil.copyfile(os.path.join(state["builds"][arch], "bench", "bench_bare_dialog.exe"), exe)
    return launch(state, arch, f"launch-bare-{rnd}/probe", exe)


def cpu_name():
    with open("/proc/cpuinfo") as f:
        names = [line.split(":", 1)[1].strip() for line in f if line.startswith("model name")]
    return f"{names[0] if names else platform.processor()} ({len(names)} logical CPUs)"


def wine_version():
    return subprocess.run([harness.WINE, "--version"], capture_output=True, text=True).stdout.strip()


def med_min(values):
    return statistics.median(values), min(values)


def table(r, meta):
    chunks = r["wizard"][0]["writes"]
    per_chunk = [(w["span_us"] - b["span_us"]) / (chunks - 1) for w, b in zip(r["wizard"], r["bare"])]
    launch = [(w - b) / 1000 for w, b in zip(r["launch_wizard"], r["launch_bare"])]
    peak = [max(w["peak_before"], w["peak_after"]) / MIB for w in r["wizard"]]
    over_bare = [(w["peak_before"] - b) / MIB for w, b in zip(r["wizard"], r["peak_bare"])]
    own_before = [(w["peak_before"] - f) / MIB for w, f in zip(r["wizard"], r["peak_floor"])]
    own = [(max(w["peak_before"], w["peak_after"]) - f) / MIB for w, f in zip(r["wizard"], r["peak_floor"])]
    own_small = [(max(w["peak_before"], w["peak_after"]) - f) / MIB for w, f in zip(r["small"], r["peak_floor"])]
    growth = [(w["peak_after"] - s["peak_after"]) / KIB for w, s in zip(r["wizard"], r["small"])]
    rows = [
        ("wizard: first to last firmware write (ms)", [w["span_us"] / 1000 for w in r["wizard"]], ""),
        ("bare loop: first to last firmware write (ms)", [b["span_us"] / 1000 for b in r["bare"]], ""),
        ("own work per chunk (us)", per_chunk, "< 10"),
        ("median write-to-write interval, wizard - bare loop (us)",
         [w["gap_us"] - b["gap_us"] for w, b in zip(r["wizard"], r["bare"])], ""),
        ("wizard: launch to its dialog up (ms)", [w / 1000 for w in r["dialog_wizard"]], ""),
        ("wizard: launch to guidance 2004 (ms)", [w / 1000 for w in r["launch_wizard"]], ""),
        ("bare dialog: launch to dialog up (ms)", [b / 1000 for b in r["launch_bare"]], ""),
        ("launch to verdict, more than the bare dialog (ms)", launch, "< 100"),
        ("peak working set before Update (MB)", [w["peak_before"] / MIB for w in r["wizard"]], ""),
        ("peak working set, Update to the end (MB)", peak, "< 16"),
        ("bare dialog: peak working set (MB)", [b / MIB for b in r["peak_bare"]], ""),
        ("wizard before Update, more than the bare dialog (MB)", over_bare, ""),
        ("system floor (the wizard's window and printer lookup alone): peak working set (MB)",
         [f / MIB for f in r["peak_floor"]], ""),
        ("own memory before Update, more than the system floor (MB)", own_before, "< 2"),
        ("own memory, Update to the end, more than the system floor (MB)", own, "< 2"),
        (f"own memory, Update to the end of a {meta['small_size']:,}-byte transfer (MB)", own_small, ""),
        ("peak at the end, 14 MB transfer - small transfer (KB)", growth, "< 256"),
    ]
    size = os.path.getsize(meta["i686_exe"])
    lines = [
        f"Benchmark of {meta['date']}: `{meta['command']}`, {meta['rounds']} rounds "
        f"(after one unrecorded launch of each program)",
        "",
        f"- CPU: {meta['cpu']}; Wine: {meta['wine']}",
        f"- measured build: {meta['measured']}"
        + (f"; transfer rounds ran {meta['program']} in its place" if meta["program"] else ""),
        f"- transfer: {meta['size']:,} bytes = {chunks} chunks of 1024 (last one short), "
        f"KM600 (status replies), simulator without delay; per chunk = (wizard - bare loop) / {chunks - 1} "
        "intervals between first and last write, by the simulator's t_us stamps",
        "- launch: bench_launch (x86_64) times CreateProcess to the first poll that reads the wizard's "
        "guidance as text 2004 (bare dialog: its dialog visible), midpoint of the last two polls; "
        f"poll interval {statistics.median(r['poll_us']) / 1000:.2f} ms (median)",
        f"- peak working set: Linux VmHWM of the Wine process running UPDATE.EXE ({meta['peak_of']}); "
        "bare dialog: bench_bare_dialog's empty dialog resized to the wizard's "
        f"{meta['window'][0]} x {meta['window'][1]} pixels; system floor: bench_system_floor, the wizard's dialog "
        "template and manifest (common controls 6, its DPI awareness) with the progress bar moved through every "
        "position, and the spooler asked for its printers as the check asks (Wine maps its spooler's whole unix "
        "side, CUPS and what it needs, into the asking process), no wizard code; own memory: the wizard's peak "
        "less the system floor's, in the same round",
        "",
        "| figure | median | min | target |",
        "|---|---:|---:|---|",
    ]
    for name, values, target in rows:
        med, low = med_min(values)
        lines.append(f"| {name} | {med:.1f} | {low:.1f} | {target} |")
    lines.append(f"| i686 UPDATE.EXE size (KB) | {size / KIB:.0f} | | < 1024 |")
    lines.append("")
    lines.append(f"own work per chunk: {med_min(per_chunk)[0]:.1f} us; launch to verdict: "
                 f"+{med_min(launch)[0]:.0f} ms; peak working set: {med_min(peak)[0]:.1f} MB; "
                 f"i686 size: {size / KIB:.0f} KB; own memory: {med_min(own)[0]:.1f} MB")
    return "\n".join(lines) + "\n"


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--rounds", type=int, default=5)
    p.add_argument("--size", type=int, default=14_000_000, help="firmware bytes")
    p.add_argument("--program", help="an UPDATE.EXE of the measured bitness to run in the transfer rounds in "
                                      "place of the build's: to try a change to the transfer before making it")
    p.add_argument("--twin", action="store_true",
                   help="measure the x86_64 twin, not the shipped i686 program: where 32-bit code runs only in "
                        "emulation, the twin's figures tell more about the code than the emulator's")
    args = p.parse_args()
    out = os.path.join(ROOT, "build", "bench")
    os.makedirs(out, exist_ok=True)
    state = os.path.join(out, "session.json")
    builds = os.path.join(ROOT, "build")
    for tree in ("win32", "win64"):
        for exe in ("bench_bare_send.exe", "bench_bare_dialog.exe", "bench_launch.exe", "bench_system_floor.exe"):
            if not os.path.isfile(os.path.join(builds, tree, "bench", exe)):
                harness.fail(f"build/{tree}/bench/{exe} missing: run scripts/bench.sh, which builds it")
    harness.setup(state, os.path.join(builds, "win32"), os.path.join(builds, "win64"),
                  os.path.join(out, "work"), os.path.join(out, "shots"))
    results = {k: [] for k in ("wizard", "bare", "launch_wizard", "launch_bare", "dialog_wizard", "poll_us",
                               "small", "peak_bare", "peak_floor")}
    try:
        st = harness.read_state(state)
        arch = "x86_64" if args.twin else harness.build_run(st, harness.SHIPPED)
        if args.twin:
            measured = (f"x86_64 twin build/win64/UPDATE.EXE under {harness.LOADERS[arch]}, NOT the shipped "
                        f"i686 program (--twin)")
            print("bench: MEASURING THE TWIN, NOT THE SHIPPED PROGRAM (--twin)")
        elif arch == harness.SHIPPED and st["i686_runner"]["how"] == "emulated":
            measured = (f"i686, the shipped build/win32/UPDATE.EXE under {harness.LOADERS[arch]}, IN USER-MODE "
                        f"EMULATION ({st['i686_runner']['version']}): its times are the emulator's, not the program's")
            print("bench:", measured)
        elif arch == harness.SHIPPED:
            measured = f"i686, the shipped build/win32/UPDATE.EXE under {harness.LOADERS[arch]}"
        else:
            measured = (f"x86_64 twin build/win64/UPDATE.EXE under {harness.LOADERS[arch]}, NOT the shipped "
                        f"i686 program: {st['i686_unavailable']}")
            print("bench:", harness.not_exercised(st["i686_unavailable"]))
        print("bench: measuring the", measured, flush=True)
        firmware = os.path.join(out, f"{TRANSFER_MODEL[0]}_V300.x")
        firmware_file(firmware, args.size)
        small = os.path.join(out, "small", f"{TRANSFER_MODEL[0]}_V300.x")
        os.makedirs(os.path.dirname(small), exist_ok=True)
        firmware_file(small, SMALL_SIZE)
        # The wizard's second check looks for the model's printer on the port.
        with harness.Case(state, "printer", arch=arch) as case:
            case.driver("add-printer", f"{TRANSFER_MODEL[2]} bench", TRANSFER_MODEL[2], TRANSFER_MODEL[3])
        wizard_launch(state, st, arch, "warm-up")
        bare_launch(st, arch, "warm-up")
        for rnd in range(1, args.rounds + 1):
            w = wizard_transfer(state, arch, rnd, firmware, args.program and os.path.abspath(args.program))
            b = bare_transfer(st, arch, rnd, firmware)
            results["small"].append(wizard_transfer(state, arch, f"{rnd}-small", small,
                                                    args.program and os.path.abspath(args.program)))
            results["peak_bare"].append(bare_peak(state, arch, rnd, w["window"]))
            results["peak_floor"].append(floor_peak(state, arch, rnd))
            # Alternate which program starts first, so that neither always
            # finds the machine warmer.
            if rnd % 2:
                lw, pw, dw = wizard_launch(state, st, arch, rnd)
                lb, pb, _ = bare_launch(st, arch, rnd)
            else:
                lb, pb, _ = bare_launch(st, arch, rnd)
                lw, pw, dw = wizard_launch(state, st, arch, rnd)
            for k, v in (("wizard", w), ("bare", b), ("launch_wizard", lw), ("launch_bare", lb),
                         ("dialog_wizard", dw)):
                results[k].append(v)
            results["poll_us"] += [pw, pb]
            print(f"round {rnd}: wizard {w['span_us'] / 1000:.1f} ms, bare loop {b['span_us'] / 1000:.1f} ms "
                  f"for {w['writes']} writes; launch {lw / 1000:.1f} ms vs bare {lb / 1000:.1f} ms; "
                  f"peak {w['peak_after'] / MIB:.1f} MB", flush=True)
    except harness.HarnessError as e:
        print(f"bench: FAIL: {e}")
        return 1
    finally:
        harness.cleanup(state)
    meta = {
        "date": datetime.date.today().isoformat(),
        "command": " ".join(["bash scripts/bench.sh"] + sys.argv[1:]),
        "rounds": args.rounds, "cpu": cpu_name(), "wine": wine_version(), "measured": measured,
        "size": args.size, "i686_exe": os.path.join(builds, "win32", harness.PROGRAM),
        "peak_of": results["wizard"][0]["peak_of"],
        "program": args.program, "small_size": SMALL_SIZE, "window": results["wizard"][0]["window"],
    }
    report = table(results, meta)
    with open(os.path.join(out, "results.md"), "w") as f:
        f.write(report)
    print()
    print(report, end="")
    print(f"bench: written to {os.path.join(out, 'results.md')}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

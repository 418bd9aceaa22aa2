#!/usr/bin/env python3
"""Opens the wizard under Wine against the simulated plotter, with a sample
firmware file, in English and in Japanese, and takes a screenshot of each.
It shows the 32-bit UPDATE.EXE that ships (build/win32); where Wine cannot
run 32-bit programs, its 64-bit twin (build/win64) in its place, and says so.
With a display of your own (DISPLAY set and --show), the English wizard is
left on it until you close it."""
import argparse
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--show", action="store_true", help="open the wizard on $DISPLAY and wait for it to close")
    args = p.parse_args()
    out = os.path.join(ROOT, "build", "demo")
    state = os.path.join(out, "session.json")
    builds = os.path.join(ROOT, "build")
    harness.setup(state, os.path.join(builds, "win32"), os.path.join(builds, "win64"),
                  os.path.join(out, "work"), out)
    shots = []
    try:
        st = harness.read_state(state)
        arch = harness.build_run(st, harness.SHIPPED)
        if arch != harness.SHIPPED:
            print("demo:", harness.not_exercised(st["i686_unavailable"]))
        print(f"demo: showing {os.path.join(st['builds'][arch], harness.PROGRAM)} ({arch}) "
              f"under {harness.LOADERS[arch]}")
        if args.show and os.environ.get("DISPLAY"):
            st["display"] = os.environ["DISPLAY"]
            harness.write_state(state, st)
        for lang in ("en", "ja"):
            with harness.Case(state, f"demo-{lang}", lang=lang, arch=arch) as case:
                program = case.install()
                case.start(program)
                case.wait_wizard(program)
                case.message_boxes(wait_ms=1500)  # the check step may report; answer it
                if args.show and lang == "en" and os.environ.get("DISPLAY"):
                    print("the wizard is open on", os.environ["DISPLAY"], "- close it to go on")
                    case.procs[-1].wait()
                    continue
                shots.append(case.screenshot(os.path.join(out, f"wizard-{lang}.png")))
    finally:
        harness.cleanup(state)
    for s in shots:
        print("screenshot:", s)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Runs the Windows-side GoogleTest program of one build under the session's
Wine prefix, with that build's Wine loader. Where Wine cannot run the i686
build, its x86_64 twin runs in its place, as in the other end-to-end cases.

usage: run_win_tests.py --state FILE --arch i686|x86_64 [--lang en|ja] [gtest arguments...]
"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

WIN_TESTS = os.path.join("tests", "win", "win_tests.exe")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--state", required=True)
    p.add_argument("--arch", choices=harness.ARCHES, required=True)
    p.add_argument("--lang", default="en")
    args, rest = p.parse_known_args()
    state = harness.read_state(args.state)
    arch = harness.build_run(state, args.arch)
    if arch != args.arch:
        print(harness.not_exercised(state["i686_unavailable"]), flush=True)
    exe = os.path.join(state["builds"][arch], WIN_TESTS)
    if not os.path.exists(exe):
        print(f"FAIL: {exe} is missing: build the {'win32' if arch == 'i686' else 'win64'} preset first")
        return 1
    env = harness.wine_env(state, args.lang)
    try:
        r = subprocess.run([harness.LOADERS[arch], exe, *rest], env=env, cwd=os.path.dirname(exe), timeout=170)
    except subprocess.TimeoutExpired:
        print("FAIL: the Windows-side tests did not finish in time")
        return 1
    return r.returncode


if __name__ == "__main__":
    sys.exit(main())

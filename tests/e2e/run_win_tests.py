#!/usr/bin/env python3
"""Runs the Windows-side GoogleTest program under the session's Wine prefix.

usage: run_win_tests.py --state FILE --exe PATH [--lang en|ja] [gtest arguments...]
"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--state", required=True)
    p.add_argument("--exe", required=True)
    p.add_argument("--lang", default="en")
    args, rest = p.parse_known_args()
    if not os.path.exists(args.exe):
        print(f"FAIL: {args.exe} is missing: build the win64 preset first")
        return 1
    env = harness.wine_env(harness.read_state(args.state), args.lang)
    try:
        r = subprocess.run([harness.WINE, args.exe, *rest], env=env, cwd=os.path.dirname(args.exe), timeout=170)
    except subprocess.TimeoutExpired:
        print("FAIL: the Windows-side tests did not finish in time")
        return 1
    return r.returncode


if __name__ == "__main__":
    sys.exit(main())

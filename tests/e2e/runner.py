#!/usr/bin/env python3
"""Runs the end-to-end tests and prints one summary line "LABEL: N passed, N failed".

Usage: runner.py [--label LABEL] [--build DIR] [NAME_FRAGMENT...]
Without a usable X display or sound server it runs itself inside scripts/virtual-desktop.
"""
import argparse
import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def desktop_ready():
    quiet = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    return (bool(os.environ.get("DISPLAY")) and subprocess.run(["xdpyinfo"], **quiet).returncode == 0
            and subprocess.run(["pactl", "info"], **quiet).returncode == 0)


def all_tests(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from all_tests(item)
        else:
            yield item


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--label", default="Linux e2e")
    parser.add_argument("--build")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    if args.build:
        os.environ["HALVEX_BUILD_DIR"] = os.path.abspath(args.build)
    if not desktop_ready() and not os.environ.get("HALVEX_E2E_INSIDE"):
        os.environ["HALVEX_E2E_INSIDE"] = "1"
        cmd = [os.path.join(ROOT, "scripts", "virtual-desktop"), "--", sys.executable, *sys.argv]
        return subprocess.run(cmd, stdin=subprocess.DEVNULL).returncode

    sys.path.insert(0, HERE)
    tests = [t for t in all_tests(unittest.defaultTestLoader.discover(HERE, pattern="test_*.py"))
             if not args.names or any(n in t.id() for n in args.names)]
    passed = failed = 0
    failures = []
    for test in tests:
        result = unittest.TestResult()
        start = time.monotonic()
        test.run(result)
        elapsed = time.monotonic() - start
        problems = result.failures + result.errors
        if problems:
            failed += 1
            failures.append(test.id())
            print("  FALLO %s (%.1f s)" % (test.id(), elapsed))
            for _, text in problems:
                print("    " + text.replace("\n", "\n    "))
        elif result.skipped:
            print("  omitida %s: %s" % (test.id(), result.skipped[0][1]))
        else:
            passed += 1
            print("  ok %s (%.1f s)" % (test.id(), elapsed))
        sys.stdout.flush()
    if not tests:
        failed = 1
        print("  FALLO: ninguna prueba coincide")
    print("%s: %d passed, %d failed" % (args.label, passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

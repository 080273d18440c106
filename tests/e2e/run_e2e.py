#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs one end-to-end scenario against the built program.

Usage: run_e2e.py PROGRAM SCENARIO

Re-runs itself inside a private session bus (dbus-run-session), so nothing of the
caller's desktop is touched and every run starts from a clean accessibility bus.
"""

import os
import shutil
import sys
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    program, scenario = os.path.abspath(sys.argv[1]), sys.argv[2]
    if os.environ.get("PELMORA_E2E_PRIVATE_BUS") != "1":
        runner = shutil.which("dbus-run-session")
        if not runner:
            print("FAIL: dbus-run-session is not installed (package dbus-bin)", file=sys.stderr)
            return 1
        env = dict(os.environ, PELMORA_E2E_PRIVATE_BUS="1")
        os.execvpe(runner, [runner, "--", sys.executable, os.path.abspath(__file__),
                            program, scenario], env)

    import pelmora_e2e
    import scenarios

    fn = scenarios.SCENARIOS.get(scenario)
    if fn is None:
        print(f"FAIL: unknown scenario {scenario!r}; known: {sorted(scenarios.SCENARIOS)}",
              file=sys.stderr)
        return 2
    try:
        fn(program)
    except pelmora_e2e.E2EFailure as e:
        print(f"FAIL {scenario}: {e}", file=sys.stderr)
        return 1
    except Exception:
        traceback.print_exc()
        print(f"FAIL {scenario}: unexpected error", file=sys.stderr)
        return 1
    print(f"PASS {scenario}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Mutation check: does the test suite notice plausible slips in the code?

Each mutant replaces one exact text in one file (a flipped comparison, an off-by-one, a dropped
call, a changed constant). For each mutant the tool applies it, rebuilds, runs the tests, and
puts the file back (always, also on Ctrl-C). A mutant is killed when the build or the tests fail.

Mutants file, one mutant per line, fields separated by ' | ' (blank lines and # comments skipped):
    path/to/file.cpp | exact old text | new text | short note
The old text must occur exactly once in the file (add context until it does).

Usage (from the repository root):
    tools/mutants.py MUTANTS_FILE --build "cmake --build build" --test "build/tests/core_tests --gtest_brief=1"
Options: --timeout SECONDS per test run (default 600), --only N[,N...] to run the mutants on
those lines of MUTANTS_FILE. Each result line starts with its mutant's line number.
Prints one line per mutant and the score; exits 0. Survivors are either gaps in the tests or
mutants that cannot change behaviour (equivalent): decide which, honestly, for each.
"""
import argparse, os, shlex, subprocess, sys, time


def parse(path):
    mutants = []
    for n, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        parts = line.split(" | ")
        if len(parts) < 3:
            sys.exit(f"{path}:{n}: expected 'file | old | new | note'")
        mutants.append({"line": n, "file": parts[0].strip(), "old": parts[1], "new": parts[2],
                        "note": parts[3].strip() if len(parts) > 3 else ""})
    return mutants


def run(cmd, timeout):
    try:
        r = subprocess.run(cmd, shell=True, capture_output=True, text=True, timeout=timeout)
        return r.returncode, (r.stdout + r.stderr)
    except subprocess.TimeoutExpired:
        return 124, "timeout"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("mutants")
    ap.add_argument("--build", required=True)
    ap.add_argument("--test", required=True)
    ap.add_argument("--timeout", type=int, default=600)
    ap.add_argument("--only", default="")
    a = ap.parse_args()
    mutants = parse(a.mutants)
    if a.only:
        keep = {int(x) for x in a.only.split(",")}
        mutants = [m for m in mutants if m["line"] in keep]
    rc, out = run(a.build, a.timeout)
    if rc:
        sys.exit("the unmutated build fails:\n" + out[-2000:])
    rc, out = run(a.test, a.timeout)
    if rc:
        sys.exit("the unmutated tests fail:\n" + out[-2000:])
    killed = survived = skipped = 0
    for m in mutants:
        i = m["line"]
        path = m["file"]
        try:
            original = open(path, encoding="utf-8").read()
        except OSError as e:
            print(f"{i:3} SKIP  {path}: {e}"); skipped += 1; continue
        if original.count(m["old"]) != 1:
            print(f"{i:3} SKIP  {path}: old text found {original.count(m['old'])} times: {m['old']!r}")
            skipped += 1; continue
        t0 = time.time()
        try:
            open(path, "w", encoding="utf-8").write(original.replace(m["old"], m["new"]))
            rc, out = run(a.build, a.timeout)
            how = "build fails" if rc else ""
            if not rc:
                rc, out = run(a.test, a.timeout)
                how = "tests fail" if rc else ""
        finally:
            open(path, "w", encoding="utf-8").write(original)
            os.utime(path)   # the next build sees the file as changed again
        if rc:
            killed += 1
            failing = [l.split("]", 1)[1].strip() for l in out.splitlines() if l.startswith("[  FAILED  ]")][:3]
            print(f"{i:3} KILL  {path}  {m['note']}  ({how}{': ' + ', '.join(failing) if failing else ''}; {time.time() - t0:.0f} s)")
        else:
            survived += 1
            print(f"{i:3} LIVE  {path}  {m['note']}  [{m['old'].strip()} -> {m['new'].strip()}]")
    total = killed + survived
    print(f"\nkilled {killed} of {total} mutants ({100 * killed / max(total, 1):.0f} %), {skipped} skipped")
    run(a.build, a.timeout)   # leave the build matching the unmutated sources


if __name__ == "__main__":
    main()

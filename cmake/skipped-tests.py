#!/usr/bin/python3
"""Lists the test cases that skipped in a Windows build tree's last run, from the results every test
program leaves in <build>/test-results, and prints their count on the last line. Under Wine each test
program is one CTest entry, so a case that skipped still shows as passed there.

Usage: skipped-tests.py BUILD_DIR
Exit code: 0 when nothing skipped, 1 when something did, 2 when the run left no results at all.
"""
import glob
import os
import sys
import xml.etree.ElementTree as ElementTree


def main():
    results = os.path.join(sys.argv[1], "test-results")
    files = sorted(glob.glob(os.path.join(results, "*.xml")))
    if not files:
        print(f"no test results in {results}")
        return 2
    skipped = []
    for path in files:
        program = os.path.splitext(os.path.basename(path))[0]
        try:
            tree = ElementTree.parse(path)
        except ElementTree.ParseError as error:  # a program that died while writing them
            skipped.append(f"{program}: unreadable results ({error})")
            continue
        for case in tree.iter("testcase"):
            mark = case.find("skipped")
            if mark is not None or case.get("result") == "skipped":
                why = (mark.get("message") if mark is not None else "") or ""
                why = why.strip().splitlines()[-1] if why.strip() else "no reason given"
                skipped.append(f"{program}: {case.get('classname')}.{case.get('name')}: {why}")
    for line in skipped:
        print("  skipped " + line)
    print(f"{len(skipped)} skipped in {sys.argv[1]}")
    return 1 if skipped else 0


sys.exit(main())

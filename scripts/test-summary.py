#!/usr/bin/env python3
"""Adds up the GoogleTest XML reports of one run and prints one closing line."""
import pathlib
import sys
import xml.etree.ElementTree as ET

folder = pathlib.Path(sys.argv[1])
passed = failed = skipped = 0
figures = []
for report in sorted(folder.glob("*.xml")):
    for case in ET.parse(report).getroot().iter("testcase"):
        # The figures some tests report (randomised cases, kills mid-save, the soak).
        if case.get("figure"):
            figures.append(case.get("figure"))
        for prop in case.iter("property"):
            if prop.get("name") == "figure":
                figures.append(prop.get("value"))
        if case.find("failure") is not None:
            failed += 1
        elif case.get("result") == "skipped" or case.find("skipped") is not None:
            skipped += 1
        else:
            passed += 1
for figure in figures:
    print(figure)
print(f"GoogleTest cases: {passed} passed, {failed} failed, {skipped} skipped")
sys.exit(1 if failed or passed == 0 else 0)

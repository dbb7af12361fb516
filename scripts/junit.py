#!/usr/bin/env python3
"""Prints one line per test, "STATUS NAME", from JUnit XML: ctest's --output-junit or
GoogleTest's --gtest_output=xml. STATUS is passed, failed or skipped; with --defined
(ctest --show-only=json-v1), a defined test missing from the results is "notrun",
and so is every defined test when the results file is missing or cut short.
Usage: scripts/junit.py [--defined TESTS.json] RESULTS.xml
"""
import argparse
import json
import sys
import xml.etree.ElementTree as ET


def results(path):
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return []
    out = []
    for case in root.iter("testcase"):
        name = case.get("name", "")
        # GoogleTest names a case by its suite; ctest's classname repeats the name.
        suite = case.get("classname", "")
        if suite and suite != name:
            name = f"{suite}.{name}"
        if case.find("failure") is not None or case.find("error") is not None:
            status = "failed"
        elif (case.find("skipped") is not None or case.get("status") in ("notrun", "disabled")
              or case.get("result") in ("skipped", "suppressed")):
            status = "skipped"
        else:
            status = "passed"
        out.append((status, name))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--defined")
    parser.add_argument("results")
    args = parser.parse_args()
    found = results(args.results)
    for status, name in found:
        print(status, name)
    if args.defined:
        try:
            with open(args.defined, encoding="utf-8") as f:
                defined = [t["name"] for t in json.load(f).get("tests", [])]
        except (OSError, ValueError, KeyError):
            defined = []
        seen = {name for _, name in found}
        for name in defined:
            if name not in seen:
                print("notrun", name)
    return 0


if __name__ == "__main__":
    sys.exit(main())

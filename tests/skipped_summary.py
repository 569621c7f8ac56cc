#!/usr/bin/python3
"""After a ctest run: the entries that did not run (skipped), why, and what
they prove, in the words of docs/testing.md's list of test programs.

usage: skipped_summary.py JUNIT_FILE BUILD_DIR TESTING_DOC
Prints nothing when every entry ran; always exits 0.
"""
import collections
import json
import pathlib
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

BULLET = re.compile(r"^- `([^`]+)`[^:]*: (.*)")
LINK = re.compile(r"\[([^\]]*)\]\([^)]*\)")


def descriptions(doc):
    """Each test program's (or entry's) bullet in the list, joined to one line."""
    found, name = {}, None
    for line in doc.read_text(encoding="utf-8").splitlines():
        match = BULLET.match(line)
        if match:
            name = match.group(1)
            found[name] = match.group(2)
        elif name and line.startswith("  ") and line.strip():
            found[name] += " " + line.strip()
        else:
            name = None
    return found


def programs(build):
    """Each entry's test program or script, from ctest's own listing."""
    listing = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"],
                             capture_output=True, text=True, check=False).stdout
    result = {}
    for test in json.loads(listing or '{"tests": []}')["tests"]:
        names = [pathlib.Path(arg).name for arg in test.get("command", [])]
        runs = [n[:-4] for n in names if n.endswith(".exe")] + [n for n in names if n.endswith(".sh")][1:2]
        result[test["name"]] = runs[0] if runs else names[0] if names else test["name"]
    return result


def main():
    junit, build, doc = (pathlib.Path(arg) for arg in sys.argv[1:4])
    if not junit.exists():
        return 0
    cases = ET.parse(junit).getroot().findall("testcase")
    skipped = [case for case in cases if case.find("skipped") is not None]
    if not skipped:
        return 0
    words, program_of = descriptions(doc), programs(build)
    reasons = collections.Counter()
    groups = collections.defaultdict(list)
    for case in skipped:
        name = case.get("name")
        out = (case.findtext("system-out") or "").strip().splitlines()
        reasons[next((line[len("SKIPPED: "):] for line in out if line.startswith("SKIPPED: ")), "skipped")] += 1
        key = name if name in words else program_of.get(name, name)
        groups[key if key in words else "fixtures"].append(name)
    print(f"\n{len(skipped)} of {len(cases)} entries did not run here:")
    for reason, count in reasons.most_common():
        print(f"  {count}: {reason}")
    print("What they prove (docs/testing.md):")
    for key, names in sorted(groups.items(), key=lambda item: -len(item[1])):
        what = LINK.sub(r"\1", words.get(key, "the prefixes and servers the entries above start and stop"))
        print(f"  {len(names):3} {key}: {what}")
    if any("i386" in reason for reason in reasons):
        print("The 32-bit ones run on a host whose kernel runs 32-bit programs, or in an emulated x86-64\n"
              "Linux guest with KEYSETUP_TEST_TIMEOUT_SCALE=10 (docs/testing.md, hosts without 32-bit user mode).")
    return 0


if __name__ == "__main__":
    sys.exit(main())

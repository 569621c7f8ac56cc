#!/usr/bin/python3
"""Facts the documents state that the tree can contradict.

Every relative link in README.md, CHANGELOG.md and docs/ resolves; keycheck's
exit codes, their constants and words are the same in its source table (which
its usage text prints), docs/keycheck.md and docs/deploy.md; the install calls
of docs/footprint.md name the update function and install flags that
common/driver_update.* define for each branch; every configure option the CMake files
declare is explained in docs/release.md; every build/bin/ name the README
lists was built. One line per contradiction; exit 1 if there is any.

usage: check_docs.py SOURCE_DIR BIN_DIR
"""
import pathlib
import re
import sys

LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
OPTION = re.compile(r"(?:option|find_program)\(\s*(KEYSETUP_\w+)|set\(\s*(KEYSETUP_\w+)\s[^)]*?\bCACHE\s+(?!INTERNAL)\w+")
TABLE_ROW = re.compile(r"\{\s*(CHECK_[A-Z0-9_]+)\s*,\s*\"([^\"]+)\"")
CONSTANT = re.compile(r"const int (CHECK_[A-Z0-9_]+) = (\d+);")
BIN_NAME = re.compile(r"`build/bin/([^`/]+)`")
INSTALL_FLAGS = re.compile(r"const DWORD (\w+)_INSTALL_FLAGS = ([^;]+);")
FLAG_NAME = re.compile(r"INSTALLFLAG_\w+")
UPDATE_FUNCTION = re.compile(r'UPDATE_DRIVER_PROC_NAME\[\] = "(\w+)"')
CELL_BAR = re.compile(r"(?<!\\)\|")
# Whose update each branch's call is: keysetup's own on 32-bit Windows, the
# native helpers' on 64-bit Windows.
CALLER_FLAGS = {"Nt32": "ATTENDED", "Wow64": "UNATTENDED", "Arm64": "UNATTENDED"}


def documents(src):
    names = [src / "README.md", src / "CHANGELOG.md"]
    return [p for p in names if p.exists()] + sorted((src / "docs").glob("*.md"))


def broken_links(src):
    for doc in documents(src):
        for target in LINK.findall(doc.read_text(encoding="utf-8")):
            if re.match(r"[a-z]+:", target) or target.startswith("#"):
                continue
            path = target.split("#", 1)[0]
            if not (doc.parent / path).exists():
                yield f"{doc.relative_to(src)}: link to {target} does not resolve"


def source_codes(src):
    """The one table: constant names to numbers, then each code's words."""
    header = (src / "common/install_check.h").read_text(encoding="utf-8")
    numbers = {name: int(value) for name, value in CONSTANT.findall(header)}
    table = (src / "common/install_check.cpp").read_text(encoding="utf-8")
    return {numbers[name]: (name, words) for name, words in TABLE_ROW.findall(table) if name in numbers}


def document_codes(path):
    """The rows of the table headed '| code | constant | words |'."""
    lines = path.read_text(encoding="utf-8").splitlines()
    try:
        start = next(i for i, line in enumerate(lines) if re.match(r"\|\s*code\s*\|\s*constant\s*\|\s*words\s*\|", line))
    except StopIteration:
        return {}
    codes = {}
    for line in lines[start + 2:]:
        cells = [cell.strip().strip("`") for cell in line.strip().strip("|").split("|")]
        if not line.startswith("|") or len(cells) != 3:
            break
        codes[int(cells[0])] = (cells[1], cells[2])
    return codes


def code_table_differences(src):
    """keycheck's usage text prints VERDICT_WORDS itself; the documents copy it."""
    expected = source_codes(src)
    if len(expected) < 11:
        yield f"common/install_check.cpp: the code table has {len(expected)} codes"
    for name in ("docs/keycheck.md", "docs/deploy.md"):
        codes = document_codes(src / name)
        for code, row in sorted(expected.items()):
            if codes.get(code) != row:
                yield f"{name}: code {code} says {codes.get(code)!r}, the table {row!r}"
        for code in sorted(set(codes) - set(expected)):
            yield f"{name}: code {code} is not in the table"


def footprint_rows(path):
    """(line number, cells) of each row of the table headed '| Branch | Step | ... |'."""
    rows, inside = [], False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        line = line.strip()
        if not line.startswith("|"):
            inside = False
            continue
        cells = [c.strip().strip("`").replace("\\|", "|") for c in CELL_BAR.split(line.strip("|"))]
        if cells[:2] == ["Branch", "Step"]:
            inside = True
        elif inside and not cells[0].startswith("---"):
            rows.append((number, cells))
    return rows


def install_call_differences(src):
    """Each branch's install call: the function and flags the source names."""
    header = (src / "common/driver_update.h").read_text(encoding="utf-8")
    flags = {style: sorted(FLAG_NAME.findall(value)) for style, value in INSTALL_FLAGS.findall(header)}
    function = UPDATE_FUNCTION.search((src / "common/driver_update.cpp").read_text(encoding="utf-8")).group(1)
    seen = set()
    for number, cells in footprint_rows(src / "docs/footprint.md"):
        if len(cells) != 6 or cells[1:3] != ["install", "call"]:
            continue
        branch, expected = cells[0], flags.get(CALLER_FLAGS.get(cells[0]), [])
        named = sorted(FLAG_NAME.findall(cells[5].rsplit(",", 1)[-1]))
        seen.add(branch)
        if not cells[3].startswith(function + " "):
            yield f"docs/footprint.md:{number}: {branch} install call is {cells[3]}, the source calls {function}"
        if named != expected:
            yield (f"docs/footprint.md:{number}: {branch} install call has flags {' | '.join(named)}, "
                   f"common/driver_update.h gives {' | '.join(expected) or 'none'}")
    for branch in sorted(set(CALLER_FLAGS) - seen):
        yield f"docs/footprint.md: no install call row for {branch}"


def undocumented_options(src):
    release = (src / "docs/release.md").read_text(encoding="utf-8")
    for cmake in sorted(src.glob("**/CMakeLists.txt")) + sorted(src.glob("cmake/*.cmake")):
        if "build" in cmake.relative_to(src).parts[:1]:
            continue
        for match in OPTION.finditer(cmake.read_text(encoding="utf-8")):
            option = match.group(1) or match.group(2)
            if option not in release:
                yield f"docs/release.md: configure option {option} ({cmake.relative_to(src)}) is not explained"


def missing_outputs(src, bin_dir):
    for name in BIN_NAME.findall((src / "README.md").read_text(encoding="utf-8")):
        if not (bin_dir / name).exists():
            yield f"README.md: lists build/bin/{name}, which the build did not write"


def main():
    src, bin_dir = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    faults = [*broken_links(src), *code_table_differences(src), *install_call_differences(src),
              *undocumented_options(src),
              *missing_outputs(src, bin_dir)]
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())

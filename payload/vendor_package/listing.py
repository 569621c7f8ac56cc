"""The listing of keysetup.exe's payload (keysetup.payload.txt): a header
saying what was built from what, then one line per resource with type, ID,
deployed name, size, SHA-256, origin and, after "|", what the package check
found for that file and, for a program, who signed it. Holds nothing that
differs between two builds of the same inputs."""
import hashlib
import os
import subprocess

from .pe_files import program_signer

WARNING_KEY = "!warning"  # a notes line holding a warning of the check


def source_commit(source_dir):
    """The checked-out commit of the sources, or "not a git checkout"."""
    def git(*words):
        return subprocess.run(["git", "-C", source_dir, *words], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True, check=False)
    top = git("rev-parse", "--show-toplevel")
    if top.returncode != 0 or os.path.realpath(top.stdout.strip()) != os.path.realpath(source_dir):
        return "not a git checkout"
    commit = git("rev-parse", "HEAD").stdout.strip()
    changed = git("status", "--porcelain", "--untracked-files=no").stdout.strip()
    return f"git commit {commit}{', with uncommitted changes' if changed else ''}"


def read_notes(path):
    """({TYPE/NAME: notes}, [warnings]) of the check's notes file."""
    checks, warnings = {}, []
    if path and os.path.exists(path):
        with open(path) as stream:
            for line in stream.read().splitlines():
                key, _, text = line.partition("\t")
                if key == WARNING_KEY:
                    warnings.append(text)
                else:
                    checks[key] = text
    return checks, warnings


def row_line(row, checks):
    kind, resource_id, name, path, origin = row
    with open(path, "rb") as stream:
        data = stream.read()
    found = "placeholder, not checked" if origin == "placeholder" else checks.get(f"{kind}/{name}", "not checked")
    if name.lower().endswith(".exe"):
        found += f"; {program_signer(data)}"
    return f"{kind} {resource_id} {name} {len(data)} {hashlib.sha256(data).hexdigest()} {origin} | {found}"


def write_listing(output, rows_file, notes_file, messages_file, header):
    """header: (label, text) pairs, written in order. rows_file: one
    resource a line, TYPE ID NAME FILE ORIGIN tab-separated; messages_file:
    the configure's warnings about the vendor directory, a line each."""
    checks, warnings = read_notes(notes_file)
    if messages_file and os.path.exists(messages_file):
        with open(messages_file) as stream:
            warnings = [line for line in stream.read().splitlines() if line] + warnings
    with open(rows_file) as stream:
        rows = [line.split("\t") for line in stream.read().splitlines() if line]
    lines = ["# keysetup.exe payload listing"]
    lines += [f"# {label}: {text}" for label, text in header]
    lines += [f"# {line}" for line in warnings] or ["# no warnings"]
    lines.append("# type id deployed-name size sha256 origin | checks")
    lines += [row_line(row, checks) for row in rows]
    with open(output, "w") as stream:
        stream.write("\n".join(lines) + "\n")

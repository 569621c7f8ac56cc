#!/usr/bin/python3
"""Writes the release archive: the given files in one folder, with a
SHA256SUMS over them, in name order, each with the same fixed time stamp
and permissions, so that the same files give the same archive bytes.

usage: make-release-zip.py ARCHIVE FOLDER NAME=FILE...
  NAME: the file's path in FOLDER ("deploy/install.cmd")
"""
import hashlib
import sys
import zipfile

# The earliest time a zip entry can hold: no build's clock shows in it.
FIXED_TIME = (1980, 1, 1, 0, 0, 0)
FILE_MODE = 0o100644
SUMS_NAME = "SHA256SUMS"


def entry(folder, name):
    info = zipfile.ZipInfo(f"{folder}/{name}", FIXED_TIME)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # Unix, so that the mode below is read
    info.external_attr = FILE_MODE << 16
    return info


def main(argv):
    archive, folder, pairs = argv[0], argv[1], argv[2:]
    contents = {}
    for pair in pairs:
        name, path = pair.split("=", 1)
        with open(path, "rb") as stream:
            contents[name] = stream.read()
    # sha256sum -c and Get-FileHash read the same lines: "HASH  NAME".
    sums = "".join(f"{hashlib.sha256(contents[name]).hexdigest()}  {name}\n" for name in sorted(contents))
    contents[SUMS_NAME] = sums.encode("ascii")
    with zipfile.ZipFile(archive, "w") as output:
        for name in sorted(contents):
            output.writestr(entry(folder, name), contents[name], compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

"""Writes one resource of a PE file, as the program carries it, to a file.

usage: pe_resource.py EXE TYPE ID OUT   (TYPE a name such as UNINSTALL, ID a number)
"""
import sys

import pefile


def find_entry(directory, name=None, number=None):
    for entry in directory.entries:
        if name is not None and entry.name is not None and str(entry.name) == name:
            return entry
        if number is not None and entry.name is None and entry.id == number:
            return entry
    return None


def main():
    exe, type_name, number, out = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    by_type = find_entry(pe.DIRECTORY_ENTRY_RESOURCE, name=type_name)
    by_id = find_entry(by_type.directory, number=number) if by_type else None
    if by_id is None:
        sys.exit(f"{exe}: no resource {type_name} {number}")
    data = by_id.directory.entries[0].data.struct
    with open(out, "wb") as f:
        f.write(pe.get_data(data.OffsetToData, data.Size))


main()

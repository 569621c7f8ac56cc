#!/usr/bin/env python3
"""Writes the bytes of one resource of a PE file to stdout, read host-side.

usage: pe_resource.py FILE TYPE ID   (TYPE a string-named type such as DLL)
"""
import struct
import sys


def resource(data, wanted_type, wanted_id):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, pe + 6)
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    rva, _ = struct.unpack_from("<II", data, optional + (96 if magic == 0x10B else 112) + 2 * 8)
    table = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
             for i in range(sections)]

    def offset(address):
        for size, start, _, raw in table:
            if start <= address < start + size:
                return raw + address - start
        raise ValueError(f"address 0x{address:x} in no section")

    root = offset(rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", data, directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, directory + 16 + 8 * i)
            if name & 0x80000000:
                length, = struct.unpack_from("<H", data, root + (name & 0x7FFFFFFF))
                start = root + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            yield name, root + (target & 0x7FFFFFFF), bool(target & 0x80000000)

    for type_name, type_dir, _ in entries(root):
        if str(type_name).upper() != wanted_type.upper():
            continue
        for id_name, id_dir, _ in entries(type_dir):
            if id_name == wanted_id:
                _, data_entry, _ = next(entries(id_dir))
                address, size = struct.unpack_from("<II", data, data_entry)
                return data[offset(address):offset(address) + size]
    return None


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as stream:
        found = resource(stream.read(), sys.argv[2], int(sys.argv[3]))
    if found is None:
        sys.exit(f"{sys.argv[1]}: no resource {sys.argv[2]} {sys.argv[3]}")
    sys.stdout.buffer.write(found)

#!/usr/bin/env python3
"""Checks the vendor's driver packages before keysetup.exe embeds them.

usage: check-vendor-package.py --hardware-id ID [--notes FILE] TYPE/NAME=PATH...

Each argument names a payload file by resource type and deployed name and
gives the file embedded for it. Prints one line per fault, naming the file,
and exits 1 if there is any; a text encoding other than the one Windows'
setup tools write is only a warning. Silent on success. With --notes, writes
what was checked per file ("TYPE/NAME<TAB>notes") for the payload listing.

Not checked here: the catalogues' signatures and their chains to a root
that Windows trusts.
"""
import hashlib
import struct
import sys

DRIVERS = {"DLL/ZIVIRIZ.sys": "i386", "DEV64/ZIVIRIZ.sys": "x86-64", "DEV98/ziviriz.sys": "i386",
           "OLDVID/QVUSB.SYS": "i386", "OLDVID98/QVUSB.SYS": "i386"}
LIBRARIES = ("DEV98/newdev.dll", "DEV98/WinSCard.dll")
PROGRAMS = {"DEV64/DrvInst64.exe": "x86-64"}
# catalogue: (INF, driver) of its package
PACKAGES = {"DLL/ziviriz.cat": ("DLL/ZIVIRIZ.inf", "DLL/ZIVIRIZ.sys"),
            "DEV64/ziviriz.cat": ("DEV64/ZIVIRIZ.inf", "DEV64/ZIVIRIZ.sys")}
# INF: (driver it copies, declares the hardware ID, encoding Windows' tools write or None)
INFS = {"DLL/ZIVIRIZ.inf": ("ZIVIRIZ.sys", True, "utf-16le"),
        "DEV64/ZIVIRIZ.inf": ("ZIVIRIZ.sys", True, "utf-16le"),
        "DEV98/ZIVIRIZ.INF": ("ziviriz.sys", True, "ansi"),
        "OLDVID/QVUSB.INF": ("QVUSB.SYS", False, None),
        "OLDVID98/QVUSB.INF": ("QVUSB.SYS", False, None)}
X64_INF = "DEV64/ZIVIRIZ.inf"

MACHINES = {0x14C: "i386", 0x8664: "x86-64"}
SUBSYSTEMS = {1: "native", 2: "windows-gui", 3: "windows-cui"}
IMAGE_FILE_DLL = 0x2000
OID_SIGNED_DATA = "1.2.840.113549.1.7.2"
OID_TRUST_LIST = "1.3.6.1.4.1.311.10.1"
OID_CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"
OID_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
DIGESTS = {"1.3.14.3.2.26": "sha1", "2.16.840.1.101.3.4.2.1": "sha256",
           "2.16.840.1.101.3.4.2.2": "sha384", "2.16.840.1.101.3.4.2.3": "sha512"}
INF_LINE_LIMIT = 255  # longest line text the uninstall's INF matcher reads

faults = []
warnings = []
notes = {}


def fault(key, text):
    faults.append(f"{key}: {text}")


def note(key, text):
    notes.setdefault(key, []).append(text)


# --- PE images -----------------------------------------------------------

def pe_header(data):
    """(machine, characteristics, subsystem) of a PE image, or None."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    # up to the certificate table entry of a PE32+ optional header
    if len(data) < pe + 24 + 152 or data[pe:pe + 4] != b"PE\0\0":
        return None
    machine, = struct.unpack_from("<H", data, pe + 4)
    characteristics, = struct.unpack_from("<H", data, pe + 22)
    subsystem, = struct.unpack_from("<H", data, pe + 24 + 68)
    return machine, characteristics, subsystem


def check_pe(key, data, machine, subsystems, dll):
    """Faults of one PE file against the machine, subsystems and DLL flag it needs."""
    header = pe_header(data)
    if header is None:
        fault(key, "not a PE image")
        return
    found_machine = MACHINES.get(header[0], f"0x{header[0]:04x}")
    found_subsystem = SUBSYSTEMS.get(header[2], str(header[2]))
    is_dll = bool(header[1] & IMAGE_FILE_DLL)
    # the first fault only: the others follow from it
    if found_machine != machine:
        fault(key, f"machine {found_machine}, expected {machine}")
    elif dll is not None and is_dll != dll:
        fault(key, "not a DLL" if dll else "a DLL, not a program")
    elif found_subsystem not in subsystems:
        fault(key, f"subsystem {found_subsystem}, expected {' or '.join(subsystems)}")
    else:
        note(key, f"pe {'dll ' if is_dll else ''}{found_subsystem} {found_machine}")


def authenticode_digest(data, algorithm):
    """The PE image's Authenticode hash: every byte but the checksum, the
    certificate table entry and the certificate table; an unsigned image is
    hashed as if padded to 8 bytes, as signing pads it."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic, = struct.unpack_from("<H", data, optional)
    checksum = optional + 64
    certificate_entry = optional + (96 if magic == 0x10B else 112) + 4 * 8
    table, size = struct.unpack_from("<II", data, certificate_entry)
    end = table if table and size else len(data)
    digest = hashlib.new(algorithm)
    digest.update(data[:checksum])
    digest.update(data[checksum + 4:certificate_entry])
    digest.update(data[certificate_entry + 8:end])
    if not size:
        digest.update(b"\0" * (-len(data) % 8))
    return digest.digest()


# --- catalogues: a DER walk through SignedData to the trust list ----------

def der_items(data, start, end):
    """(tag, content start, content end) of each DER element in data[start:end]."""
    items = []
    while start < end:
        tag, length = data[start], data[start + 1]
        start += 2
        if length & 0x80:
            count = length & 0x7F
            if not 1 <= count <= 4:
                raise ValueError("unsupported length")
            length = int.from_bytes(data[start:start + count], "big")
            start += count
        if start + length > end:
            raise ValueError("truncated")
        items.append((tag, start, start + length))
        start += length
    return items


def inside(data, item):
    return der_items(data, item[1], item[2])


def oid_text(data, item):
    values, value = [], 0
    for byte in data[item[1]:item[2]]:
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            values.append(value)
            value = 0
    first = min(values[0] // 40, 2)
    return ".".join(str(v) for v in [first, values[0] - 40 * first] + values[1:])


NOT_A_CATALOGUE = "not a DER PKCS#7 SignedData holding a catalogue trust list"


def trust_list(data):
    """The catalogue's trust list element, or a text saying what it is not."""
    top = der_items(data, 0, len(data))
    if len(top) != 1 or top[0][0] != 0x30:
        return NOT_A_CATALOGUE
    info = inside(data, top[0])
    if len(info) != 2 or info[0][0] != 0x06 or oid_text(data, info[0]) != OID_SIGNED_DATA:
        return NOT_A_CATALOGUE
    signed = inside(data, inside(data, info[1])[0])
    content = inside(data, signed[2])
    if oid_text(data, content[0]) != OID_TRUST_LIST:
        return f"content type {oid_text(data, content[0])}, not a certificate trust list ({OID_TRUST_LIST})"
    if signed[-1][0] != 0x31 or not inside(data, signed[-1]):
        return "holds no signature"
    # PKCS#7 puts the trust list itself in [0], CMS an OCTET STRING holding it
    wrapped = inside(data, content[1])[0]
    ctl = inside(data, wrapped)[0] if wrapped[0] == 0x04 else wrapped
    return ctl


def catalogue_members(data, ctl):
    """(subject identifier, digest algorithm, digest) of each member."""
    sequences = [item for item in inside(data, ctl) if item[0] == 0x30]
    usages = [oid_text(data, item) for item in inside(data, sequences[0])]
    if OID_CATALOG_LIST not in usages:
        raise ValueError("trust list is not a catalogue list")
    members = []
    for subject in inside(data, sequences[2]) if len(sequences) > 2 else []:
        identifier, attributes = inside(data, subject)[:2]
        for attribute in inside(data, attributes):
            kind, values = inside(data, attribute)
            if oid_text(data, kind) != OID_INDIRECT_DATA:
                continue
            digest_info = inside(data, inside(data, values)[0])[1]
            algorithm, digest = inside(data, digest_info)
            name = DIGESTS.get(oid_text(data, inside(data, algorithm)[0]))
            members.append((data[identifier[1]:identifier[2]], name, data[digest[1]:digest[2]]))
    return members


def hash_tag(digest):
    """The member name Windows looks a hash up by: upper-case hex, UTF-16LE, NUL-terminated."""
    return (digest.hex().upper() + "\0").encode("utf-16-le")


def check_catalogue(key, files):
    data = files[key]
    try:
        ctl = trust_list(data)
        if isinstance(ctl, str):
            fault(key, ctl)
            return
        members = catalogue_members(data, ctl)
    except (ValueError, IndexError):
        fault(key, NOT_A_CATALOGUE)
        return
    algorithms = sorted({m[1] for m in members if m[1]}) or ["sha1"]
    note(key, f"catalogue of {len(members)} members ({', '.join(algorithms)})")
    for member_key in PACKAGES[key]:
        if member_key not in files:
            continue
        member = files[member_key]
        is_pe = pe_header(member) is not None
        listed = None
        for algorithm in algorithms:
            digest = authenticode_digest(member, algorithm) if is_pe else hashlib.new(algorithm, member).digest()
            if any(m[1] == algorithm and m[2] == digest and m[0] in (hash_tag(digest), hash_tag(digest)[:-2])
                   for m in members):
                listed = algorithm
                break
        kind = "Authenticode hash" if is_pe else "file hash"
        if listed:
            note(member_key, f"listed in {key} ({listed})")
        else:
            fault(key, f"does not list {member_key} (its {algorithms[0]} {kind} {digest.hex()})")


# --- INFs ----------------------------------------------------------------

def inf_encoding(data):
    if data.startswith(b"\xff\xfe"):
        return "utf-16le", data[2:].decode("utf-16-le", "replace")
    if data.startswith(b"\xef\xbb\xbf"):
        return "utf-8", data[3:].decode("utf-8", "replace")
    return "ansi", data.decode("latin-1")


def split_fields(text):
    """Comma-separated fields of a line, quotes removed, comment dropped."""
    fields, field, quoted = [], "", False
    for char in text:
        if char == '"':
            quoted = not quoted
        elif char == ";" and not quoted:
            break
        elif char == "," and not quoted:
            fields.append(field.strip())
            field = ""
        else:
            field += char
    fields.append(field.strip())
    return fields


def parse_inf(text):
    """{section (lower case): [(key, [fields], line text)]}, strings substituted."""
    sections, current = {}, None
    for line in text.replace("\\\r\n", "").replace("\\\n", "").splitlines():
        stripped = line.strip()
        if stripped.startswith("["):
            current = sections.setdefault(stripped[1:stripped.find("]")].strip().lower(), [])
            continue
        if current is None or not split_fields(stripped)[0] and "=" not in stripped:
            continue
        key, _, value = stripped.partition("=") if "=" in stripped.split(";")[0] else ("", "", stripped)
        current.append((key.strip(), split_fields(value), stripped.split(";")[0].strip()))
    strings = {k.lower(): f[0] for k, f, _ in sections.get("strings", [])}

    def substitute(field):
        parts = field.split("%")
        return "".join(strings.get(p.lower(), p) if i % 2 else p for i, p in enumerate(parts))
    return {name: [(key, [substitute(f) for f in fields], text) for key, fields, text in lines]
            for name, lines in sections.items()}


def first_manufacturer(sections):
    lines = sections.get("manufacturer", [])
    return lines[0][1] if lines else []


def declares_hardware_id(sections, hardware_id):
    """Read as the uninstall's INF matcher reads it: field 2 of a model line in the
    first manufacturer's models section, undecorated or decorated; a line without
    field 2, or too long, ends the scan of its section."""
    manufacturer = first_manufacturer(sections)
    if not manufacturer or not manufacturer[0]:
        return False
    names = [manufacturer[0]] + [f"{manufacturer[0]}.{d}" for d in manufacturer[1:]]
    for name in names:
        for _, fields, text in sections.get(name.lower(), []):
            if len(fields) < 2 or len(text) > INF_LINE_LIMIT:
                break
            if fields[1].lower() == hardware_id.lower():
                return True
    return False


def copied_drivers(sections):
    """Names of the .sys files the INF's CopyFiles directives copy."""
    names = set()
    for lines in sections.values():
        for key, fields, _ in lines:
            if key.lower() != "copyfiles":
                continue
            for field in fields:
                if field.startswith("@"):
                    names.add(field[1:])
                else:
                    names.update(f[0] for _, f, _ in sections.get(field.lower(), []))
    return {name for name in names if name.lower().endswith(".sys")}


def check_inf(key, data, hardware_id):
    driver, current, expected_encoding = INFS[key]
    encoding, text = inf_encoding(data)
    if expected_encoding and encoding != expected_encoding:
        warnings.append(f"warning: {key}: {encoding}, expected {expected_encoding} (embedded as it is)")
    note(key, encoding)
    sections = parse_inf(text)
    declared = declares_hardware_id(sections, hardware_id)
    if current and not declared:
        fault(key, f"{hardware_id} is not the first hardware ID of a model of its first manufacturer")
    elif not current and declared:
        fault(key, f"declares {hardware_id}, the current generation's hardware ID")
    else:
        note(key, f"{'declares' if current else 'does not declare'} {hardware_id}")
    if key == X64_INF:
        if any(d.lower().startswith("ntamd64") for d in first_manufacturer(sections)[1:]):
            note(key, "NTamd64 models")
        else:
            fault(key, "its first [Manufacturer] line has no NTamd64 decoration")
    copied = copied_drivers(sections)
    if {name.lower() for name in copied} == {driver.lower()}:
        note(key, f"copies {driver}")
    else:
        fault(key, f"copies {', '.join(sorted(copied)) or 'no driver'}, not {driver}")


def main(argv):
    hardware_id, notes_file, files = None, None, {}
    arguments = iter(argv)
    for argument in arguments:
        if argument == "--hardware-id":
            hardware_id = next(arguments)
        elif argument == "--notes":
            notes_file = next(arguments)
        else:
            key, _, path = argument.partition("=")
            with open(path, "rb") as stream:
                files[key] = stream.read()
    # catalogues last: their notes follow those of the files they list
    for key in sorted(files, key=lambda k: k in PACKAGES):
        data = files[key]
        if key in DRIVERS:
            check_pe(key, data, DRIVERS[key], ["native"], None)
        elif key in LIBRARIES:
            check_pe(key, data, "i386", ["windows-gui", "windows-cui"], True)
        elif key in PROGRAMS:
            check_pe(key, data, PROGRAMS[key], ["windows-gui", "windows-cui"], False)
        elif key in PACKAGES:
            check_catalogue(key, files)
        elif key in INFS:
            check_inf(key, data, hardware_id)
        else:
            sys.exit(f"check-vendor-package.py: unknown payload file {key}")
    for line in warnings + faults:
        print(line)
    if faults:
        return 1
    if notes_file:
        with open(notes_file, "w") as stream:
            for key in sorted(files):
                stream.write(f"{key}\t{'; '.join(notes.get(key, []))}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

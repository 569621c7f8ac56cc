#!/usr/bin/python3
"""Checks the vendor's driver packages before keysetup.exe embeds them.

usage: check-vendor-package.py --hardware-id ID [--strict] [--notes FILE] TYPE/NAME=PATH...

Each argument names a payload file by resource type and deployed name and
gives the file embedded for it. Prints one line per fault, naming the file,
and exits 1 if there is any. What will keep Windows from loading or
trusting the driver on some machines (memory integrity, the x64
catalogue's signer, a file Windows 7 cannot find in its catalogue) is a
warning, a fault with --strict; that the older generation's INF has no
catalogue in the payload, which no vendor file can change, is always a
warning. Without faults or warnings it is silent. With --notes, writes
what was checked per file ("TYPE/NAME<TAB>notes") for the payload listing.

Needs the Debian packages python3-asn1crypto and python3-pefile: run it
with Debian's interpreter, /usr/bin/python3.

Not checked here: the catalogues' signatures and their chains to a root
that Windows trusts.
"""
import hashlib
import re
import sys

try:
    import pefile
    from asn1crypto import cms, core, x509
except ImportError as missing:
    sys.exit(f"check-vendor-package.py: {sys.executable} has no Python module {missing.name} "
             f"(Debian package python3-{missing.name}); run the check with /usr/bin/python3")

DRIVERS = {"DLL/ZIVIRIZ.sys": "i386", "DEV64/ZIVIRIZ.sys": "x86-64", "DEV98/ziviriz.sys": "i386",
           "OLDVID/QVUSB.SYS": "i386", "OLDVID98/QVUSB.SYS": "i386"}
LIBRARIES = ("DEV98/newdev.dll", "DEV98/WinSCard.dll")
PROGRAMS = {"DEV64/DrvInst64.exe": "x86-64"}
# catalogue: (INF, driver) of its package
PACKAGES = {"DLL/ziviriz.cat": ("DLL/ZIVIRIZ.inf", "DLL/ZIVIRIZ.sys"),
            "DEV64/ziviriz.cat": ("DEV64/ZIVIRIZ.inf", "DEV64/ZIVIRIZ.sys")}
# INF: (driver it copies, declares the hardware ID)
INFS = {"DLL/ZIVIRIZ.inf": ("ZIVIRIZ.sys", True),
        "DEV64/ZIVIRIZ.inf": ("ZIVIRIZ.sys", True),
        "DEV98/ZIVIRIZ.INF": ("ziviriz.sys", True),
        "OLDVID/QVUSB.INF": ("QVUSB.SYS", False),
        "OLDVID98/QVUSB.INF": ("QVUSB.SYS", False)}
# NT INF: (its package's catalogue, the platform decoration Windows looks up first)
SIGNED_INFS = {"DLL/ZIVIRIZ.inf": ("DLL/ziviriz.cat", "NTx86"),
               "DEV64/ZIVIRIZ.inf": ("DEV64/ziviriz.cat", "NTamd64")}
# The older generation's INF, carried twice: no catalogue of the payload signs it.
UNSIGNED_INFS = ("OLDVID/QVUSB.INF", "OLDVID98/QVUSB.INF")
X64_INF = "DEV64/ZIVIRIZ.inf"
# INF: the decoration its first [Manufacturer] line must carry
PLATFORM_INFS = {X64_INF: "NTamd64"}

# The ARM64 package ("DEVA64"): an ARM64 driver and helper, an INF with
# NTarm64 models whose catalogue Windows looks up as CatalogFile.NTarm64.
ARM64_INF = "DEVA64/ZIVIRIZ.inf"
DRIVERS["DEVA64/ZIVIRIZ.sys"] = "arm64"
PROGRAMS["DEVA64/DrvInstA64.exe"] = "arm64"
PACKAGES["DEVA64/ziviriz.cat"] = (ARM64_INF, "DEVA64/ZIVIRIZ.sys")
INFS[ARM64_INF] = ("ZIVIRIZ.sys", True)
SIGNED_INFS[ARM64_INF] = ("DEVA64/ziviriz.cat", "NTarm64")
PLATFORM_INFS[ARM64_INF] = "NTarm64"
# The 64-bit kernel drivers (x64 and ARM64) and their catalogues: memory
# integrity and the signing policy of 64-bit Windows 10 concern them.
DRIVERS_64 = [key for key, machine in DRIVERS.items() if machine in ("x86-64", "arm64")]
CATALOGUES_64 = [key for key, (_, driver) in PACKAGES.items() if driver in DRIVERS_64]
ARM64_CATALOGUES = ["DEVA64/ziviriz.cat"]

MACHINES = {0x14C: "i386", 0x8664: "x86-64", 0xAA64: "arm64"}
SUBSYSTEMS = {1: "native", 2: "windows-gui", 3: "windows-cui"}
IMAGE_FILE_DLL = 0x2000
SECURITY_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
OID_SIGNED_DATA = "1.2.840.113549.1.7.2"
OID_TRUST_LIST = "1.3.6.1.4.1.311.10.1"
OID_CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"
OID_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
OID_NAME_VALUE = "1.3.6.1.4.1.311.12.2.1"
# trust-list subject algorithm: catalogue form
FORMS = {"1.3.6.1.4.1.311.12.1.2": "v1", "1.3.6.1.4.1.311.12.1.3": "v2"}
DIGESTS = {"1.3.14.3.2.26": "sha1", "2.16.840.1.101.3.4.2.1": "sha256",
           "2.16.840.1.101.3.4.2.2": "sha384", "2.16.840.1.101.3.4.2.3": "sha512"}
# The digests Windows looks files up by: SHA-1 (every Windows), SHA-256
# (Windows 8 and later, where the catalogue has it).
LOOKUP_DIGESTS = ("sha1", "sha256")
HARDWARE_PUBLISHER = "Microsoft Windows Hardware Compatibility Publisher"
WINDOWS_7 = (6, 1)
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
PAGE_SIZE = 0x1000
INF_LINE_LIMIT = 255  # longest line text the uninstall's INF matcher reads

faults = []
warnings = []
notes = {}


def fault(key, text):
    faults.append(f"{key}: {text}")


def warning(key, text):
    warnings.append(f"warning: {key}: {text}")


def note(key, text):
    notes.setdefault(key, []).append(text)


# --- PE images -----------------------------------------------------------

def pe_image(data):
    """The PE headers of data (pefile), or None when it is no PE image or
    its header ends before the certificate table entry."""
    try:
        image = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError:
        return None
    directories = image.OPTIONAL_HEADER.DATA_DIRECTORY
    if len(directories) <= SECURITY_DIRECTORY or directories[SECURITY_DIRECTORY].get_file_offset() + 8 > len(data):
        return None
    return image


def check_pe(key, data, machine, subsystems, dll):
    """Faults of one PE file against the machine, subsystems and DLL flag it
    needs; its headers when it has none."""
    image = pe_image(data)
    if image is None:
        fault(key, "not a PE image")
        return None
    found_machine = MACHINES.get(image.FILE_HEADER.Machine, f"0x{image.FILE_HEADER.Machine:04x}")
    found_subsystem = SUBSYSTEMS.get(image.OPTIONAL_HEADER.Subsystem, str(image.OPTIONAL_HEADER.Subsystem))
    is_dll = bool(image.FILE_HEADER.Characteristics & IMAGE_FILE_DLL)
    # the first fault only: the others follow from it
    if found_machine != machine:
        fault(key, f"machine {found_machine}, expected {machine}")
    elif dll is not None and is_dll != dll:
        fault(key, "not a DLL" if dll else "a DLL, not a program")
    elif found_subsystem not in subsystems:
        fault(key, f"subsystem {found_subsystem}, expected {' or '.join(subsystems)}")
    else:
        note(key, f"pe {'dll ' if is_dll else ''}{found_subsystem} {found_machine}")
        return image
    return None


def memory_integrity_obstacles(image):
    """What keeps a 64-bit kernel driver from loading where memory integrity
    (HVCI) is on: a section both writable and executable, a section
    alignment that is not a whole number of pages."""
    obstacles = []
    for section in image.sections:
        if section.Characteristics & IMAGE_SCN_MEM_WRITE and section.Characteristics & IMAGE_SCN_MEM_EXECUTE:
            name = section.Name.rstrip(b"\0").decode("latin-1")
            obstacles.append(f"section {name} is writable and executable")
    alignment = image.OPTIONAL_HEADER.SectionAlignment
    if alignment % PAGE_SIZE:
        obstacles.append(f"SectionAlignment 0x{alignment:x} is not a multiple of 0x{PAGE_SIZE:x}")
    return obstacles


def check_memory_integrity(key, image):
    obstacles = memory_integrity_obstacles(image)
    if obstacles:
        warning(key, f"{', '.join(obstacles)}: will not load where memory integrity (HVCI) is on")
        note(key, f"memory integrity: incompatible ({', '.join(obstacles)})")
    else:
        note(key, "memory integrity: compatible")


def authenticode_digest(image, data, algorithm):
    """The PE image's Authenticode hash: every byte but the checksum, the
    certificate table entry and the certificate table; an unsigned image is
    hashed as if padded to 8 bytes, as signing pads it."""
    checksum = image.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
    entry = image.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY]
    certificate_entry = entry.get_file_offset()
    end = entry.VirtualAddress if entry.VirtualAddress and entry.Size else len(data)
    digest = hashlib.new(algorithm)
    digest.update(data[:checksum])
    digest.update(data[checksum + 4:certificate_entry])
    digest.update(data[certificate_entry + 8:end])
    if not entry.Size:
        digest.update(b"\0" * (-len(data) % 8))
    return digest.digest()


def member_digest(data, algorithm):
    """(digest, kind) a catalogue lists a file by: a PE image's Authenticode
    hash, any other file's hash."""
    image = pe_image(data)
    if image is None:
        return hashlib.new(algorithm, data).digest(), "file hash"
    return authenticode_digest(image, data, algorithm), "Authenticode hash"


# --- catalogues: SignedData around a certificate trust list ---------------

class Algorithm(core.Sequence):
    _fields = [("algorithm", core.ObjectIdentifier), ("parameters", core.Any, {"optional": True})]


class DigestInfo(core.Sequence):
    _fields = [("digest_algorithm", Algorithm), ("digest", core.OctetString)]


class IndirectData(core.Sequence):
    """SpcIndirectDataContent: what a member is, and its digest."""
    _fields = [("data", core.Any), ("message_digest", DigestInfo)]


class AttributeValues(core.SetOf):
    _child_spec = core.Any


class MemberAttribute(core.Sequence):
    _fields = [("type", core.ObjectIdentifier), ("values", AttributeValues)]


class MemberAttributes(core.SetOf):
    _child_spec = MemberAttribute


class Member(core.Sequence):
    """TrustedSubject: the member's tag and attributes."""
    _fields = [("identifier", core.OctetString), ("attributes", MemberAttributes, {"optional": True})]


class Members(core.SequenceOf):
    _child_spec = Member


class Usages(core.SequenceOf):
    _child_spec = core.ObjectIdentifier


class TrustList(core.Sequence):
    """The certificate trust list a catalogue signs."""
    _fields = [("version", core.Integer, {"optional": True}),
               ("subject_usage", Usages),
               ("list_identifier", core.OctetString, {"optional": True}),
               ("sequence_number", core.Integer, {"optional": True}),
               ("this_update", x509.Time),
               ("next_update", x509.Time, {"optional": True}),
               ("subject_algorithm", Algorithm),
               ("members", Members, {"optional": True}),
               ("extensions", core.Any, {"explicit": 0, "optional": True})]


class SignedContent(core.Sequence):
    """The signed content, left unparsed: PKCS#7 puts the trust list itself
    in [0], CMS an OCTET STRING holding it."""
    _fields = [("content_type", core.ObjectIdentifier), ("content", core.Any, {"explicit": 0, "optional": True})]


class CatalogueSignedData(core.Sequence):
    _fields = [("version", core.Integer),
               ("digest_algorithms", cms.DigestAlgorithms),
               ("content", SignedContent),
               ("certificates", cms.CertificateSet, {"implicit": 0, "optional": True}),
               ("crls", cms.RevocationInfoChoices, {"implicit": 1, "optional": True}),
               ("signer_infos", cms.SignerInfos)]


class Catalogue(core.Sequence):
    _fields = [("content_type", core.ObjectIdentifier),
               ("content", CatalogueSignedData, {"explicit": 0, "optional": True})]


NOT_A_CATALOGUE = "not a DER PKCS#7 SignedData holding a catalogue trust list"
# what asn1crypto raises on DER that does not fit the structure
DER_ERRORS = (ValueError, TypeError, KeyError, IndexError, AttributeError)


class NameValue(core.Sequence):
    """CAT_NAMEVALUE: a member's named text, such as File or OSAttr."""
    _fields = [("name", core.BMPString), ("flags", core.Integer), ("value", core.OctetString)]


def read_catalogue(data):
    """(SignedData, trust list) of a catalogue, or a text saying what it is not."""
    catalogue = Catalogue.load(data, strict=True)
    if catalogue["content_type"].dotted != OID_SIGNED_DATA:
        return NOT_A_CATALOGUE
    signed = catalogue["content"]
    content_type = signed["content"]["content_type"].dotted
    if content_type != OID_TRUST_LIST:
        return f"content type {content_type}, not a certificate trust list ({OID_TRUST_LIST})"
    if not len(signed["signer_infos"]):
        return "holds no signature"
    content = signed["content"]["content"].parse()
    ctl = TrustList.load(content.native if isinstance(content, core.OctetString) else content.untag().dump())
    return signed, ctl


def tag_digest(tag):
    """The algorithm of the digest a v2 member's tag is: its raw bytes."""
    return {hashlib.new(name).digest_size: name for name in LOOKUP_DIGESTS}.get(len(tag))


def catalogue_members(ctl):
    """Each member: its tag, the digest algorithm and digest of its
    SpcIndirectData (None without one: v2's SHA-1 members) and its
    name-values."""
    if OID_CATALOG_LIST not in [usage.dotted for usage in ctl["subject_usage"]]:
        raise ValueError("trust list is not a catalogue list")
    members = []
    for member in ctl["members"] if isinstance(ctl["members"], Members) else []:
        found = {"tag": member["identifier"].native, "algorithm": None, "digest": None, "names": {}}
        attributes = member["attributes"]
        for attribute in attributes if isinstance(attributes, MemberAttributes) else []:
            if attribute["type"].dotted == OID_INDIRECT_DATA:
                digest_info = attribute["values"][0].parse(IndirectData)["message_digest"]
                found["algorithm"] = DIGESTS.get(digest_info["digest_algorithm"]["algorithm"].dotted)
                found["digest"] = digest_info["digest"].native
            elif attribute["type"].dotted == OID_NAME_VALUE:
                pair = attribute["values"][0].parse(NameValue)
                found["names"][pair["name"].native] = pair["value"].native.decode("utf-16-le").rstrip("\0")
        found["algorithm"] = found["algorithm"] or tag_digest(found["tag"])
        members.append(found)
    return members


def hash_tag(digest):
    """The member name Windows looks a hash up by in a v1 catalogue:
    upper-case hex, UTF-16LE, NUL-terminated."""
    return (digest.hex().upper() + "\0").encode("utf-16-le")


def member_tags(form, digest):
    """The tags a member listing the digest has in the catalogue's form."""
    return (digest,) if form == "v2" else (hash_tag(digest), hash_tag(digest)[:-2])


def listed_digests(form, members, data):
    """The digests by which Windows finds the file in the catalogue: a member
    tagged with the file's digest in the catalogue's form, whose
    SpcIndirectData, where it has one, holds that same digest."""
    listed = []
    for algorithm in LOOKUP_DIGESTS:
        digest = member_digest(data, algorithm)[0]
        tags = member_tags(form, digest)
        if any(m["tag"] in tags and m["algorithm"] == algorithm and m["digest"] in (None, digest) for m in members):
            listed.append(algorithm)
    return listed


def catalogue_signer(signed):
    """The subject name of the certificate that signed the catalogue, None
    when the catalogue does not carry it."""
    sid = signed["signer_infos"][0]["sid"]
    for choice in signed["certificates"] if isinstance(signed["certificates"], cms.CertificateSet) else []:
        if choice.name != "certificate":
            continue
        certificate = choice.chosen
        if sid.name == "issuer_and_serial_number":
            same = (certificate.issuer == sid.chosen["issuer"]
                    and certificate.serial_number == sid.chosen["serial_number"].native)
        else:
            same = certificate.key_identifier == sid.chosen.native
        if same:
            return certificate.subject
    return None


def windows_versions(os_attr):
    """(major, minor) of each Windows an OSAttr value names ("2:6.1,2:10.0")."""
    versions = []
    for item in os_attr.split(","):
        match = re.fullmatch(r"\s*(?:\d+:)?(\d+)\.(\d+)\s*", item)
        if match:
            versions.append((int(match.group(1)), int(match.group(2))))
    return versions


def check_signer(key, subject):
    """The signer's name as the catalogue gives it; whether its signature
    and chain hold is not checked here."""
    common_name = subject.native.get("common_name") if subject else None
    note(key, f"signer {subject.human_friendly if subject else 'not among its certificates'}")
    if key in CATALOGUES_64 and common_name != HARDWARE_PUBLISHER:
        warning(key, f"signed by {common_name or 'an unknown signer'}, not {HARDWARE_PUBLISHER}: 64-bit Windows 10 "
                     "version 1607 and later load a new kernel driver signed so only where Secure Boot is off, "
                     "the PC was upgraded from an earlier Windows, or the signing certificate was cross-signed "
                     "and issued before 29 July 2015")


def check_catalogue(key, files):
    try:
        found = read_catalogue(files[key])
        if isinstance(found, str):
            fault(key, found)
            return
        signed, ctl = found
        form = FORMS.get(ctl["subject_algorithm"]["algorithm"].dotted, "v1")
        members = catalogue_members(ctl)
        signer = catalogue_signer(signed)
    except DER_ERRORS:
        fault(key, NOT_A_CATALOGUE)
        return
    algorithms = sorted({m["algorithm"] for m in members if m["algorithm"]}) or ["sha1"]
    os_attr = sorted({m["names"]["OSAttr"] for m in members if "OSAttr" in m["names"]})
    note(key, f"catalogue {form} of {len(members)} members ({', '.join(algorithms)})")
    note(key, f"OSAttr {' '.join(os_attr) or 'none'}")
    check_signer(key, signer)
    # Without OSAttr, the range keysetup installs it on: from Windows 2000 and XP x64.
    # ARM64 Windows starts at Windows 10: its package serves no Windows 7.
    windows_7_or_earlier = key not in ARM64_CATALOGUES and (
        not os_attr or any(v <= WINDOWS_7 for a in os_attr for v in windows_versions(a)))
    for member_key in PACKAGES[key]:
        if member_key not in files:
            continue
        listed = listed_digests(form, members, files[member_key])
        if not listed:
            digest, kind = member_digest(files[member_key], algorithms[-1])
            fault(key, f"does not list {member_key} (its {algorithms[-1]} {kind} {digest.hex()})")
            continue
        note(member_key, f"listed in {key} ({', '.join(listed)})")
        if "sha1" not in listed and windows_7_or_earlier:
            warning(key, f"lists {member_key} by {', '.join(listed)} only: Windows 7 and earlier look a file up "
                         "in a catalogue by its SHA-1 hash, will not find it and treat the package as unsigned")


# --- INFs ----------------------------------------------------------------

def inf_encoding(data):
    if data.startswith(b"\xff\xfe"):
        return "utf-16le", data[2:].decode("utf-16-le", "replace")
    if data.startswith(b"\xef\xbb\xbf"):
        return "utf-8", data[3:].decode("utf-8", "replace")
    return "ansi", data.decode("latin-1")


def without_comment(line):
    """The line up to its comment, which starts at the first ';' outside quotes."""
    quoted = False
    for index, char in enumerate(line):
        if char == '"':
            quoted = not quoted
        elif char == ";" and not quoted:
            return line[:index]
    return line


def logical_lines(text):
    """The lines as the INF parser reads them: the text ends at a Ctrl-Z,
    comments are dropped, and a line whose text ends in a backslash goes on
    in the next one."""
    pending = ""
    for line in text.split("\x1a")[0].split("\n"):
        line = without_comment(line).rstrip()
        if line.endswith("\\"):
            pending += line[:-1]
            continue
        yield (pending + line).strip()
        pending = ""
    if pending:
        yield pending.strip()


def split_line(text):
    """(key or None, fields) of a line without its comment: the fields are
    split at commas outside quotes; a key is what comes before an '='
    outside quotes that precedes every such comma. Quotes are removed ("" in
    quotes is a quote) and each field trimmed."""
    key, fields, field, quoted, index = None, [], "", False, 0
    while index < len(text):
        char = text[index]
        if char == '"':
            if quoted and text[index + 1:index + 2] == '"':
                field += char
                index += 1
            else:
                quoted = not quoted
        elif quoted:
            field += char
        elif char == ",":
            fields.append(field.strip())
            field = ""
        elif char == "=" and key is None and not fields:
            key, field = field.strip(), ""
        else:
            field += char
        index += 1
    fields.append(field.strip())
    return key, fields


def parse_inf(text):
    """{section (lower case): [(key or None, [fields], line text)]}, strings
    substituted in the fields; the line text is what SetupGetLineText gives,
    the fields joined by commas."""
    sections, current = {}, None
    for line in logical_lines(text):
        if line.startswith("["):
            current = sections.setdefault(line[1:line.find("]")].strip().lower(), [])
        elif current is not None and line:
            current.append(split_line(line))
    strings = {key.lower(): fields[0] for key, fields in sections.get("strings", []) if key}

    def substitute(field):
        # %% is a percent sign; an unknown %name% stays as it is
        return re.sub(r"%([^%]*)%", lambda m: strings.get(m.group(1).lower(), m.group(0)) if m.group(1) else "%",
                      field)
    parsed = {}
    for name, lines in sections.items():
        parsed[name] = []
        for key, fields in lines:
            fields = [substitute(f) for f in fields]
            parsed[name].append((key, fields, ",".join(fields)))
    return parsed


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
            if (key or "").lower() != "copyfiles":
                continue
            for field in fields:
                if field.startswith("@"):
                    names.add(field[1:])
                else:
                    names.update(f[0] for _, f, _ in sections.get(field.lower(), []))
    return {name for name in names if name.lower().endswith(".sys")}


def named_catalogue(sections, platform):
    """(entry, file name) of the catalogue Windows looks up for the INF on
    the platform: CatalogFile.<platform>, else CatalogFile.NT, else
    CatalogFile, in [Version]; (None, None) when it names none."""
    entries = {key.lower(): fields for key, fields, _ in sections.get("version", []) if key}
    for entry in (f"CatalogFile.{platform}", "CatalogFile.NT", "CatalogFile"):
        if entry.lower() in entries:
            return entry, entries[entry.lower()][0]
    return None, None


def check_catalogue_name(key, sections):
    catalogue, platform = SIGNED_INFS[key]
    expected = catalogue.split("/")[1]
    entry, name = named_catalogue(sections, platform)
    if entry is None:
        fault(key, "names no CatalogFile")
    elif name.lower() != expected.lower():
        fault(key, f"{entry} names {name or 'nothing'}, not {expected}")
    else:
        note(key, f"{entry}={name}")


def check_inf(key, data, hardware_id):
    driver, current = INFS[key]
    encoding, text = inf_encoding(data)
    note(key, encoding)
    sections = parse_inf(text)
    declared = declares_hardware_id(sections, hardware_id)
    if current and not declared:
        fault(key, f"{hardware_id} is not the first hardware ID of a model of its first manufacturer")
    elif not current and declared:
        fault(key, f"declares {hardware_id}, the current generation's hardware ID")
    else:
        note(key, f"{'declares' if current else 'does not declare'} {hardware_id}")
    if key in PLATFORM_INFS:
        platform = PLATFORM_INFS[key]
        if any(d.lower().startswith(platform.lower()) for d in first_manufacturer(sections)[1:]):
            note(key, f"{platform} models")
        else:
            fault(key, f"its first [Manufacturer] line has no {platform} decoration")
    if key in SIGNED_INFS:
        check_catalogue_name(key, sections)
    copied = copied_drivers(sections)
    if {name.lower() for name in copied} == {driver.lower()}:
        note(key, f"copies {driver}")
    else:
        fault(key, f"copies {', '.join(sorted(copied)) or 'no driver'}, not {driver}")


def main(argv):
    hardware_id, notes_file, strict, files = None, None, False, {}
    arguments = iter(argv)
    for argument in arguments:
        if argument == "--hardware-id":
            hardware_id = next(arguments)
        elif argument == "--strict":
            strict = True
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
            image = check_pe(key, data, DRIVERS[key], ["native"], None)
            if image and key in DRIVERS_64:
                check_memory_integrity(key, image)
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
    unsigned = [key for key in UNSIGNED_INFS if key in files]
    if unsigned:
        # The payload has no catalogue for it: a warning even under --strict.
        print(f"warning: {' and '.join(unsigned)}: no catalogue of the payload signs the older generation's INF; "
              "Windows treats it as unsigned, and storing it on 32-bit Windows XP to 10 may show a signature prompt")
    for line in warnings + faults:
        print(line)
    if faults or (strict and warnings):
        return 1
    if notes_file:
        with open(notes_file, "w") as stream:
            for key in sorted(files):
                stream.write(f"{key}\t{'; '.join(notes.get(key, []))}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

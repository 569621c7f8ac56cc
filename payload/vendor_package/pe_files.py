"""PE files of the payload: drivers, the Windows 98/Me libraries and the
helper programs; their Authenticode hashes and signatures."""
import hashlib
import re
import subprocess

import pefile

from .findings import fault, note, warning
from .signed_data import DER_ERRORS, signer_subject, CatalogueSignedData

MACHINES = {0x14C: "i386", 0x8664: "x86-64", 0xAA64: "arm64"}
SUBSYSTEMS = {1: "native", 2: "windows-gui", 3: "windows-cui"}
IMAGE_FILE_DLL = 0x2000
SECURITY_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
PAGE_SIZE = 0x1000
# Debian's bundle of the certificate authorities a browser trusts, which
# osslsigncode verifies a vendor program's signing chain against.
CA_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
WIN_CERTIFICATE_HEADER = 8


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



def program_signer(data):
    """The subject of the certificate that signed a PE program, "unsigned"
    without a signature, or what keeps it from being read."""
    image = pe_image(data)
    entry = image.OPTIONAL_HEADER.DATA_DIRECTORY[SECURITY_DIRECTORY] if image else None
    if entry is None or not entry.VirtualAddress or not entry.Size:
        return "unsigned"
    blob = data[entry.VirtualAddress + WIN_CERTIFICATE_HEADER:entry.VirtualAddress + entry.Size]
    try:
        subject = signer_subject(CatalogueSignedData.load_signed(blob))
    except DER_ERRORS:
        return "signature unreadable"
    return f"signed by {subject.human_friendly}" if subject else "signed, signer not among its certificates"


def verify_signature(path):
    """(state, signer, reason) of a program's Authenticode signature as
    osslsigncode reads it against Debian's CA bundle: state "unsigned",
    "broken" (its hash is not the file's), "unverified" (intact, its chain
    not checked here) or "verified"."""
    result = subprocess.run(["osslsigncode", "verify", "-in", path, "-CAfile", CA_BUNDLE],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, check=False)
    output = result.stdout
    if "No signature found" in output:
        return "unsigned", None, "no signature"
    signer = re.search(r"Signer #0:\s*\n\s*Subject: (.*)", output)
    signer = signer.group(1).strip() if signer else "an unnamed signer"
    current = re.search(r"Current message digest\s*: (\S+)", output)
    calculated = re.search(r"Calculated message digest\s*: (\S+)", output)
    if not current or not calculated or current.group(1) != calculated.group(1):
        return "broken", signer, "its hash is not the file's"
    if result.returncode == 0:
        return "verified", signer, "chain verified against " + CA_BUNDLE
    error = re.search(r"Error: (.*)", output)
    return "unverified", signer, f"chain not verified here ({error.group(1).strip() if error else 'unknown error'})"


def check_program_signature(key, path):
    """A vendor's helper program: unsigned or broken is a warning; a chain
    that cannot be checked here is noted with its signer, not called valid."""
    state, signer, reason = verify_signature(path)
    if state in ("unsigned", "broken"):
        warning(key, f"Authenticode signature {'missing' if state == 'unsigned' else 'broken: ' + reason}: "
                     "Windows shows it as from an unknown publisher, and application control may refuse it")
        note(key, f"signature {state}")
    else:
        note(key, f"signed by {signer}, {reason}")

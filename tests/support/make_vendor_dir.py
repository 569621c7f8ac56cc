#!/usr/bin/python3
"""Makes a consistent test vendor directory: tiny native drivers for i386,
x86-64 and ARM64, tiny 32-bit DLLs, a tiny x86-64 DrvInst64.exe and ARM64
DrvInstA64.exe, INFs made from
this project's own (marked as the vendor's, so that their bytes differ) and
catalogues over each package, signed with a throwaway certificate kept in
DIR/.signer, which signs the helper programs too: the 32-bit one in the older form (v1, SHA-1), the x64 and
ARM64 ones in the form Windows 10 signing writes (v2, SHA-1 and SHA-256
members).

usage: make_vendor_dir.py SOURCE_DIR DIR
       make_vendor_dir.py --catalogues [--signer NAME] [--leave-out TYPE/NAME[@sha1]]... DIR
       make_vendor_dir.py --x64-driver writable-code|small-alignment PATH
The second form signs the catalogues again over the files DIR holds now,
leaving out of them the members named (@sha1: only that member of a v2
catalogue), with a new throwaway certificate for the common name NAME if
given. The third makes a tiny x64 driver with a section both writable and
executable, or with its sections aligned at 0x80.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "payload"))
from vendor_package import catalogue, pe_files, signed_data  # noqa: E402

ARM64 = ["--target=aarch64-w64-mingw32", "-fuse-ld=lld-16"]
# type/name: (compiler, entry, link options) of each tiny program
PROGRAMS = {
    "DLL/ZIVIRIZ.sys": ("i686-w64-mingw32-gcc", "_DriverEntry", ["-Wl,--subsystem,native"]),
    "DEV64/ZIVIRIZ.sys": ("x86_64-w64-mingw32-gcc", "DriverEntry", ["-Wl,--subsystem,native"]),
    "DEV98/ziviriz.sys": ("i686-w64-mingw32-gcc", "_DriverEntry", ["-Wl,--subsystem,native"]),
    "OLDVID/QVUSB.SYS": ("i686-w64-mingw32-gcc", "_DriverEntry", ["-Wl,--subsystem,native"]),
    "OLDVID98/QVUSB.SYS": ("i686-w64-mingw32-gcc", "_DriverEntry", ["-Wl,--subsystem,native"]),
    "DEV98/newdev.dll": ("i686-w64-mingw32-gcc", "_DriverEntry", ["-shared"]),
    "DEV98/WinSCard.dll": ("i686-w64-mingw32-gcc", "_DriverEntry", ["-shared"]),
    "DEV64/DrvInst64.exe": ("x86_64-w64-mingw32-gcc", "DriverEntry", ["-mwindows"]),
    "DEVA64/ZIVIRIZ.sys": ("clang-16", "DriverEntry", ARM64 + ["-Wl,--subsystem,native"]),
    "DEVA64/DrvInstA64.exe": ("clang-16", "DriverEntry", ARM64 + ["-mwindows"]),
}
# type/name: (this project's INF, stored as UTF-16LE)
INFS = {"DLL/ZIVIRIZ.inf": True, "DEV64/ZIVIRIZ.inf": True, "DEVA64/ZIVIRIZ.inf": True,
        "DEV98/ZIVIRIZ.INF": False, "OLDVID/QVUSB.INF": False}
# catalogue: (form, digest algorithm of a v1 catalogue and of the signature, members)
CATALOGUES = {"DLL/ziviriz.cat": ("v1", "sha1", ["DLL/ZIVIRIZ.inf", "DLL/ZIVIRIZ.sys"]),
              "DEV64/ziviriz.cat": ("v2", "sha256", ["DEV64/ZIVIRIZ.inf", "DEV64/ZIVIRIZ.sys"]),
              "DEVA64/ziviriz.cat": ("v2", "sha256", ["DEVA64/ZIVIRIZ.inf", "DEVA64/ZIVIRIZ.sys"])}
# The helper programs, signed with the catalogues' certificate.
HELPERS = ("DEV64/DrvInst64.exe", "DEVA64/DrvInstA64.exe")
SUBJECT_ALGORITHMS = {"v1": "1.3.6.1.4.1.311.12.1.2", "v2": "1.3.6.1.4.1.311.12.1.3"}
OIDS = {"sha1": "1.3.14.3.2.26", "sha256": "2.16.840.1.101.3.4.2.1"}
PE_IMAGE_DATA, FLAT_DATA = "1.3.6.1.4.1.311.2.1.15", "1.3.6.1.4.1.311.2.1.25"
PE_SUBJECT, FLAT_SUBJECT = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}", "{DE351A42-8E59-11D0-8C47-00C04FC295EE}"
MEMBER_INFO2 = "1.3.6.1.4.1.311.12.2.3"
OS_ATTR = "2:6.1,2:10.0"
TEST_SIGNER = "keysetup test vendor"
# kind: (source line added, link options) of the tiny x64 drivers memory integrity refuses
X64_DRIVERS = {"writable-code": ('__asm__(".section INIT,\\"xw\\"\\n\\t.byte 0xc3\\n\\t.text");\n', []),
               "small-alignment": ("", ["-Wl,--section-alignment,0x80", "-Wl,--file-alignment,0x80"])}


def tlv(tag, body):
    if len(body) < 0x80:
        return bytes([tag, len(body)]) + body
    size = len(body).to_bytes((len(body).bit_length() + 7) // 8, "big")
    return bytes([tag, 0x80 | len(size)]) + size + body


def seq(*items):
    return tlv(0x30, b"".join(items))


def set_of(*items):
    return tlv(0x31, b"".join(sorted(items)))


def oid(text):
    values = [int(v) for v in text.split(".")]
    body = bytes([40 * values[0] + values[1]])
    for value in values[2:]:
        chunk = [value & 0x7F]
        while value > 0x7F:
            value >>= 7
            chunk.insert(0, 0x80 | (value & 0x7F))
        body += bytes(chunk)
    return tlv(0x06, body)


def name_value(name, text):
    pair = seq(tlv(0x1E, name.encode("utf-16-be")), tlv(0x02, b"\x10\x01\x00\x01"),
               tlv(0x04, (text + "\0").encode("utf-16-le")))
    return seq(oid(signed_data.OID_NAME_VALUE), set_of(pair))


def indirect_data(is_pe, algorithm, digest):
    """SpcIndirectData: the subject's kind and its digest."""
    obsolete = tlv(0xA2, tlv(0x80, "<<<Obsolete>>>".encode("utf-16-be")))
    subject_data = seq(oid(PE_IMAGE_DATA), seq(tlv(0x03, b"\0"), tlv(0xA0, obsolete))) if is_pe \
        else seq(oid(FLAT_DATA), obsolete)
    indirect = seq(subject_data, seq(seq(oid(OIDS[algorithm]), tlv(0x05, b"")), tlv(0x04, digest)))
    return seq(oid(signed_data.OID_INDIRECT_DATA), set_of(indirect))


def member(name, data, algorithm):
    """A v1 catalogue member as the Windows tools write it: hash tag, file
    name, subject kind and the indirect data carrying the digest."""
    is_pe = pe_files.pe_image(data) is not None
    digest = pe_files.member_digest(data, algorithm)[0]
    subject = seq(tlv(0x1E, (PE_SUBJECT if is_pe else FLAT_SUBJECT).encode("utf-16-be")), tlv(0x02, b"\x02\x00"))
    return seq(tlv(0x04, catalogue.hash_tag(digest)),
               set_of(name_value("File", os.path.basename(name)),
                      seq(oid("1.3.6.1.4.1.311.12.2.2"), set_of(subject)),
                      indirect_data(is_pe, algorithm, digest)))


def v2_members(name, data, leave_out):
    """A file's members in the form Windows 10 signing writes: tagged with
    the raw digest, SHA-1 without indirect data, SHA-256 with it."""
    is_pe = pe_files.pe_image(data) is not None
    members = []
    for algorithm in ("sha1", "sha256"):
        if f"{name}@{algorithm}" in leave_out:
            continue
        digest = pe_files.member_digest(data, algorithm)[0]
        attributes = [name_value("File", os.path.basename(name)), name_value("OSAttr", OS_ATTR),
                      seq(oid(MEMBER_INFO2), set_of(tlv(0xA0 if is_pe else 0xA2, b"")))]
        if algorithm == "sha256":
            attributes.append(indirect_data(is_pe, algorithm, digest))
        members.append(seq(tlv(0x04, digest), set_of(*attributes)))
    return members


def trust_list(members, form="v1"):
    return seq(seq(oid(signed_data.OID_CATALOG_LIST)), tlv(0x04, b"keysetup-test-cat"),
               tlv(0x17, b"261208000000Z"), seq(oid(SUBJECT_ALGORITHMS[form]), tlv(0x05, b"")),
               seq(*members))


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def sign_catalogues(directory, leave_out, signer_name):
    signer = os.path.join(directory, ".signer")
    key, cert = os.path.join(signer, "key.pem"), os.path.join(signer, "cert.pem")
    if signer_name or not os.path.exists(cert):
        os.makedirs(signer, exist_ok=True)
        run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-keyout", key, "-out", cert, "-subj", f"/CN={signer_name or TEST_SIGNER}", "-days", "30",
            "-addext", "extendedKeyUsage=codeSigning")
    for name, (form, algorithm, names) in CATALOGUES.items():
        if not os.path.isdir(os.path.join(directory, os.path.dirname(name))):
            continue  # a package left out, as DEVA64/ may be
        members = []
        for member_name in names:
            if member_name not in leave_out:
                with open(os.path.join(directory, member_name), "rb") as stream:
                    data = stream.read()
                members += v2_members(member_name, data, leave_out) if form == "v2" \
                    else [member(member_name, data, algorithm)]
        ctl = os.path.join(signer, "trust-list.der")
        with open(ctl, "wb") as stream:
            stream.write(trust_list(members, form))
        run("openssl", "cms", "-sign", "-nodetach", "-binary", "-outform", "DER", "-md", algorithm,
            "-econtent_type", signed_data.OID_TRUST_LIST, "-signer", cert, "-inkey", key,
            "-in", ctl, "-out", os.path.join(directory, name))
    sign_helpers(directory, key, cert)


def sign_helpers(directory, key, cert):
    """Signs each helper program that carries no signature yet, as a vendor
    signs the programs it delivers."""
    for name in HELPERS:
        path = os.path.join(directory, name)
        if not os.path.exists(path):
            continue
        with open(path, "rb") as stream:
            if pe_files.program_signer(stream.read()) != "unsigned":
                continue
        run("osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256", "-in", path, "-out", path + ".signed")
        os.replace(path + ".signed", path)


def build_program(name, path, mark, prefix="", extra_options=()):
    compiler, entry, options = PROGRAMS[name]
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "entry.c")
        with open(source, "w") as stream:
            stream.write(prefix)
            stream.write(f"long {entry.lstrip('_')}(void *a, void *b) {{ (void)a; (void)b; return {mark}; }}\n")
        run(compiler, "-Os", "-s", "-nostdlib", "-e", entry, *options, *extra_options, source, "-o", path)


def write_inf(source_dir, name, path, utf16):
    with open(os.path.join(source_dir, "payload", name), "rb") as stream:
        text = stream.read().decode("ascii")
    text = "; Test vendor package, made by the test.\r\n" + text
    data = b"\xff\xfe" + text.encode("utf-16-le") if utf16 else text.encode("ascii")
    with open(path, "wb") as stream:
        stream.write(data)


def main(argv):
    if argv[0] == "--catalogues":
        leave_out = [argv[i + 1] for i, a in enumerate(argv) if a == "--leave-out"]
        signer_name = ([argv[i + 1] for i, a in enumerate(argv) if a == "--signer"] or [None])[-1]
        sign_catalogues(argv[-1], leave_out, signer_name)
        return 0
    if argv[0] == "--x64-driver":
        prefix, options = X64_DRIVERS[argv[1]]
        build_program("DEV64/ZIVIRIZ.sys", argv[2], 99, prefix, options)
        return 0
    source_dir, directory = argv
    for mark, name in enumerate(PROGRAMS, 1):
        os.makedirs(os.path.join(directory, os.path.dirname(name)), exist_ok=True)
        build_program(name, os.path.join(directory, name), mark)
    for name, utf16 in INFS.items():
        write_inf(source_dir, name, os.path.join(directory, name), utf16)
    sign_catalogues(directory, [], None)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

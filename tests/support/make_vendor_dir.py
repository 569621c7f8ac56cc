#!/usr/bin/python3
"""Makes a consistent test vendor directory: tiny native drivers for i386,
x86-64 and ARM64, tiny 32-bit DLLs, a tiny x86-64 DrvInst64.exe and ARM64
DrvInstA64.exe, INFs made from
this project's own (marked as the vendor's, so that their bytes differ) and
catalogues over each package, signed with a throwaway certificate kept in
DIR/.signer.

usage: make_vendor_dir.py SOURCE_DIR DIR
       make_vendor_dir.py --catalogues [--leave-out TYPE/NAME]... DIR
The second form signs the catalogues again over the files DIR holds now,
leaving out of them the members named.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "payload"))
from importlib import import_module  # noqa: E402

check = import_module("check-vendor-package")

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
# catalogue: (digest algorithm, members)
CATALOGUES = {"DLL/ziviriz.cat": ("sha1", ["DLL/ZIVIRIZ.inf", "DLL/ZIVIRIZ.sys"]),
              "DEV64/ziviriz.cat": ("sha256", ["DEV64/ZIVIRIZ.inf", "DEV64/ZIVIRIZ.sys"]),
              "DEVA64/ziviriz.cat": ("sha256", ["DEVA64/ZIVIRIZ.inf", "DEVA64/ZIVIRIZ.sys"])}
OIDS = {"sha1": "1.3.14.3.2.26", "sha256": "2.16.840.1.101.3.4.2.1"}
PE_IMAGE_DATA, FLAT_DATA = "1.3.6.1.4.1.311.2.1.15", "1.3.6.1.4.1.311.2.1.25"
PE_SUBJECT, FLAT_SUBJECT = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}", "{DE351A42-8E59-11D0-8C47-00C04FC295EE}"


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


def member(name, data, algorithm):
    """A catalogue member as the Windows tools write it: hash tag, file name,
    subject kind and the indirect data carrying the digest."""
    is_pe = check.pe_image(data) is not None
    digest = check.member_digest(data, algorithm)[0]
    obsolete = tlv(0xA2, tlv(0x80, "<<<Obsolete>>>".encode("utf-16-be")))
    subject_data = seq(oid(PE_IMAGE_DATA), seq(tlv(0x03, b"\0"), tlv(0xA0, obsolete))) if is_pe \
        else seq(oid(FLAT_DATA), obsolete)
    indirect = seq(subject_data, seq(seq(oid(OIDS[algorithm]), tlv(0x05, b"")), tlv(0x04, digest)))
    file_name = seq(tlv(0x1E, "File".encode("utf-16-be")), tlv(0x02, b"\x10\x01\x00\x01"),
                    tlv(0x04, (os.path.basename(name) + "\0").encode("utf-16-le")))
    subject = seq(tlv(0x1E, (PE_SUBJECT if is_pe else FLAT_SUBJECT).encode("utf-16-be")), tlv(0x02, b"\x02\x00"))
    return seq(tlv(0x04, check.hash_tag(digest)),
               set_of(seq(oid("1.3.6.1.4.1.311.12.2.1"), set_of(file_name)),
                      seq(oid("1.3.6.1.4.1.311.12.2.2"), set_of(subject)),
                      seq(oid(check.OID_INDIRECT_DATA), set_of(indirect))))


def trust_list(members):
    return seq(seq(oid(check.OID_CATALOG_LIST)), tlv(0x04, b"keysetup-test-cat"),
               tlv(0x17, b"261208000000Z"), seq(oid("1.3.6.1.4.1.311.12.1.2"), tlv(0x05, b"")),
               seq(*members))


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def sign_catalogues(directory, leave_out):
    signer = os.path.join(directory, ".signer")
    key, cert = os.path.join(signer, "key.pem"), os.path.join(signer, "cert.pem")
    if not os.path.exists(cert):
        os.makedirs(signer, exist_ok=True)
        run("openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-keyout", key, "-out", cert, "-subj", "/CN=keysetup test vendor", "-days", "30",
            "-addext", "extendedKeyUsage=codeSigning")
    for name, (algorithm, names) in CATALOGUES.items():
        members = []
        for member_name in names:
            if member_name not in leave_out:
                with open(os.path.join(directory, member_name), "rb") as stream:
                    members.append(member(member_name, stream.read(), algorithm))
        ctl = os.path.join(signer, "trust-list.der")
        with open(ctl, "wb") as stream:
            stream.write(trust_list(members))
        run("openssl", "cms", "-sign", "-nodetach", "-binary", "-outform", "DER", "-md", algorithm,
            "-econtent_type", check.OID_TRUST_LIST, "-signer", cert, "-inkey", key,
            "-in", ctl, "-out", os.path.join(directory, name))


def build_program(name, path, mark):
    compiler, entry, options = PROGRAMS[name]
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "entry.c")
        with open(source, "w") as stream:
            stream.write(f"long {entry.lstrip('_')}(void *a, void *b) {{ (void)a; (void)b; return {mark}; }}\n")
        run(compiler, "-Os", "-s", "-nostdlib", "-e", entry, *options, source, "-o", path)


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
        sign_catalogues(argv[-1], leave_out)
        return 0
    source_dir, directory = argv
    for mark, name in enumerate(PROGRAMS, 1):
        os.makedirs(os.path.join(directory, os.path.dirname(name)), exist_ok=True)
        build_program(name, os.path.join(directory, name), mark)
    for name, utf16 in INFS.items():
        write_inf(source_dir, name, os.path.join(directory, name), utf16)
    sign_catalogues(directory, [])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

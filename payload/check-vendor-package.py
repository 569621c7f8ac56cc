#!/usr/bin/python3
"""Checks the vendor's driver packages before keysetup.exe embeds them.

usage: check-vendor-package.py --hardware-id ID [--strict] [--notes FILE] TYPE/NAME=PATH...
       check-vendor-package.py --vendor-dir DIR --cmake OUT --folders TYPE,... TYPE/NAME...
       check-vendor-package.py --listing OUT --rows FILE [--notes FILE] [--messages FILE]
                               [--source DIR] [--signed-program FILE] [LABEL=TEXT]...
       check-vendor-package.py --driver-ver INF --hardware-id ID

Each argument of the first form names a payload file by resource type and
deployed name and gives the file embedded for it. Prints one line per
fault, naming the file, and exits 1 if there is any. What will keep Windows
from loading or trusting the driver on some machines (memory integrity, the
x64 catalogue's signer, a file Windows 7 cannot find in its catalogue) and
a vendor helper program without an intact Authenticode signature is a
warning, a fault with --strict; that the older generation's INF has no
catalogue in the payload, which no vendor file can change, is always a
warning. Without faults or warnings it is silent. With --notes, writes
what was checked per file ("TYPE/NAME<TAB>notes") and the warnings
("!warning<TAB>text") for the payload listing.

The second form finds the payload names in a vendor directory whatever
their letter case (vendor_package/vendor_dir.py); the third writes the
payload listing (vendor_package/listing.py) with a header of LABEL: TEXT
lines; the fourth prints the INF's DriverVer as Windows reads it for the
hardware ID's install (vendor_package/inf.py driver_ver), for the build's
table of payload digests.

Needs the Debian packages python3-asn1crypto and python3-pefile, and
osslsigncode: run it with Debian's interpreter, /usr/bin/python3.

Not checked here: the catalogues' signatures and their chains to a root
that Windows trusts.
"""
import os
import sys

try:
    import pefile  # noqa: F401
    import asn1crypto  # noqa: F401
except ImportError as missing:
    sys.exit(f"check-vendor-package.py: {sys.executable} has no Python module {missing.name} "
             f"(Debian package python3-{missing.name}); run the check with /usr/bin/python3")

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vendor_package import findings  # noqa: E402
from vendor_package.catalogue import check_catalogue  # noqa: E402
from vendor_package.inf import check_inf, driver_ver, inf_encoding, parse_inf  # noqa: E402
from vendor_package.listing import WARNING_KEY, source_commit, write_listing  # noqa: E402
from vendor_package.payload_files import (DRIVERS, DRIVERS_64, LIBRARIES, PACKAGES, PROGRAMS, INFS,  # noqa: E402
                                          UNSIGNED_INFS)
from vendor_package.pe_files import (check_memory_integrity, check_pe, check_program_signature,  # noqa: E402
                                     program_signer)
from vendor_package.vendor_dir import resolve  # noqa: E402


def check_file(key, data, path, hardware_id, files):
    if key in DRIVERS:
        image = check_pe(key, data, DRIVERS[key], ["native"], None)
        if image and key in DRIVERS_64:
            check_memory_integrity(key, image)
    elif key in LIBRARIES:
        check_pe(key, data, "i386", ["windows-gui", "windows-cui"], True)
    elif key in PROGRAMS:
        if check_pe(key, data, PROGRAMS[key], ["windows-gui", "windows-cui"], False):
            check_program_signature(key, path)
    elif key in PACKAGES:
        check_catalogue(key, files)
    elif key in INFS:
        check_inf(key, data, hardware_id)
    else:
        sys.exit(f"check-vendor-package.py: unknown payload file {key}")


def check_packages(hardware_id, strict, notes_file, paths):
    files = {}
    for key, path in paths.items():
        with open(path, "rb") as stream:
            files[key] = stream.read()
    # catalogues last: their notes follow those of the files they list
    for key in sorted(files, key=lambda k: k in PACKAGES):
        check_file(key, files[key], paths[key], hardware_id, files)
    unsigned = [key for key in UNSIGNED_INFS if key in files]
    always = []
    if unsigned:
        # The payload has no catalogue for it: a warning even under --strict.
        always.append(f"warning: {' and '.join(unsigned)}: no catalogue of the payload signs the older generation's "
                      "INF; Windows treats it as unsigned, and storing it on 32-bit Windows XP to 10 may show a "
                      "signature prompt")
    for line in always + findings.warnings + findings.faults:
        print(line)
    if findings.faults or (strict and findings.warnings):
        return 1
    if notes_file:
        with open(notes_file, "w") as stream:
            for key in sorted(files):
                stream.write(f"{key}\t{'; '.join(findings.notes.get(key, []))}\n")
            for line in always + findings.warnings:
                stream.write(f"{WARNING_KEY}\t{line}\n")
    return 0


def option_values(argv, options):
    """({option: value}, other arguments) of argv; options take one value."""
    values, rest, arguments = {}, [], iter(argv)
    for argument in arguments:
        if argument in options:
            values[argument] = next(arguments)
        else:
            rest.append(argument)
    return values, rest


def main(argv):
    if "--driver-ver" in argv:
        values, _ = option_values(argv, ("--driver-ver", "--hardware-id"))
        with open(values["--driver-ver"], "rb") as stream:
            print(driver_ver(parse_inf(inf_encoding(stream.read())[1]), values["--hardware-id"]))
        return 0
    if "--vendor-dir" in argv:
        values, keys = option_values(argv, ("--vendor-dir", "--cmake", "--folders"))
        resolve(values["--vendor-dir"], keys, values["--folders"].split(","), values["--cmake"])
        return 0
    if "--listing" in argv:
        values, labels = option_values(argv, ("--listing", "--rows", "--notes", "--messages", "--source",
                                              "--signed-program"))
        header = [tuple(label.split("=", 1)) for label in labels]
        if "--source" in values:
            header.insert(1, ("source", source_commit(values["--source"])))
        if "--signed-program" in values:
            with open(values["--signed-program"], "rb") as stream:
                header.append(("signing", program_signer(stream.read())))
        write_listing(values["--listing"], values["--rows"], values.get("--notes"), values.get("--messages"), header)
        return 0
    values, arguments = option_values(argv, ("--hardware-id", "--notes"))
    strict = "--strict" in arguments
    paths = dict(argument.partition("=")[::2] for argument in arguments if argument != "--strict")
    return check_packages(values.get("--hardware-id"), strict, values.get("--notes"), paths)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

"""Catalogues: the trust list a catalogue signs, its members and the
files of its package that Windows looks up in it."""
import hashlib
import re

from asn1crypto import core

from .findings import fault, note, warning
from .payload_files import ARM64_CATALOGUES, CATALOGUES_64, PACKAGES
from .pe_files import member_digest
from .signed_data import (DER_ERRORS, NOT_A_CATALOGUE, OID_CATALOG_LIST, OID_INDIRECT_DATA, OID_NAME_VALUE,
                          OID_SIGNED_DATA, OID_TRUST_LIST, Catalogue, IndirectData, MemberAttributes, Members,
                          NameValue, TrustList, signer_subject)

# trust-list subject algorithm: catalogue form
FORMS = {"1.3.6.1.4.1.311.12.1.2": "v1", "1.3.6.1.4.1.311.12.1.3": "v2"}
DIGESTS = {"1.3.14.3.2.26": "sha1", "2.16.840.1.101.3.4.2.1": "sha256",
           "2.16.840.1.101.3.4.2.2": "sha384", "2.16.840.1.101.3.4.2.3": "sha512"}
# The digests Windows looks files up by: SHA-1 (every Windows), SHA-256
# (Windows 8 and later, where the catalogue has it).
LOOKUP_DIGESTS = ("sha1", "sha256")
HARDWARE_PUBLISHER = "Microsoft Windows Hardware Compatibility Publisher"
WINDOWS_7 = (6, 1)

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
        signer = signer_subject(signed)
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



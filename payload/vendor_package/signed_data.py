"""PKCS#7 SignedData as catalogues and Authenticode signatures carry it:
the DER structures, read leniently enough for both, and the signer."""
from asn1crypto import cms, core, x509

OID_SIGNED_DATA = "1.2.840.113549.1.7.2"
OID_TRUST_LIST = "1.3.6.1.4.1.311.10.1"
OID_CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"
OID_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"
OID_NAME_VALUE = "1.3.6.1.4.1.311.12.2.1"

NOT_A_CATALOGUE = "not a DER PKCS#7 SignedData holding a catalogue trust list"
# what asn1crypto raises on DER that does not fit the structure
DER_ERRORS = (ValueError, TypeError, KeyError, IndexError, AttributeError)

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
    """SignedData with its content left unparsed."""
    _fields = [("version", core.Integer),
               ("digest_algorithms", cms.DigestAlgorithms),
               ("content", SignedContent),
               ("certificates", cms.CertificateSet, {"implicit": 0, "optional": True}),
               ("crls", cms.RevocationInfoChoices, {"implicit": 1, "optional": True}),
               ("signer_infos", cms.SignerInfos)]


class Catalogue(core.Sequence):
    """ContentInfo holding SignedData: a catalogue or an Authenticode signature."""
    _fields = [("content_type", core.ObjectIdentifier),
               ("content", CatalogueSignedData, {"explicit": 0, "optional": True})]


def load_signed(data):
    """The SignedData of a DER ContentInfo, which may be followed by the
    padding of a PE certificate table; ValueError when it holds none."""
    info = Catalogue.load(data)
    if info["content_type"].dotted != OID_SIGNED_DATA:
        raise ValueError("not SignedData")
    return info["content"]


CatalogueSignedData.load_signed = staticmethod(load_signed)


class NameValue(core.Sequence):
    """CAT_NAMEVALUE: a member's named text, such as File or OSAttr."""
    _fields = [("name", core.BMPString), ("flags", core.Integer), ("value", core.OctetString)]




def signer_subject(signed):
    """The subject name of the certificate that signed, None when the
    SignedData does not carry it."""
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


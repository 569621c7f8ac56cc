"""INFs: read as Windows and the uninstall's INF matcher read them, and
checked against the package they belong to."""
import re

from .findings import fault, note
from .payload_files import INFS, PLATFORM_INFS, SIGNED_INFS

INF_LINE_LIMIT = 255  # longest line text the uninstall's INF matcher reads


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




def install_section(sections, hardware_id):
    """(install section, models decoration) of the first model line, in the
    first manufacturer's models sections (each decorated one in the order
    written, then the undecorated one), that names the hardware ID among
    its hardware IDs; (None, None) when none does."""
    manufacturer = first_manufacturer(sections)
    if not manufacturer or not manufacturer[0]:
        return None, None
    for decoration in [d for d in manufacturer[1:] if d] + [""]:
        name = f"{manufacturer[0]}.{decoration}" if decoration else manufacturer[0]
        for _, fields, _ in sections.get(name.lower(), []):
            if any(field.lower() == hardware_id.lower() for field in fields[1:]):
                return fields[0], decoration
    return None, None


def driver_ver(sections, hardware_id):
    """The DriverVer value ("date,version") Windows reads for the hardware
    ID's install: the DDInstall section's (.NT<platform> of the models
    decoration, NTx86 for an undecorated one; else .NT; else undecorated:
    the first of them that has lines), else [Version]'s; "" when neither
    has one. keycheck reads it the same way (common/driver_version.cpp)."""
    install, decoration = install_section(sections, hardware_id)
    places = ["version"]
    if install:
        platform = decoration.split(".")[0]
        if not platform.lower().startswith("nt") or platform.lower() == "nt":
            platform = "NTx86"
        for name in (f"{install}.{platform}", f"{install}.NT", install):
            if sections.get(name.lower()):
                places.insert(0, name.lower())
                break
    for place in places:
        for key, fields, text in sections.get(place, []):
            if (key or "").lower() == "driverver":
                return text
    return ""

"""The vendor directory as Windows people write it: folder and file names
in any letter case. Finds the file for each payload name, the near misses
of a missing one, the files of the package folders no payload uses and a
digest over every file, and writes them as CMake variables."""
import hashlib
import os

# Folders whose name starts with a dot (such as a signing tool's state) are
# no part of the delivery.
HIDDEN = "."


def vendor_files(vendor_dir):
    """Every file of the directory as a path relative to it, '/'-separated, sorted."""
    found = []
    for root, dirs, files in os.walk(vendor_dir):
        dirs[:] = [d for d in dirs if not d.startswith(HIDDEN)]
        for name in files:
            found.append(os.path.relpath(os.path.join(root, name), vendor_dir).replace(os.sep, "/"))
    return sorted(found)


def directory_digest(vendor_dir, files):
    """SHA-256 over each file's relative path and SHA-256, in name order."""
    digest = hashlib.sha256()
    for relative in files:
        with open(os.path.join(vendor_dir, relative), "rb") as stream:
            digest.update(relative.encode("utf-8") + b"\0" + hashlib.sha256(stream.read()).digest())
    return digest.hexdigest()


def extension(name):
    return os.path.splitext(name)[1].lower()


def near_misses(key, files, claimed):
    """Files that may be the one meant: unclaimed ones in its folder with its
    extension, and ones of its name in another folder."""
    folder, name = key.lower().split("/")
    misses = []
    for relative in files:
        parts = relative.lower().split("/")
        same_folder = len(parts) == 2 and parts[0] == folder
        if relative in claimed:
            continue
        if (same_folder and extension(parts[1]) == extension(name)) or (not same_folder and parts[-1] == name):
            misses.append(relative)
    return misses


def cmake_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$") + '"'


def resolve(vendor_dir, keys, folders, output):
    """Writes OUTPUT, a CMake script setting vendor_file_<key> to the path
    of each key found, vendor_near_<key> to the near misses of each key
    not found, vendor_folder_<TYPE> for each package folder present,
    vendor_ambiguous (names given twice in different case), vendor_unused
    (files of the package FOLDERS no key names), vendor_digest and
    vendor_file_count."""
    files = vendor_files(vendor_dir)
    by_lower = {}
    for relative in files:
        by_lower.setdefault(relative.lower(), []).append(relative)
    present = {relative.split("/")[0].lower() for relative in files if "/" in relative}
    lines, claimed, ambiguous = [], set(), []
    for key in keys:
        matches = by_lower.get(key.lower(), [])
        if len(matches) > 1:
            ambiguous.append(" and ".join(matches))
        if matches:
            claimed.add(matches[0])
            lines.append(f"set({cmake_string('vendor_file_' + key)} {cmake_string(os.path.join(vendor_dir, matches[0]))})")
    for key in keys:
        if key.lower() not in by_lower:
            lines.append(f"set({cmake_string('vendor_near_' + key)} {cmake_string(', '.join(near_misses(key, files, claimed)))})")
    for folder in sorted(folders):
        if folder.lower() in present:
            lines.append(f"set(vendor_folder_{folder} TRUE)")
    # Every file of a package folder, also one this build leaves out (such
    # as DEVA64/ without ARM64), that no key names.
    lower_folders = {folder.lower() for folder in folders}
    unused = [r for r in files if "/" in r and r not in claimed and r.split("/")[0].lower() in lower_folders]
    lines.append(f"set(vendor_ambiguous {cmake_string(';'.join(ambiguous))})")
    lines.append(f"set(vendor_unused {cmake_string(';'.join(unused))})")
    lines.append(f"set(vendor_digest {directory_digest(vendor_dir, files)})")
    lines.append(f"set(vendor_file_count {len(files)})")
    with open(output, "w") as stream:
        stream.write("\n".join(lines) + "\n")

#!/usr/bin/env python3
"""Checks the application manifests of the shipped programs, host-side.

usage: check_manifest.py KEYSETUP_EXE QV_DRVUNI_EXE KEYCHECK_EXE
keysetup.exe must embed RT_MANIFEST 1 asking for elevation in the form
Windows XP and 2003 accept, naming every Windows from Vista to 11, and
without a Common-Controls dependency; keycheck.exe the same, asking to run
as its invoker (no elevation, no virtualization); QV_DRVUNI.exe must embed
none (the manifest file beside it serves).
"""
import os
import sys
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "support"))
import pe_resource  # noqa: E402

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V2 = "{urn:schemas-microsoft-com:asm.v2}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}


def manifest_faults(exe, level_wanted):
    data = open(exe, "rb").read()
    text = pe_resource.resource(data, str(RT_MANIFEST), 1)
    if text is None:
        return [f"{exe}: no RT_MANIFEST 1"]
    root = ET.fromstring(text)
    faults = []
    level = root.find(f"{ASM_V2}trustInfo/{ASM_V2}security/{ASM_V2}requestedPrivileges/"
                      f"{ASM_V2}requestedExecutionLevel")
    if level is None or level.get("level") != level_wanted or level.get("uiAccess") != "false":
        faults.append(f"{exe}: no asm.v2 requestedExecutionLevel {level_wanted}, uiAccess false")
    named = {e.get("Id") for e in root.iter(f"{COMPAT}supportedOS")}
    faults += [f"{exe}: supportedOS lacks Windows {v}" for k, v in SUPPORTED_OS.items() if k not in named]
    if root.find(f"{ASM_V1}dependency") is not None:
        faults.append(f"{exe}: has a dependency (the program shows no window)")
    return faults


faults = manifest_faults(sys.argv[1], "requireAdministrator") + manifest_faults(sys.argv[3], "asInvoker")
if pe_resource.resource(open(sys.argv[2], "rb").read(), str(RT_MANIFEST), 1) is not None:
    faults.append(f"{sys.argv[2]}: embeds a manifest; the file beside it must serve")
print("\n".join(faults) or "manifest check passed")
sys.exit(1 if faults else 0)

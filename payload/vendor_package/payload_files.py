"""The payload's vendor files by kind, keyed TYPE/NAME as keysetup.exe
carries them: what each must be and which package it belongs to."""

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


#!/usr/bin/python3
"""Reads the built Windows program and DLL of one architecture as Windows would.

Usage: check_binaries.py win32|win64 BUILD_DIR VERSION LIBRARY_VERSION
Exit 0 when every check holds, 1 with one line per failure otherwise, 77 (skipped) when
BUILD_DIR does not exist at all.
"""
import os
import sys
import xml.etree.ElementTree as ET

import pefile

ARCH = {
    # machine, optional-header magic, manifest processorArchitecture
    "win32": (0x14C, 0x10B, "x86"),
    "win64": (0x8664, 0x20B, "amd64"),
}
# What a plain Windows installation has; a MinGW runtime DLL here would have to ship.
SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "gdiplus.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "urlmon.dll",
    "user32.dll", "version.dll", "wininet.dll", "ws2_32.dll",
}
EXPORTS = sorted([
    "ReadINIFile", "WriteINIFile", "ClearINIFile", "GetNumberofINIKeys", "GetNumberofINIValues",
    "GetValueInteger", "GetValueString", "SetValueInteger", "SetValueString", "Delete_Value",
    "Delete_Sektion", "SCr", "SDe", "FC", "FD",
])
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
GUI_SUBSYSTEM = 2

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def load(path):
    try:
        return pefile.PE(path)
    except (OSError, pefile.PEFormatError) as e:
        failures.append(f"{path}: cannot be read as a PE file ({e})")
        return None


def check_header(pe, name, arch, dll):
    machine, magic, _ = ARCH[arch]
    check(pe.FILE_HEADER.Machine == machine,
          f"{name}: machine 0x{pe.FILE_HEADER.Machine:x}, expected 0x{machine:x}")
    check(pe.OPTIONAL_HEADER.Magic == magic,
          f"{name}: optional header 0x{pe.OPTIONAL_HEADER.Magic:x}, expected 0x{magic:x}")
    check(pe.is_dll() == dll, f"{name}: {'not ' if dll else ''}a DLL")
    imports = [e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    foreign = sorted(d for d in imports if d not in SYSTEM_DLLS and not d.startswith("api-ms-win-"))
    check(not foreign, f"{name}: imports DLLs that Windows does not have: {', '.join(foreign)}")


def resources(pe, type_id):
    """The data of every resource of one type, in id order."""
    out = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != type_id:
            continue
        for res in t.directory.entries:
            for lang in res.directory.entries:
                d = lang.data.struct
                out.append(pe.get_data(d.OffsetToData, d.Size))
    return out


def check_version(pe, name, version, want_strings):
    """The fixed version (file and product) and the version strings of the resource."""
    parts = [int(p) for p in version.split(".")] + [0]
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        failures.append(f"{name}: no version resource")
    else:
        f = fixed[0]
        got = [f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF, f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF]
        check(got == parts[:4], f"{name}: file version {got}, expected {parts[:4]}")
        got = [f.ProductVersionMS >> 16, f.ProductVersionMS & 0xFFFF]
        check(got == parts[:2], f"{name}: product version {got}, expected {parts[:2]}")
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    for key, want in {"FileVersion": version, "ProductVersion": version, **want_strings}.items():
        check(strings.get(key) == want, f"{name}: version string {key} is {strings.get(key)!r}, expected {want!r}")


def check_program(path, arch, version):
    name = "Klangnetz_DesktopTool.exe"
    pe = load(path)
    if pe is None:
        return
    check_header(pe, name, arch, dll=False)
    check(pe.OPTIONAL_HEADER.Subsystem == GUI_SUBSYSTEM,
          f"{name}: subsystem {pe.OPTIONAL_HEADER.Subsystem}, expected the GUI subsystem")

    check_version(pe, name, version, {"OriginalFilename": name, "ProductName": "Klangnetz DesktopTool",
                                      "FileDescription": "Klangnetz DesktopTool", "CompanyName": "Klangnetz"})

    check(len(resources(pe, RT_GROUP_ICON)) >= 2, f"{name}: the program and busy icons are missing")
    check(len(resources(pe, RT_ICON)) >= 2, f"{name}: no icon images")

    manifests = resources(pe, RT_MANIFEST)
    if len(manifests) != 1:
        failures.append(f"{name}: {len(manifests)} manifests, expected 1")
        return
    try:
        root = ET.fromstring(manifests[0])
    except ET.ParseError as e:
        failures.append(f"{name}: the manifest is not XML ({e})")
        return
    ns = "{urn:schemas-microsoft-com:asm.v1}"
    ident = root.find(f"{ns}assemblyIdentity")
    got = ident.get("processorArchitecture") if ident is not None else None
    want = ARCH[arch][2]
    check(got == want, f"{name}: manifest processorArchitecture {got!r}, expected {want!r}")


def check_library(path, arch, version):
    name = "Inivault.dll"
    pe = load(path)
    if pe is None:
        return
    check_header(pe, name, arch, dll=True)
    # The library's own version, not the program's.
    check_version(pe, name, version, {"OriginalFilename": name, "ProductName": "Inivault"})
    names = []
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        names = sorted(s.name.decode() for s in pe.DIRECTORY_ENTRY_EXPORT.symbols if s.name)
    check(names == EXPORTS, f"{name}: exports {names}, expected exactly {EXPORTS}")


def main():
    arch, build, version, library_version = sys.argv[1:5]
    if not os.path.isdir(build):
        print(f"{build} not built: the static checks of {arch} need its preset built first")
        return 77
    check_program(f"{build}/desktop/Klangnetz_DesktopTool.exe", arch, version)
    check_library(f"{build}/inivault/Inivault.dll", arch, library_version)
    for f in failures:
        print("FAILED:", f)
    if not failures:
        print(f"{arch}: program and DLL as expected")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

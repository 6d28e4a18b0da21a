#!/usr/bin/python3
"""File checks of the release package.

Usage:
  check_files.py zip PATH.zip
      the zip holds exactly the expected files, all in one folder named
      after the zip; the texts for Windows users and the licence have CRLF
      line ends, the English ones ASCII, the Japanese one UTF-8 with a BOM; every DLL, program and import library sits in the folder
      of its architecture; each program has a manifest (asInvoker,
      per-monitor DPI aware v2), version information and an icon of its
      architecture; the import libraries are in the short import format.
  check_files.py imports PROGRAM.exe x86|x64
      the program is of that architecture and imports exactly the four
      exports from RODAVOZI.DLL under their undecorated names.

Prints one PASS/FAIL line per check; exits 1 if any check failed.
"""

import os
import sys
import zipfile

try:
    import pefile
except ImportError:
    # pefile comes from Debian's python3-pefile; retry once with the system
    # interpreter when another python3 comes first on PATH.
    system_python = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(system_python) \
            and os.path.exists(system_python) \
            and not os.environ.get("RODAVOZI_CHECK_FILES_REEXEC"):
        os.environ["RODAVOZI_CHECK_FILES_REEXEC"] = "1"
        os.execv(system_python, [system_python] + sys.argv)
    sys.exit("check_files.py: the pefile module is missing (apt-get install python3-pefile)")

ARCHES = ("x86", "x64")
MACHINES = {"x86": 0x014C, "x64": 0x8664}
PER_ARCH = ["RODAVOZI.DLL", "RODAVOZI.lib", "RODAVOZI.def", "tracewin.exe", "reconvhost.exe", "rodacheck.exe"]
TEXT = "README-Windows.txt"
TEXT_JA = "README-Windows-ja.txt"
LICENSE = "LICENSE"
EXPECTED_ZIP = sorted([TEXT, TEXT_JA, LICENSE, "include/rodavozi.h"] +
                      ["%s/%s" % (arch, name) for arch in ARCHES for name in PER_ARCH])
EXPORTS = ["EndReconvertEdit", "HookReconvertThread", "InitReconvertEdit", "IsReconvertMsg"]
# What a caller's compiler asks the import library for: stdcall names carry
# the argument size on x86 only.
DECORATED = {
    "x86": [b"__imp__EndReconvertEdit@0", b"__imp__InitReconvertEdit@4", b"__imp__IsReconvertMsg@24",
            b"__imp__HookReconvertThread@4"],
    "x64": [b"__imp_EndReconvertEdit", b"__imp_InitReconvertEdit", b"__imp_IsReconvertMsg",
            b"__imp_HookReconvertThread"],
}

failures = 0


def check(ok, what):
    global failures
    print("%s %s" % ("PASS" if ok else "FAIL", what))
    if not ok:
        failures += 1
    return ok


def machine_of(data):
    try:
        return pefile.PE(data=data, fast_load=True).FILE_HEADER.Machine
    except pefile.PEFormatError:
        return None


def resources_of(data):
    """{resource type id: [data of each resource]} of a PE file."""
    pe = pefile.PE(data=data)
    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in directory.entries if directory else []:
        for name in kind.directory.entries:
            for lang in name.directory.entries:
                found.setdefault(kind.id, []).append(pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size))
    return found


def check_zip(path):
    top = os.path.basename(path)[:-len(".zip")] + "/"
    with zipfile.ZipFile(path) as archive:
        members = archive.namelist()
        check(all(m.startswith(top) for m in members), "every member is in the folder %s" % top)
        names = sorted(m[len(top):] for m in members if m.startswith(top) and not m.endswith("/"))
        read = lambda name: archive.read(top + name)
        missing = sorted(set(EXPECTED_ZIP) - set(names))
        extra = sorted(set(names) - set(EXPECTED_ZIP))
        check(not missing and not extra,
              "zip lists exactly %d files (missing %s, extra %s)" % (len(EXPECTED_ZIP), missing, extra))
        check(archive.testzip() is None, "zip members read back with correct CRCs")

        for name in (TEXT, TEXT_JA, LICENSE):
            if name not in names:
                continue
            text = read(name)
            check(len(text) > 0, "%s is not empty" % name)
            if name != TEXT_JA:
                check(all(b < 0x80 for b in text), "%s is ASCII" % name)
            else:
                try:
                    ok = text.startswith(b"\xef\xbb\xbf") and any(ord(c) > 0x3000 for c in text.decode("utf-8"))
                except UnicodeDecodeError:
                    ok = False
                check(ok, "%s is Japanese text in UTF-8 with a BOM" % name)
            bare_lf = text.replace(b"\r\n", b"").count(b"\n")
            bare_cr = text.replace(b"\r\n", b"").count(b"\r")
            check(text.endswith(b"\r\n") and bare_lf == 0 and bare_cr == 0,
                  "%s has CRLF line ends only (%d bare LF, %d bare CR)" % (name, bare_lf, bare_cr))

        icons = {}
        for arch in ARCHES:
            for name in ("RODAVOZI.DLL", "tracewin.exe", "reconvhost.exe", "rodacheck.exe"):
                member = "%s/%s" % (arch, name)
                if member in names:
                    machine = machine_of(read(member))
                    check(machine == MACHINES[arch], "%s is an %s PE file (machine %s)"
                          % (member, arch, hex(machine) if machine is not None else "none"))
                if member in names and name.endswith(".exe"):
                    found = resources_of(read(member))
                    manifest = b"".join(found.get(24, []))  # RT_MANIFEST
                    check(b'level="asInvoker"' in manifest and b"PerMonitorV2" in manifest,
                          "%s has a manifest: asInvoker, per-monitor DPI aware v2" % member)
                    check(16 in found and 3 in found and 14 in found,
                          "%s has version information and an icon" % member)
                    version = b"".join(found.get(16, []))
                    check(all(block.encode("utf-16-le") in version for block in ("040904b0", "041104b0")),
                          "%s names English and Japanese in its version information" % member)
                    icons.setdefault(name, set()).add(b"".join(found.get(3, [])))  # RT_ICON
            member = "%s/RODAVOZI.lib" % arch
            if member in names:
                library = read(member)
                check(library.startswith(b"!<arch>\n"), "%s is an archive" % member)
                absent = [s.decode() for s in DECORATED[arch] if s + b"\0" not in library]
                check(not absent, "%s provides the %s import symbols (absent: %s)" % (member, arch, absent))
                short = b"\0\0\xff\xff\0\0" + MACHINES[arch].to_bytes(2, "little")  # IMPORT_OBJECT_HEADER
                check(library.count(short) == len(EXPORTS), "%s holds its exports in the short import format,"
                      " which MSVC's linker takes" % member)
        check(len(icons) == 3 and all(len(looks) == len(ARCHES) for looks in icons.values()),
              "each program's icon differs between the architectures")


def check_imports(path, arch):
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == MACHINES[arch], "%s is an %s program" % (os.path.basename(path), arch))
    imported = None
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        if entry.dll.decode("ascii", "replace").upper() == "RODAVOZI.DLL":
            imported = sorted((i.name or b"#%d" % i.ordinal).decode("ascii", "replace") for i in entry.imports)
    check(imported == EXPORTS, "imports from RODAVOZI.DLL: %s (expected %s)" % (imported, EXPORTS))


def main(argv):
    if len(argv) == 3 and argv[1] == "zip":
        check_zip(argv[2])
    elif len(argv) == 4 and argv[1] == "imports" and argv[3] in ARCHES:
        check_imports(argv[2], argv[3])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/python3
"""Checks the shape of a built RODAVOZI.DLL.

Usage: check_dll.py PATH --arch x86|x64 [--share-size N]

Looks only at the file: machine type, exports, the shared data section, the
version resource and the import list.  Prints one PASS/FAIL line per check and
a closing "N passed, N failed" line; exits 1 if any check failed.
"""

import argparse
import os
import struct
import sys

try:
    import pefile
except ImportError:
    # pefile comes from Debian's python3-pefile; a python3 earlier on PATH
    # (pyenv, a venv) does not see it.  Retry once with the system interpreter.
    system_python = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(system_python) \
            and os.path.exists(system_python) \
            and not os.environ.get("RODAVOZI_CHECK_DLL_REEXEC"):
        os.environ["RODAVOZI_CHECK_DLL_REEXEC"] = "1"
        os.execv(system_python, [system_python] + sys.argv)
    sys.exit("check_dll.py: the pefile module is missing (apt-get install python3-pefile)")

MACHINES = {"x86": 0x014C, "x64": 0x8664}
OPTIONAL_MAGIC = {"x86": 0x10B, "x64": 0x20B}
# The shared section holds the cross-process state; its size differs with
# pointer width.
DEFAULT_SHARE_SIZE = {"x86": 65568, "x64": 65584}

DLL_NAME = "RODAVOZI.DLL"
EXPECTED_EXPORTS = [  # in name order, as the name table keeps them
    ("EndReconvertEdit", 1),
    ("HookReconvertThread", 4),
    ("InitReconvertEdit", 2),
    ("IsReconvertMsg", 3),
]
SHARE_NAME = ".share"
# IMAGE_SCN_CNT_INITIALIZED_DATA | MEM_SHARED | MEM_READ | MEM_WRITE
SHARE_CHARACTERISTICS = 0xD0000040

RT_VERSION = 16
LANG_JAPANESE_DEFAULT = 0x0411
CODEPAGE_UNICODE = 1200
VOS__WINDOWS32 = 0x00000004
VS_FFI_SIGNATURE = 0xFEEF04BD
STRING_TABLE_KEY = "041104b0"
REQUIRED_STRINGS = {
    "FileVersion": "1, 0, 0, 0",
    "ProductVersion": "1, 0, 0, 0",
    "OriginalFilename": "RODAVOZI.DLL",
}
NONEMPTY_STRINGS = [
    "CompanyName",
    "FileDescription",
    "InternalName",
    "LegalCopyright",
    "ProductName",
]

ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "imm32.dll", "msvcrt.dll"}
ALLOWED_IMPORT_PREFIXES = ("api-ms-win-crt-",)
# Runtime DLLs that a mingw build drags in when not linked statically; the DLL
# must load into any process without them.
FORBIDDEN_IMPORT_PREFIXES = ("libgcc", "libstdc++", "libwinpthread")


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, detail=""):
        line = ("PASS: " if ok else "FAIL: ") + what
        if detail:
            line += " (" + detail + ")"
        print(line)
        if ok:
            self.passed += 1
        else:
            self.failed += 1
        return ok


# ---------------------------------------------------------------- helpers --

def read_cstring(pe, rva, limit=512):
    data = pe.get_data(rva, limit)
    end = data.find(b"\0")
    if end < 0:
        raise ValueError("unterminated string at RVA 0x%x" % rva)
    return data[:end].decode("ascii", errors="replace")


def section_of_rva(pe, rva):
    for s in pe.sections:
        size = max(s.Misc_VirtualSize, s.SizeOfRawData)
        if s.VirtualAddress <= rva < s.VirtualAddress + size:
            return s
    return None


def section_name(s):
    return s.Name.rstrip(b"\0").decode("ascii", errors="replace")


def read_export_table(pe):
    """Returns (dll_name, base, n_functions, [(name, ordinal, rva)]) read
    straight from the export directory, names in name-pointer-table order."""
    d = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]]
    if d.VirtualAddress == 0 or d.Size == 0:
        return None
    raw = pe.get_data(d.VirtualAddress, 40)
    (_flags, _stamp, _major, _minor, name_rva, base, n_funcs, n_names,
     funcs_rva, names_rva, ords_rva) = struct.unpack("<IIHHIIIIIII", raw)
    dll_name = read_cstring(pe, name_rva)
    funcs = struct.unpack("<%dI" % n_funcs, pe.get_data(funcs_rva, 4 * n_funcs)) if n_funcs else ()
    name_ptrs = struct.unpack("<%dI" % n_names, pe.get_data(names_rva, 4 * n_names)) if n_names else ()
    ords = struct.unpack("<%dH" % n_names, pe.get_data(ords_rva, 2 * n_names)) if n_names else ()
    entries = []
    for ptr, idx in zip(name_ptrs, ords):
        rva = funcs[idx] if idx < len(funcs) else None
        entries.append((read_cstring(pe, ptr), base + idx, rva))
    export_dir = (d.VirtualAddress, d.VirtualAddress + d.Size)
    return dll_name, base, n_funcs, entries, funcs, export_dir


def parse_version_node(data, off, end):
    """Parses one VS_VERSIONINFO-style node at data[off:].  Returns
    (key, value_bytes, value_type, children, node_end)."""
    if off + 6 > end:
        raise ValueError("truncated version node at 0x%x" % off)
    length, value_len, value_type = struct.unpack_from("<HHH", data, off)
    if length < 6 or off + length > end:
        raise ValueError("bad version node length %d at 0x%x" % (length, off))
    node_end = off + length
    p = off + 6
    key_chars = []
    while True:
        if p + 2 > node_end:
            raise ValueError("unterminated key at 0x%x" % off)
        (ch,) = struct.unpack_from("<H", data, p)
        p += 2
        if ch == 0:
            break
        key_chars.append(chr(ch))
    key = "".join(key_chars)
    p = (p + 3) & ~3
    # Text values count UTF-16 units, binary values count bytes.
    value_size = value_len * 2 if value_type == 1 else value_len
    value = data[p:min(p + value_size, node_end)]
    p = (p + value_size + 3) & ~3
    children = []
    while p + 6 <= node_end:
        child = parse_version_node(data, p, node_end)
        children.append(child)
        p = (child[4] + 3) & ~3
    return key, value, value_type, children, node_end


def utf16_text(value):
    text = value.decode("utf-16-le", errors="replace")
    end = text.find("\0")
    return text if end < 0 else text[:end]


# ----------------------------------------------------------------- checks --

def check_headers(pe, arch, r):
    m = pe.FILE_HEADER.Machine
    r.check(m == MACHINES[arch], "machine type is 0x%x for %s" % (MACHINES[arch], arch),
            "found 0x%x" % m)
    magic = pe.OPTIONAL_HEADER.Magic
    r.check(magic == OPTIONAL_MAGIC[arch], "optional header is %s" %
            ("PE32" if arch == "x86" else "PE32+"), "magic 0x%x" % magic)
    r.check(bool(pe.FILE_HEADER.Characteristics & 0x2000), "image is a DLL",
            "characteristics 0x%04x" % pe.FILE_HEADER.Characteristics)


def check_exports(pe, r):
    try:
        table = read_export_table(pe)
    except (ValueError, struct.error, pefile.PEFormatError) as e:
        r.check(False, "export directory is readable", str(e))
        return
    if table is None:
        r.check(False, "export directory present")
        return
    dll_name, base, n_funcs, entries, funcs, export_dir = table
    r.check(dll_name == DLL_NAME, "export directory name is %s" % DLL_NAME,
            "found %r" % dll_name)
    r.check(base == 1, "export ordinal base is 1", "found %d" % base)

    names = [e[0] for e in entries]
    used = sum(1 for f in funcs if f)
    r.check(len(entries) == len(EXPECTED_EXPORTS) and used == len(EXPECTED_EXPORTS),
            "exactly %d exports, all by name" % len(EXPECTED_EXPORTS),
            "%d named, %d address slots in use" % (len(entries), used))

    decorated = [n for n in names if "@" in n or n.startswith("_") or n.startswith("?")]
    r.check(not decorated, "export names are undecorated",
            "decorated: " + ", ".join(decorated) if decorated else "")

    # The loader binary-searches the name table; out of order means
    # GetProcAddress can miss a name that is there.
    ordered = names == sorted(names, key=lambda s: s.encode("ascii", "replace"))
    r.check(ordered, "export name table is in ascending order", ", ".join(names))

    got = [(n, o) for n, o, _ in entries]
    r.check(got == EXPECTED_EXPORTS, "exports are " + ", ".join(
        "%s=%d" % e for e in EXPECTED_EXPORTS), "found " + ", ".join("%s=%d" % e for e in got))

    bad = []
    for n, _, rva in entries:
        if not rva:
            bad.append("%s has no address" % n)
        elif export_dir[0] <= rva < export_dir[1]:
            bad.append("%s is a forwarder" % n)
        else:
            s = section_of_rva(pe, rva)
            if s is None or not s.Characteristics & 0x20000000:
                bad.append("%s points outside executable code" % n)
    r.check(not bad, "exports point into executable code", "; ".join(bad))


def check_share(pe, data, share_size, r):
    found = [s for s in pe.sections if section_name(s) == SHARE_NAME]
    if not r.check(len(found) == 1, "exactly one %s section" % SHARE_NAME,
                   "found %d" % len(found)):
        return
    s = found[0]
    r.check(s.Characteristics == SHARE_CHARACTERISTICS,
            "%s characteristics are 0x%08X" % (SHARE_NAME, SHARE_CHARACTERISTICS),
            "found 0x%08X" % s.Characteristics)
    r.check(s.Misc_VirtualSize == share_size,
            "%s virtual size is %d" % (SHARE_NAME, share_size),
            "found %d" % s.Misc_VirtualSize)
    start, size = s.PointerToRawData, s.SizeOfRawData
    raw = data[start:start + size]
    if len(raw) != size:
        r.check(False, "%s raw data is all zero" % SHARE_NAME,
                "raw data runs past end of file")
        return
    nonzero = next((i for i, b in enumerate(raw) if b), None)
    r.check(nonzero is None, "%s raw data is all zero" % SHARE_NAME,
            "%d bytes" % size if nonzero is None else
            "non-zero byte 0x%02x at section offset 0x%x" % (raw[nonzero], nonzero))


def find_version_resources(pe):
    out = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != RT_VERSION or not hasattr(t, "directory"):
            continue
        for n in t.directory.entries:
            if not hasattr(n, "directory"):
                continue
            for lang in n.directory.entries:
                ident = n.id if n.id is not None else str(n.name)
                out.append((ident, lang.id, lang.data.struct.OffsetToData, lang.data.struct.Size))
    return out


def check_version(pe, r):
    found = find_version_resources(pe)
    desc = ", ".join("id %s lang 0x%04x" % (i, l) for i, l, _, _ in found) or "none"
    if not r.check(len(found) == 1 and found[0][0] == 1 and found[0][1] == LANG_JAPANESE_DEFAULT,
                   "one version resource (type 16, id 1, language 0x0411)", desc):
        match = [f for f in found if f[0] == 1]
        if not match:
            return
        found = match
    _, _, rva, size = found[0]
    try:
        blob = pe.get_data(rva, size)
        key, value, _, children, _ = parse_version_node(blob, 0, len(blob))
    except (ValueError, struct.error, pefile.PEFormatError) as e:
        r.check(False, "version resource parses", str(e))
        return

    ok_fixed = key == "VS_VERSION_INFO" and len(value) >= 52
    if not r.check(ok_fixed, "version resource has VS_VERSION_INFO with a fixed part",
                   "key %r, %d value bytes" % (key, len(value))):
        return
    (sig, _sver, fv_ms, fv_ls, pv_ms, pv_ls, _mask, _flags, file_os,
     _ftype, _fsub, _dms, _dls) = struct.unpack_from("<13I", value, 0)
    r.check(sig == VS_FFI_SIGNATURE, "fixed version signature is 0xFEEF04BD", "found 0x%08x" % sig)

    def ver(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    r.check((fv_ms, fv_ls) == (0x00010000, 0), "fixed FileVersion is 1.0.0.0", ver(fv_ms, fv_ls))
    r.check((pv_ms, pv_ls) == (0x00010000, 0), "fixed ProductVersion is 1.0.0.0", ver(pv_ms, pv_ls))
    r.check(file_os == VOS__WINDOWS32, "fixed FileOS is VOS__WINDOWS32 (4)", "found 0x%x" % file_os)

    sfi = [c for c in children if c[0] == "StringFileInfo"]
    tables = [t for c in sfi for t in c[3]]
    table = [t for t in tables if t[0].lower() == STRING_TABLE_KEY]
    if r.check(len(table) == 1, "StringFileInfo has block %s" % STRING_TABLE_KEY,
               "blocks: " + (", ".join(t[0] for t in tables) or "none")):
        strings = {c[0]: utf16_text(c[1]) for c in table[0][3]}
        for name, want in REQUIRED_STRINGS.items():
            got = strings.get(name)
            r.check(got == want, "%s is %r" % (name, want),
                    "missing" if got is None else "found %r" % got)
        for name in NONEMPTY_STRINGS:
            got = strings.get(name)
            r.check(bool(got and got.strip()), "%s is non-empty" % name,
                    "missing" if got is None else "%r" % got)

    vfi = [c for c in children if c[0] == "VarFileInfo"]
    trans = [v for c in vfi for v in c[3] if v[0] == "Translation"]
    pairs = []
    for v in trans:
        raw = v[1]
        pairs += [struct.unpack_from("<HH", raw, i) for i in range(0, len(raw) - 3, 4)]
    r.check(pairs == [(LANG_JAPANESE_DEFAULT, CODEPAGE_UNICODE)],
            "VarFileInfo Translation is 0x0411/1200",
            "found " + (", ".join("0x%04x/%d" % p for p in pairs) or "none"))


def check_imports(pe, r):
    dlls = []
    for attr in ("DIRECTORY_ENTRY_IMPORT", "DIRECTORY_ENTRY_DELAY_IMPORT"):
        for entry in getattr(pe, attr, []):
            dlls.append(entry.dll.decode("ascii", errors="replace"))
    lower = [d.lower() for d in dlls]
    forbidden = [d for d, l in zip(dlls, lower) if l.startswith(FORBIDDEN_IMPORT_PREFIXES)]
    r.check(not forbidden, "no mingw runtime DLL imports (libgcc, libstdc++, libwinpthread)",
            ", ".join(forbidden))
    other = [d for d, l in zip(dlls, lower)
             if l not in ALLOWED_IMPORTS and not l.startswith(ALLOWED_IMPORT_PREFIXES)]
    r.check(not other, "imports only from system DLLs",
            ("not allowed: " + ", ".join(other)) if other else ", ".join(dlls))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("path")
    ap.add_argument("--arch", required=True, choices=sorted(MACHINES))
    ap.add_argument("--share-size", type=int, default=None,
                    help="expected virtual size of the shared section "
                         "(x86 default %d, x64 default %d)" %
                         (DEFAULT_SHARE_SIZE["x86"], DEFAULT_SHARE_SIZE["x64"]))
    args = ap.parse_args(argv)
    share_size = args.share_size if args.share_size is not None else DEFAULT_SHARE_SIZE[args.arch]

    r = Report()
    try:
        with open(args.path, "rb") as f:
            data = f.read()
        pe = pefile.PE(data=data, fast_load=True)
        pe.parse_data_directories(directories=[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"],
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"],
        ])
    except (OSError, pefile.PEFormatError) as e:
        r.check(False, "%s is a readable PE file" % args.path, str(e))
    else:
        print("checking %s as %s" % (args.path, args.arch))
        groups = [
            ("headers", lambda: check_headers(pe, args.arch, r)),
            ("exports", lambda: check_exports(pe, r)),
            ("shared section", lambda: check_share(pe, data, share_size, r)),
            ("version resource", lambda: check_version(pe, r)),
            ("imports", lambda: check_imports(pe, r)),
        ]
        for name, run in groups:
            try:
                run()
            except Exception as e:  # a malformed file must still give a verdict
                r.check(False, "%s can be examined" % name, "%s: %s" % (type(e).__name__, e))
    print("%d passed, %d failed" % (r.passed, r.failed))
    return 1 if r.failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Checks the shipped DLLs' binary interface under CPU emulation, which Wine
cannot show: every call into the DLL (the exports, the hook procedure, the
entry point and TLS callbacks) must pop stdcall's argument bytes on x86 and
keep the callee-saved registers, the DLL must call the text source as a
CALLBACK, and on x64 every buffer it is given, the DLL's image and its stack
lie above 4 GiB with nothing mapped below, so a pointer cut to 32 bits
faults. The steps: start-up, a size query, a request passed on, ANSI and
UTF-16 fills (records byte for byte, nothing past the LRESULT written), a
confirmation, the hook's install, pass-on and removal, a refused hook, detach. What the DLL does with
real windows is tested under Wine, in both bitnesses.

Usage: emulate_dlls.py X86_DLL X64_DLL

Each DLL is loaded at its own base and at a moved one (its relocations).
Prints PASS/FAIL lines; exits 1 on any failure.
"""
import struct
import sys

try:
    from emulated_dll import DATA, EmulationFailure, Machine
    from win32_models import EDIT_WINDOW, HOOK_HANDLE, Win32Models
except ImportError as e:
    sys.exit(f"emulate_dlls.py: {e} (run with /usr/bin/python3; apt-get install python3-unicorn python3-pefile)")

WM_IME_REQUEST, WM_SETTEXT = 0x0288, 0x000C
TSR_GETTEXT, TSR_CONFIRM = 10, 11
SELECTION = "漢字変換".encode("cp932")
CARET_TEXT, CARET = "abc日本語入力x".encode("cp932"), 9  # caret after 日本語
RUN = "日本語入力"


def record(strlen, comp_len, comp_off, string, unit):
    """The bytes an IME's 256-byte record must hold after a fill: the header,
    the string and its terminator, the rest as the IME left it (0xCC)."""
    data = struct.pack("<8I", 160, 0, strlen, 32, comp_len, comp_off, comp_len, comp_off) + string + unit
    return data + b"\xcc" * (256 - len(data))


def run(path, arch, moved):
    """One load of one DLL: each step's answers, with the convention checked
    on every call; returns the problems found."""
    m = Machine(arch)
    models = Win32Models(m)
    m.load(path, m.a["moved"] if moved else None, models)
    source = m.trap("harness", "TextSource", *models.bind("harness", "TextSource"))
    rec, answer, cwp = m.h + DATA, m.h + DATA + 0x200, m.h + DATA + 0x300  # above 4 GiB on x64
    problems = []

    def expect(ok, what):
        if not ok:
            problems.append(what)

    def u32(v):
        return v & 0xFFFFFFFF

    m.notify(1)  # process attach; the trace window exists, so every step also traces through wvsprintfA

    def ask(name, message, wparam, header=None, expected=None, text=None, caret=-1):
        """IsReconvertMsg for the edit window. `header`: the record's fields
        from dwStrLen on as the IME set them (None: a size query, no record);
        `expected`: the record's 256 bytes afterwards."""
        models.calls.clear()
        models.source = (text, caret)
        m.write(rec, b"\xcc" * 4 + bytes(4) + (header or b"") + b"\xcc" * 248)  # dwVersion 0
        m.write(answer, b"\x5a" * 16)
        handled = u32(m.call(f"IsReconvertMsg ({name})", m.exports["IsReconvertMsg"], EDIT_WINDOW, message,
                             wparam, rec if header is not None else 0, answer, source))
        stored = m.read(answer, 16)
        result = m.pointer(answer) if stored != b"\x5a" * 16 else "untouched"
        expect(stored[m.ptr:] == b"\x5a" * (16 - m.ptr), f"{name}: more than an LRESULT written")
        got = m.read(rec, 256)
        if expected is not None:
            expect(got == expected, f"{name}: record\n  got      {got.hex()}\n  expected {expected.hex()}")
        return handled, result, [c for c in models.calls if c[0] == "TextSource"]

    # Each way out of IsReconvertMsg: a size query, a request it passes on, fills of a selection and of
    # the text around the caret, ANSI and UTF-16, a confirmation; every buffer above 4 GiB on x64.
    r = ask("size query", WM_IME_REQUEST, 4)
    expect(r == (1, 160, []), f"size query answered {r}")
    r = ask("WM_IME_REQUEST with wParam 7", WM_IME_REQUEST, 7)
    expect(r == (0, "untouched", []), f"wParam 7 answered {r}")

    getText = [("TextSource", EDIT_WINDOW, TSR_GETTEXT, 0, True)]
    r = ask("ANSI selection", WM_IME_REQUEST, 4, b"", record(8, 8, 0, SELECTION, b"\0"), SELECTION)
    expect(r == (1, 160, getText), f"ANSI selection answered {r}")
    r = ask("ANSI caret", WM_IME_REQUEST, 4, b"", record(10, 0, 6, RUN.encode("cp932"), b"\0"), CARET_TEXT, CARET)
    expect(r == (1, 160, getText), f"ANSI caret answered {r}")
    msime = models.messages[b"MSIMEReconvert"]
    r = ask("UTF-16 caret", msime, 4, b"", record(5, 0, 6, RUN.encode("utf-16-le"), b"\0\0"), CARET_TEXT, CARET)
    expect(r == (1, 160, getText), f"UTF-16 caret answered {r}")
    # The IME takes 2 units from byte 2 of the run: 4 bytes back from the caret, 4 bytes long.
    header = struct.pack("<4I", 5, 32, 2, 2)  # dwStrLen, dwStrOffset, dwCompStrLen, dwCompStrOffset
    r = ask("UTF-16 confirmation", msime, 5, header, b"\xcc" * 4 + bytes(4) + header + b"\xcc" * 232)
    expect(r == (1, 1, [("TextSource", EDIT_WINDOW, TSR_CONFIRM, 0x00040004, False)]), f"confirmation: {r}")

    # The hook: installed for the whole desktop from this module, passing
    # other messages on, removed once; a refused hook is reported.
    init, end = m.exports["InitReconvertEdit"], m.exports["EndReconvertEdit"]
    models.calls.clear()
    expect(u32(m.call("InitReconvertEdit", init, 0)) == 1, "InitReconvertEdit answers 1")
    expect(models.calls == [("SetWindowsHookExA", 4, 0, True, True)], f"hook installed as {models.calls}")
    m.write(cwp, struct.pack("<QQIIQ", 0x1234, 0x56, WM_SETTEXT, 0, EDIT_WINDOW) if m.ptr == 8
            else struct.pack("<4I", 0x1234, 0x56, WM_SETTEXT, EDIT_WINDOW))  # CWPSTRUCT
    models.calls.clear()
    r = u32(m.call("hook procedure", models.hook, 0, 0, cwp))
    expect((r, models.calls) == (0x77, [("CallNextHookEx", HOOK_HANDLE, 0, 0, cwp)]), f"hook passed on: {r:#x}")
    models.calls.clear()
    r = [u32(m.call("EndReconvertEdit", end)) for _ in range(2)]
    expect((r, models.calls) == ([1, 0], [("UnhookWindowsHookEx", HOOK_HANDLE)]), f"EndReconvertEdit twice: {r}")
    # One thread's hook: the same procedure from this module; thread 0 refused.
    models.calls.clear()
    r = [u32(m.call(f"HookReconvertThread({t:#x})", m.exports["HookReconvertThread"], t)) for t in (0x1234, 0)]
    expected = [("SetWindowsHookExA", 4, 0x1234, True, True), ("SetLastError", 87)]
    expect((r, models.calls) == ([HOOK_HANDLE, 0], expected), f"HookReconvertThread: {r}, {models.calls}")
    models.refuse_hook = True
    r = u32(m.call("InitReconvertEdit (refused)", init, 0)), u32(m.call("EndReconvertEdit", end))
    expect(r == (0, 0), f"with the hook refused, Init and End answered {r}")

    for reason in (2, 3, 0):  # thread attach, thread detach, process detach
        m.notify(reason)
    return problems


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    failed = 0
    for arch, path in zip(("x86", "x64"), sys.argv[1:]):
        for moved in (False, True):
            what = f"{arch} DLL at its {'moved' if moved else 'own'} base"
            try:
                problems = run(path, arch, moved)
            except EmulationFailure as e:
                problems = [str(e)]
            except Exception as e:  # a model meeting something it cannot read counts as a failure too
                problems = [f"{type(e).__name__}: {e}"]
            print(("PASS: " if not problems else "FAIL: ") + what)
            for p in problems:
                print("    " + p)
            failed += bool(problems)
    print(f"{failed} failed" if failed else "all passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

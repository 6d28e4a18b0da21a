"""Small models of the Win32 and msvcrt calls the DLL makes, for the emulated
runs. Each checks what it is given; a call to an import with no model fails
the run, naming it. To model another call, add one entry to `table`: name,
argument count, function (on x86 the C runtime is cdecl, the rest stdcall)."""
import struct

from emulated_dll import HEAP, EmulationFailure

TRACE_WINDOW, EDIT_WINDOW, HOOK_HANDLE = 0x10A0, 0x20B0, 0x30C0


def s32(v):
    v &= 0xFFFFFFFF
    return v - (1 << 32) if v & 0x80000000 else v


def check(ok, what):
    if not ok:
        raise EmulationFailure(what)


class Win32Models:
    def __init__(self, m):
        self.m, self.messages, self.calls = m, {}, []
        self.heap, self.refuse_hook, self.hook = m.h + HEAP, False, 0
        self.source = None  # (text, result) that the harness's text source hands back
        r, w, cstr = m.read, m.write, m.cstr
        self.table = {
            "GetACP": (0, lambda: 932),
            "GetCPInfo": (2, self.GetCPInfo),
            "MultiByteToWideChar": (6, self.MultiByteToWideChar),
            "RegisterWindowMessageA": (1, lambda name:
                                       self.messages.setdefault(cstr(name), 0xC100 + len(self.messages))),
            "FindWindowA": (2, self.FindWindowA),
            "GetModuleHandleA": (1, lambda name: 0),  # the CRT looks for libgcc's DLLs: none loaded
            "GetModuleHandleExA": (3, lambda f, name, out: self.own_module(f, name, out, "latin-1")),
            "GetModuleHandleExW": (3, lambda f, name, out: self.own_module(f, name, out, "utf-16-le")),
            "DisableThreadLibraryCalls": (1, lambda module: int(module == m.base)),
            "GetLastError": (0, lambda: 0),
            "SetLastError": (1, lambda error: self.calls.append(("SetLastError", error))),
            "GetCurrentThreadId": (0, lambda: 0x1234),  # one thread: the builder's per-thread record
            "TlsGetValue": (1, lambda index: 0),
            "calloc": (2, lambda n, size: self.calloc(s32(n) * s32(size))),
            "realloc": (2, lambda old, size: self.calloc(s32(size), old)),
            "lstrlenA": (1, lambda s: len(cstr(s)) if s else 0),
            "strlen": (1, lambda s: len(cstr(s))),
            "memcpy": (3, lambda d, s, n: w(d, r(s, n)) or d),
            "memset": (3, lambda d, c, n: w(d, bytes([c & 0xFF]) * n) or d),
            "memchr": (3, lambda p, c, n: (lambda at: p + at if at >= 0 else 0)(r(p, n).find(bytes([c & 0xFF])))),
            "strpbrk": (2, lambda s, a: next((s + i for i, b in enumerate(cstr(s)) if b in cstr(a)), 0)),
            "strncmp": (3, lambda a, b, n: (lambda x, y: (x > y) - (x < y))(cstr(a)[:n], cstr(b)[:n])),
            "wvsprintfA": (3, self.wvsprintfA),
            "SendMessageA": (4, self.copydata),
            "SendMessageTimeoutA": (7, lambda h, msg, wp, lp, flags, ms, out:
                                    (out and m.put_pointer(out, 0)) or self.copydata(h, msg, wp, lp)),
            "IsWindowUnicode": (1, lambda window: 0),  # the harness's window is an ANSI window
            "SetWindowsHookExA": (4, self.SetWindowsHookExA),
            "UnhookWindowsHookEx": (1, lambda h:
                                    self.calls.append(("UnhookWindowsHookEx", h)) or int(h == HOOK_HANDLE)),
            "CallNextHookEx": (4, lambda h, code, wp, lp:
                               self.calls.append(("CallNextHookEx", h, s32(code), wp, lp)) or 0x77),
            "TextSource": (4, self.TextSource),
        }
        for name in ("InitializeCriticalSection", "DeleteCriticalSection", "EnterCriticalSection",
                     "LeaveCriticalSection", "_lock", "_unlock", "free"):
            self.table[name] = (1, lambda _: None)
        for name in ("abort", "_amsg_exit", "fwrite", "vfprintf"):
            self.table[name] = (4, lambda *_: check(False, "the C runtime reported an error"))

    def bind(self, dll, name):
        """(handler, argument count[, code]) for an import."""
        if name == "_initterm":  # calls back into the DLL: real code
            return None, 2, self.m.a["initterm"]
        if name in self.table:
            argc, fn = self.table[name]
            return fn, argc
        return lambda *_: check(False, f"the DLL called {dll}!{name}, which the emulation does not model"), 0

    def calloc(self, size, old=0):
        """A zeroed block, 16-byte aligned, its size kept in the 16 bytes before it."""
        addr, self.heap = self.heap + 16, self.heap + 16 + ((size + 15) & ~15)
        self.m.write(addr - 16, struct.pack("<Q", size) + bytes(8 + size))
        if old:
            self.m.write(addr, self.m.read(old, min(size, struct.unpack("<Q", self.m.read(old - 16, 8))[0])))
        return addr

    def GetCPInfo(self, cp, info):
        check(s32(cp) in (0, 932), f"GetCPInfo({cp})")
        self.m.write(info, struct.pack("<I2s12s", 2, b"?\0", b"\x81\x9f\xe0\xfc"))
        return 1

    def MultiByteToWideChar(self, cp, flags, src, srclen, dst, room):
        check(s32(cp) in (0, 932) and s32(flags) == 0, f"MultiByteToWideChar({cp}, {flags:#x})")
        data = self.m.cstr(src) + b"\0" if s32(srclen) == -1 else self.m.read(src, s32(srclen))
        units = data.decode("cp932", errors="replace").encode("utf-16-le")
        if s32(room) == 0:
            return len(units) // 2
        if len(units) > 2 * s32(room):
            return 0
        self.m.write(dst, units)
        return len(units) // 2

    def FindWindowA(self, cls, title):
        cls = self.m.cstr(cls) if cls else None
        self.calls.append(("FindWindowA", cls, title))
        return TRACE_WINDOW if cls == b"VeskDebugWClass" and title == 0 else 0

    def own_module(self, flags, name, out, encoding):
        if flags & 4:  # GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
            found = self.m.base <= name < self.m.base + self.m.size
        else:
            found = self.m.read(name, 26).decode(encoding).split("\0")[0].lower() == "rodavozi.dll"
        self.m.put_pointer(out, self.m.base if found else 0)
        return int(found)

    def wvsprintfA(self, out, fmt, args):
        """%d %u %x %lx %s %%: the directives the module's trace formats use."""
        fmt, text, i = self.m.cstr(fmt), bytearray(), 0
        while i < len(fmt):
            c, i = fmt[i:i + 1], i + 1
            if c != b"%" or fmt[i:i + 1] == b"%":
                text, i = text + c, i + (c == b"%")
                continue
            i += fmt[i:i + 1] == b"l"
            directive, i, slot, args = fmt[i:i + 1], i + 1, args, args + self.m.ptr  # 4-byte slots on x86, 8 on x64
            v = self.m.u32(slot)  # %d %u %x %lx read 32 bits on both
            check(directive in (b"s", b"d", b"u", b"x"), f"wvsprintfA directive %{directive.decode()}")
            text += (self.m.cstr(self.m.pointer(slot)) if directive == b"s" else f"{v:x}".encode() if directive == b"x"
                     else str(s32(v) if directive == b"d" else v).encode())
        self.m.write(out, bytes(text[:1023]) + b"\0")
        return min(len(text), 1023)

    def copydata(self, window, msg, wparam, lparam):
        """A trace line: WM_COPYDATA to the viewer, the NUL counted in cbData."""
        check((window, s32(msg), wparam) == (TRACE_WINDOW, 0x4A, 0), f"SendMessage {window:#x} {msg:#x} {wparam:#x}")
        p = self.m.ptr
        data, size, text = self.m.pointer(lparam), self.m.u32(lparam + p), self.m.pointer(lparam + 2 * p)
        sent = self.m.read(text, size) if size else b""
        check(data == 0 and size and sent.find(0) == size - 1, f"trace dwData {data:#x}, cbData {size}: {sent!r}")
        return 1

    def SetWindowsHookExA(self, kind, proc, module, thread):
        self.calls.append(("SetWindowsHookExA", s32(kind), s32(thread), module == self.m.base, self.m.in_text(proc)))
        self.hook = proc
        return 0 if self.refuse_hook else HOOK_HANDLE

    def TextSource(self, window, request, packed, buf):
        """The harness's text source, with the window-procedure convention."""
        self.calls.append(("TextSource", window, s32(request), packed & 0xFFFFFFFF, buf != 0))
        if s32(request) != 10:
            return 0
        text, result = self.source
        self.m.write(buf, b"\xee" * 256)  # the buffer must have room for 256 bytes
        self.m.write(buf, text + b"\0")
        return result

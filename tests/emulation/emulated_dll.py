"""Runs a Windows DLL's machine code under CPU emulation (Unicorn): maps the
image as the Windows loader does (section protections, relocations for the
chosen base, the static TLS block, imports bound to traps whose Python models
are in win32_models.py) and calls its functions with the calling convention
checked on every call."""
import struct

import pefile
from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_MEM_INVALID, UC_MODE_32, UC_MODE_64, UC_PROT_ALL,
                     UC_PROT_EXEC, UC_PROT_NONE, UC_PROT_READ, UC_PROT_WRITE, Uc, UcError)
from unicorn import x86_const as X


class EmulationFailure(Exception):
    pass


def page_up(n):
    return (n + 0xFFF) & ~0xFFF


# Harness memory, offsets from the arch's harness base. On x64 that base and
# the images lie above 4 GiB with nothing below, so a pointer cut to 32 bits faults.
CDECL_DLLS = ("msvcrt", "ucrtbase", "api-ms-win-crt-")  # on x86 the other DLLs export stdcall
TRAPS, STACK, TEB, DATA, HEAP, GDT, SLOT = 0x100000, 0x200000, 0x400000, 0x500000, 0x600000, 0x700000, 64
REG_NAMES = {v: k[len("UC_X86_REG_"):] for k, v in vars(X).items() if k.startswith("UC_X86_REG_")}
R = lambda *names: tuple(getattr(X, "UC_X86_REG_" + n) for n in names)  # noqa: E731
ARCHS = {  # _initterm calls back into the DLL, so it is real code: call each non-null pointer in [begin, end)
    "x86": dict(mode=UC_MODE_32, ptr=4, sp=X.UC_X86_REG_ESP, pc=X.UC_X86_REG_EIP, ret=X.UC_X86_REG_EAX,
                saved=R("EBX", "EBP", "ESI", "EDI"), scratch=R("ECX", "EDX"), args=(), harness=0,
                moved=0x10000000, machine=0x14C,
                initterm=bytes.fromhex("5657 8b74240c 8b7c2410 39fe 730d 8b06 85c0 7402 ffd0 83c604 ebef 5f5e c3")),
    "x64": dict(mode=UC_MODE_64, ptr=8, sp=X.UC_X86_REG_RSP, pc=X.UC_X86_REG_RIP, ret=X.UC_X86_REG_RAX,
                saved=R("RBX", "RBP", "RSI", "RDI", "R12", "R13", "R14", "R15"),
                scratch=R("RCX", "RDX", "R8", "R9", "R10", "R11"), args=R("RCX", "RDX", "R8", "R9"),
                harness=0x5_0000_0000, moved=0x7_4000_0000, machine=0x8664,
                initterm=bytes.fromhex("5657 4883ec28 4889ce 4889d7 4839fe 7310 488b06 4885c0 7402 ffd0 "
                                       "4883c608 ebeb 4883c428 5f5e c3")),
}


def gdt_entry(base, limit, access, flags):
    return struct.pack("<Q", (limit & 0xFFFF) | (base & 0xFFFFFF) << 16 | access << 40
                       | ((limit >> 16) & 0xF) << 48 | flags << 52 | (base >> 24) << 56)


class Machine:
    def __init__(self, arch):
        self.arch, self.a = arch, ARCHS[arch]
        self.ptr, self.h, self.mask = self.a["ptr"], self.a["harness"], (1 << 8 * self.a["ptr"]) - 1
        self.uc = uc = Uc(UC_ARCH_X86, self.a["mode"])
        for off, size in ((TRAPS, 0x4000), (STACK, 0x100000), (TEB, 0x4000), (DATA, 0x10000), (HEAP, 0x100000),
                          (GDT, 0x1000)):
            uc.mem_map(self.h + off, size, UC_PROT_READ | UC_PROT_WRITE)
        uc.mem_protect(self.h + TRAPS, 0x4000, UC_PROT_READ | UC_PROT_EXEC)
        self.slots, self.next_slot, self.fault = {}, self.h + TRAPS, None
        self.returned = self.trap("harness", "return to the harness", None, 0, b"\xf4")
        self.stack_top = self.h + STACK + 0x100000 - 0x100
        uc.hook_add(UC_HOOK_CODE, self._on_trap, begin=self.h + TRAPS, end=self.h + TRAPS + 0x3FFF)
        uc.hook_add(UC_HOOK_MEM_INVALID, lambda uc, access, addr, *_: setattr(
            self, "fault", (addr, uc.reg_read(self.a["pc"]))))
        self._thread_block()

    def read(self, addr, n):
        return bytes(self.uc.mem_read(addr, n))

    def write(self, addr, data):
        self.uc.mem_write(addr, bytes(data))

    def u32(self, addr):
        return struct.unpack("<I", self.read(addr, 4))[0]

    def pointer(self, addr):
        return int.from_bytes(self.read(addr, self.ptr), "little")

    def put_pointer(self, addr, v):
        self.write(addr, (v & self.mask).to_bytes(self.ptr, "little"))

    def cstr(self, addr):
        for n in range(64, 0x10001, 64):
            data = self.read(addr, n)
            if 0 in data:
                return data[:data.index(0)]
        raise EmulationFailure(f"string at {addr:#x} is not terminated")

    def _thread_block(self):
        """TEB and PEB; on x86 a GDT too, since Unicorn ignores the FS base in
        32-bit mode, with a flat 32-bit stack segment (pushes would wrap at 64 KiB)."""
        teb, p = self.h + TEB, self.ptr
        self.tls_array, self.tls_block = teb + 0x2000, teb + 0x3000
        for off, v in ((0, self.mask), (p, self.stack_top + 0x100), (2 * p, self.h + STACK), (6 * p, teb),
                       (0x2C if p == 4 else 0x58, self.tls_array), (0x30 if p == 4 else 0x60, teb + 0x1000)):
            self.put_pointer(teb + off, v)  # SEH end, StackBase, StackLimit, Self, TLS pointer, PEB
        if p == 8:
            return self.uc.reg_write(X.UC_X86_REG_GS_BASE, teb)
        self.write(self.h + GDT, bytes(8) + gdt_entry(0, 0xFFFFF, 0x92, 0xC) + gdt_entry(teb, 0xFFF, 0x92, 0x4))
        self.uc.reg_write(X.UC_X86_REG_GDTR, (0, self.h + GDT, 3 * 8 - 1, 0))
        self.uc.reg_write(X.UC_X86_REG_SS, 1 << 3)
        self.uc.reg_write(X.UC_X86_REG_FS, 2 << 3)

    def trap(self, dll, name, handler, argc, code=None):
        """A slot of code for one import: its model runs when the slot's first
        instruction is reached, then the slot's `ret` (stdcall pops on x86)."""
        if code is None and self.ptr == 4 and not dll.lower().startswith(CDECL_DLLS):
            code = b"\xc2" + struct.pack("<H", 4 * argc)
        addr, self.next_slot = self.next_slot, self.next_slot + SLOT
        self.write(addr, code or b"\xc3")
        self.slots[addr] = (name, handler, argc)
        return addr

    def _on_trap(self, uc, address, size, _):
        name, handler, argc = self.slots.get(address, (None, None, 0))
        if handler is None:
            return
        sp = uc.reg_read(self.a["sp"])
        if self.ptr == 8 and sp % 16 != 8:
            raise EmulationFailure(f"{name} called with a misaligned stack ({sp:#x})")
        regs = [uc.reg_read(r) for r in self.a["args"]]
        result = handler(*[regs[i] if i < len(regs) else self.pointer(sp + self.ptr * (i + 1)) for i in range(argc)])
        uc.reg_write(self.a["ret"], (0xBAD0BAD0BAD0BAD0 if result is None else result) & self.mask)
        for i, r in enumerate(self.a["scratch"]):  # the caller may not rely on these
            uc.reg_write(r, (0xDEAD0000DEAD0001 + i) & self.mask)

    def call(self, what, addr, *args):
        """Calls guest code as the system would and checks the convention on
        return: stdcall's pop on x86, the callee-saved registers."""
        uc, p, n = self.uc, self.ptr, len(args)
        sp = self.stack_top - p * (n + 1) - (32 if p == 8 else 0)
        sp -= (sp - 8) % 16 if p == 8 else 0  # x64: rsp is 8 past a 16-byte boundary at entry
        for i, a in enumerate(args):
            self.put_pointer(sp + p * (i + 1), a)  # x64: home slots, then the stack arguments
            if i < len(self.a["args"]):
                uc.reg_write(self.a["args"][i], a & self.mask)
        self.put_pointer(sp, self.returned)
        uc.reg_write(self.a["sp"], sp)
        saved = [(r, (0x5A17EC0DE0000001 + 0x0101010100000000 * i) & self.mask) for i, r in enumerate(self.a["saved"])]
        for r, v in saved:
            uc.reg_write(r, v)
        self.fault = None
        try:
            uc.emu_start(addr, self.returned, count=5_000_000)
        except UcError as e:
            where = f" (address {self.fault[0]:#x}, pc {self.fault[1]:#x})" if self.fault else ""
            raise EmulationFailure(f"{what}: {e}{where}") from None
        if uc.reg_read(self.a["pc"]) != self.returned:
            raise EmulationFailure(f"{what}: did not return (pc {uc.reg_read(self.a['pc']):#x})")
        popped, expected = uc.reg_read(self.a["sp"]) - sp - p, 4 * n if p == 4 else 0
        if popped != expected:
            raise EmulationFailure(f"{what}: popped {popped} bytes of arguments on return, expected {expected}")
        for r, v in saved:
            if uc.reg_read(r) != v:
                raise EmulationFailure(f"{what}: callee-saved register {REG_NAMES[r]} not kept")
        return uc.reg_read(self.a["ret"])

    def load(self, path, base, models):
        """Maps the image at `base` (None: its own) with its imports bound to `models`."""
        pe = pefile.PE(path)
        if pe.FILE_HEADER.Machine != self.a["machine"]:
            raise EmulationFailure(f"{path} is not an {self.arch} image")
        orig, size, headers = (pe.OPTIONAL_HEADER.ImageBase, page_up(pe.OPTIONAL_HEADER.SizeOfImage),
                               pe.OPTIONAL_HEADER.SizeOfHeaders)
        base = base or orig
        self.base, self.size = base, size
        word = "<I" if self.ptr == 4 else "<Q"
        img = bytearray(size)
        img[:headers] = pe.__data__[:headers]
        struct.pack_into(word, img, pe.OPTIONAL_HEADER.get_file_offset() + (28 if self.ptr == 4 else 24), base)
        for s in pe.sections:
            data = s.get_data()[:s.Misc_VirtualSize]
            img[s.VirtualAddress:s.VirtualAddress + len(data)] = data
        for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
            for e in block.entries:
                if e.type not in (0, 3, 10):  # absolute, HIGHLOW, DIR64
                    raise EmulationFailure(f"relocation type {e.type} at {e.rva:#x}")
                if e.type:
                    fmt, m = ("<I", 0xFFFFFFFF) if e.type == 3 else ("<Q", (1 << 64) - 1)
                    struct.pack_into(fmt, img, e.rva, (struct.unpack_from(fmt, img, e.rva)[0] + base - orig) & m)
        for d in pe.DIRECTORY_ENTRY_IMPORT:
            for imp in d.imports:
                dll, name = d.dll.decode(), imp.name.decode() if imp.name else f"ordinal {imp.ordinal}"
                struct.pack_into(word, img, imp.address - orig, self.trap(dll, name, *models.bind(dll, name)))
        self.uc.mem_map(base, size, UC_PROT_ALL)
        self.uc.mem_write(base, bytes(img))
        self.uc.mem_protect(base, size, UC_PROT_NONE)
        self.uc.mem_protect(base, page_up(headers), UC_PROT_READ)
        self.text = []
        for s in pe.sections:
            c = s.Characteristics
            self.uc.mem_protect(base + s.VirtualAddress, page_up(s.Misc_VirtualSize),
                                (UC_PROT_READ if c & 0x40000000 else 0) | (UC_PROT_WRITE if c & 0x80000000 else 0)
                                | (UC_PROT_EXEC if c & 0x20000000 else 0))
            if c & 0x20000000:
                self.text.append((base + s.VirtualAddress, base + s.VirtualAddress + s.Misc_VirtualSize))
        self.entry = base + pe.OPTIONAL_HEADER.AddressOfEntryPoint
        self.exports = {e.name.decode(): base + e.address for e in pe.DIRECTORY_ENTRY_EXPORT.symbols}
        self.tls_callbacks = []
        tls = pe.OPTIONAL_HEADER.DATA_DIRECTORY[9].VirtualAddress
        if tls:  # the loader's part: template copy, ThreadLocalStoragePointer, index
            start, end, index_at, at = struct.unpack_from(word[0] + 4 * word[1], img, tls)
            zero_fill = struct.unpack_from("<I", img, tls + 4 * self.ptr)[0]
            self.write(self.tls_block, img[start - base:end - base] + bytes(zero_fill))
            self.put_pointer(self.tls_array, self.tls_block)
            self.write(index_at, bytes(4))
            while at and self.pointer(at):
                self.tls_callbacks.append(self.pointer(at))
                at += self.ptr

    def in_text(self, addr):
        return any(lo <= addr < hi for lo, hi in self.text)

    def notify(self, reason):
        """Process or thread attach/detach: TLS callbacks first, as the loader
        does them; the entry point must answer TRUE."""
        for cb in self.tls_callbacks:
            self.call(f"TLS callback {cb - self.base:#x} ({reason})", cb, self.base, reason, 0)
        if self.call(f"DllMain ({reason})", self.entry, self.base, reason, 0) & 0xFFFFFFFF == 0:
            raise EmulationFailure(f"DllMain refused reason {reason}")

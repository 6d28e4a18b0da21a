#include "support/loaded_dll.h"

#include "support/processes.h"

#include <stdio.h>
#include <string.h>

namespace {
template <class T>
void Lookup(HMODULE module, const char* name, T* proc) {
    *proc = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

const LoadedDll& Dll() {
    static LoadedDll dll;
    if (dll.module) return dll;
    std::wstring path = TestFolder() + L"RODAVOZI.DLL";
    dll.module = LoadLibraryW(path.c_str());
    if (!dll.module) {
        fprintf(stderr, "cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        return dll;
    }
    Lookup(dll.module, "IsReconvertMsg", &dll.IsReconvertMsg);
    Lookup(dll.module, "InitReconvertEdit", &dll.InitReconvertEdit);
    Lookup(dll.module, "EndReconvertEdit", &dll.EndReconvertEdit);
    return dll;
}

volatile SharedView* Shared() {
    HMODULE module = Dll().module;
    if (!module) return nullptr;
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section)
        if (memcmp(section->Name, ".share", 7) == 0)
            return reinterpret_cast<volatile SharedView*>(const_cast<BYTE*>(base) + section->VirtualAddress);
    return nullptr;
}

bool MappedAt(HMODULE module) {
    HMODULE found = nullptr;
    return module != nullptr &&
           GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCSTR>(module), &found) &&
           found == module;
}

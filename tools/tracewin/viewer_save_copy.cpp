// Copy (the selected rows, or all) and Save (all) of the trace viewer.
#include "tracewin_strings.h"
#include "viewer.h"

#include <commdlg.h>
#include <string.h>

namespace {

bool PutOnClipboard(UINT format, const void* data, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (memory == nullptr) return false;
    void* target = GlobalLock(memory);
    memcpy(target, data, size);
    GlobalUnlock(memory);
    if (SetClipboardData(format, memory) == nullptr) {
        GlobalFree(memory);
        return false;
    }
    return true;
}

DWORD WINAPI SaveThread(void* parameter) {
    SaveJob* job = static_cast<SaveJob*>(parameter);
    HANDLE file = CreateFileW(job->path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, job->data.data(), static_cast<DWORD>(job->data.size()), &written, nullptr) &&
              written == job->data.size();
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    std::string().swap(job->data);
    if (!PostMessageW(g_viewer.window, kMsgSaved, ok, reinterpret_cast<LPARAM>(job))) delete job;
    return 0;
}

}  // namespace

void CopyLines(HWND window, bool all) {
    const std::string lines = KeptLines(!all);
    if (lines.empty() || !OpenClipboard(window)) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    int units = MultiByteToWideChar(CP_ACP, 0, lines.c_str(), -1, nullptr, 0);
    std::wstring wide(units > 0 ? units : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, lines.c_str(), -1, &wide[0], units);
    EmptyClipboard();
    PutOnClipboard(CF_TEXT, lines.c_str(), lines.size() + 1);
    PutOnClipboard(CF_UNICODETEXT, wide.c_str(), wide.size() * sizeof(wchar_t));
    CloseClipboard();
}

// The dialog runs on the window's thread, the writing on a thread of its own
// (a slow share must not stop the window from taking lines).
void SaveAll(HWND window) {
    ViewerState& v = g_viewer;
    wchar_t path[MAX_PATH] = L"trace.log";
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    std::wstring filter = ToolString(kSaveFilter);  // '|' for the zeros a string table cannot hold
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"log";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    ++v.modal;
    BOOL chosen = GetSaveFileNameW(&dialog);
    --v.modal;
    if (!chosen || v.closeWanted) return;
    SaveJob* job = new SaveJob{path, KeptLines(false)};
    v.saveThread = CreateThread(nullptr, 0, SaveThread, job, 0, nullptr);
    if (v.saveThread == nullptr) {
        job->data.clear();
        PostMessageW(window, kMsgSaved, FALSE, reinterpret_cast<LPARAM>(job));
    }
}

void SaveDone(HWND window, bool ok, SaveJob* job) {
    ViewerState& v = g_viewer;
    if (v.saveThread) {
        WaitForSingleObject(v.saveThread, INFINITE);  // it has posted: it is ending
        CloseHandle(v.saveThread);
        v.saveThread = nullptr;
    }
    if (!ok && !v.closeWanted) {
        std::wstring text = ToolString(kCannotWrite, {job->path});
        ++v.modal;
        MessageBoxW(window, text.c_str(), L"tracewin", MB_OK | MB_ICONERROR);
        --v.modal;
        if (v.closeWanted && v.modal == 0) DestroyWindow(window);
    }
    delete job;
}

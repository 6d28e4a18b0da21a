// tracewin: the trace viewer of RODAVOZI.DLL.
//
// A top-level window of class "VeskDebugWClass" that takes every WM_COPYDATA
// payload as one trace line and shows it with its arrival time. The DLL looks
// the viewer up when it is mapped into a process, so start the viewer first.
// The line format is described in trace_format.h; README.md has the options.
//
// A sender waits while its WM_COPYDATA is handled, so the handler only
// formats and keeps the line: the log and standard output are written by
// threads of their own (trace_sink.h), the list is brought up to date on a
// timer (viewer_rows.cpp), and Save writes on a thread (viewer_save_copy.cpp).
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "trace_code_page.h"
#include "tracewin_strings.h"
#include "viewer.h"

namespace {

const char kClassName[] = "VeskDebugWClass";
#ifdef _WIN64
#define TRACEWIN_ARCH "x64"
#else
#define TRACEWIN_ARCH "x86"
#endif
// One viewer per session, whichever architecture: the 32-bit and the 64-bit
// DLL both report to the first "VeskDebugWClass" window they find.
const wchar_t kMutexName[] = L"Local\\RODAVOZI.tracewin";

enum ExitCode {
    kExitOk = 0,
    kExitUsage = 1,
    kExitLogFile = 2,
    kExitAlreadyRunning = 3,
    kExitWindow = 4,
};

enum CommandId {
    kCmdSave = 101,
    kCmdExit,
    kCmdCopy,  // the selected rows
    kCmdClear,
    kCmdCopyAll,
    kCmdSelectAll,
};

struct Options {
    std::wstring logPath;
    bool toStdout = false;
    bool quiet = false;
    bool help = false;
};

HANDLE g_flushed;  // set once the sinks have written what they were given

// Messages for the person who started the viewer: standard error, and a
// message box unless --quiet.
void Report(const Options& options, const wchar_t* text, bool error) {
    HANDLE handle = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS))
            handle = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD mode, written;
        if (GetConsoleMode(handle, &mode)) {
            WriteConsoleW(handle, text, lstrlenW(text), &written, nullptr);
        } else {
            int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
            std::string ansi(size > 0 ? size : 1, '\0');
            WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], size, nullptr, nullptr);
            WriteFile(handle, ansi.data(), lstrlenA(ansi.c_str()), &written, nullptr);
        }
    }
    if (!options.quiet) MessageBoxW(nullptr, text, L"tracewin", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

bool ParseOptions(Options& options) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr) return false;
    // Every argument is looked at, so that --quiet counts wherever it stands.
    bool ok = true;
    for (int i = 1; i < count; ++i) {
        std::wstring arg = args[i];
        if (arg == L"--log" && i + 1 < count)
            options.logPath = args[++i];
        else if (arg == L"--stdout")
            options.toStdout = true;
        else if (arg == L"--quiet")
            options.quiet = true;
        else if (arg == L"--help" || arg == L"-h" || arg == L"/?")
            options.help = true;
        else
            ok = false;
    }
    LocalFree(args);
    return ok;
}

// Closing the window under an open Save dialog would pull the owner away
// from the dialog: the dialogs are cancelled first and the close happens
// once they have returned.
BOOL CALLBACK CancelDialog(HWND dialog, LPARAM) {
    char kind[16];
    if (GetClassNameA(dialog, kind, sizeof kind) && lstrcmpA(kind, "#32770") == 0) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_COMMAND, IDNO, 0);  // "replace the file?" has no Cancel
    }
    return TRUE;
}

void CloseViewer(HWND window) {
    if (g_viewer.modal > 0) {
        g_viewer.closeWanted = true;
        EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
        return;
    }
    DestroyWindow(window);
}

HMENU BuildMenu() {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kCmdSave, ToolString(kMenuSave).c_str());
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kCmdExit, ToolString(kMenuExit).c_str());
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, kCmdCopy, ToolString(kMenuCopy).c_str());
    AppendMenuW(edit, MF_STRING, kCmdCopyAll, ToolString(kMenuCopyAll).c_str());
    AppendMenuW(edit, MF_STRING, kCmdSelectAll, ToolString(kMenuSelectAll).c_str());
    AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(edit, MF_STRING, kCmdClear, ToolString(kMenuClear).c_str());
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), ToolString(kMenuFile).c_str());
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), ToolString(kMenuEdit).c_str());
    return bar;
}

// The window's DPI (Windows 10 1607 and later), else the screen's.
int DpiOf(HWND window) {
    typedef UINT(WINAPI * DpiProc)(HWND);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    FARPROC proc = user32 ? GetProcAddress(user32, "GetDpiForWindow") : nullptr;
    UINT dpi = proc ? reinterpret_cast<DpiProc>(reinterpret_cast<void*>(proc))(window) : 0;
    if (dpi == 0) {
        HDC dc = GetDC(nullptr);
        dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
    }
    return dpi ? static_cast<int>(dpi) : 96;
}

LRESULT OnCreate(HWND window) {
    CreateFonts(DpiOf(window));
    g_viewer.list = CreateRowList(window);
    if (g_viewer.list == nullptr) return -1;
    if (g_viewer.font) SendMessageA(g_viewer.list, WM_SETFONT, reinterpret_cast<WPARAM>(g_viewer.font), FALSE);
    return 0;
}

// New fonts and row height, and the size Windows suggests.
void OnDpiChanged(HWND window, int dpi, const RECT* suggested) {
    CreateFonts(dpi);
    if (g_viewer.list) {
        SendMessageA(g_viewer.list, WM_SETFONT, reinterpret_cast<WPARAM>(g_viewer.font), FALSE);
        SendMessageA(g_viewer.list, LB_SETITEMHEIGHT, 0, RowHeight(window));
    }
    SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The sender's code page when it named one other than ours (dwData), else 0.
unsigned int SenderCodePage(ULONG_PTR named) {
    ViewerState& v = g_viewer;
    if (named == 0 || named == GetACP() || named > 0xFFFF || !IsValidCodePage(static_cast<UINT>(named))) return 0;
    if (named != v.senderCodePage) LoadTraceCodePage(static_cast<UINT>(named), &v.senderPage);
    return v.senderCodePage = static_cast<unsigned int>(named);
}

// Only what the system copied for us is read: cbData bytes at lpData.
LRESULT OnCopyData(const COPYDATASTRUCT* data) {
    if (data == nullptr) return FALSE;
    TracePayload payload = {static_cast<const unsigned char*>(data->lpData), data->cbData};
    if (payload.bytes == nullptr) payload.size = 0;
    TakeLine(payload, SenderCodePage(data->dwData));
    return TRUE;
}

void OnCommand(HWND window, WORD id) {
    switch (id) {
    case kCmdSave:
        if (g_viewer.modal > 0 || g_viewer.saveThread) return;  // one Save at a time
        SaveAll(window);
        if (g_viewer.closeWanted && g_viewer.modal == 0) DestroyWindow(window);
        return;
    case kCmdExit: CloseViewer(window); return;
    case kCmdCopy: CopyLines(window, false); return;
    case kCmdCopyAll: CopyLines(window, true); return;
    case kCmdSelectAll: SendMessageA(g_viewer.list, LB_SELITEMRANGEEX, 0, g_viewer.rows.size() - 1); return;
    case kCmdClear: ClearRows(); return;
    }
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = RowHeight(window);
        return TRUE;
    case WM_DPICHANGED: OnDpiChanged(window, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam)); return 0;
    case WM_DRAWITEM: DrawRow(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_SIZE:
        if (g_viewer.list) MoveWindow(g_viewer.list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (g_viewer.list) SetFocus(g_viewer.list);
        return 0;
    case WM_COPYDATA: return OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_TIMER:
        if (wParam == kRefreshTimer) RefreshList();
        return 0;
    case kMsgSaved: SaveDone(window, wParam != 0, reinterpret_cast<SaveJob*>(lParam)); return 0;
    case WM_COMMAND: OnCommand(window, LOWORD(wParam)); return 0;
    case WM_CLOSE: CloseViewer(window); return 0;
    case WM_DESTROY:
        KillTimer(window, kRefreshTimer);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Lets processes of lower integrity deliver their traces (Windows 7 and
// later; looked up at run time so that older systems still start the viewer).
void AcceptCopyDataFromEveryone(HWND window) {
    typedef BOOL(WINAPI * FilterProc)(HWND, UINT, DWORD, void*);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    FARPROC proc = user32 ? GetProcAddress(user32, "ChangeWindowMessageFilterEx") : nullptr;
    if (proc) reinterpret_cast<FilterProc>(reinterpret_cast<void*>(proc))(window, WM_COPYDATA, 1 /*MSGFLT_ALLOW*/, nullptr);
}

// A second start: bring the running viewer to the front. It may still be
// creating its window, so look for a moment.
void ActivateRunningViewer() {
    for (int tries = 0; tries < 20; ++tries) {
        HWND other = FindWindowA(kClassName, nullptr);
        if (other) {
            if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
            SetForegroundWindow(other);
            return;
        }
        Sleep(100);
    }
}

// Ctrl+C, Ctrl+Break or the close of the console the viewer writes to: the
// viewer closes as from its menu, so that the log gets what it was given.
// The handler runs on a thread of its own; a closing console ends the
// process when the handler returns, so it waits for the flush.
BOOL WINAPI ConsoleHandler(DWORD event) {
    if (g_viewer.window) PostMessageW(g_viewer.window, WM_CLOSE, 0, 0);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    WaitForSingleObject(g_flushed, 4000);
    return TRUE;
}

// The log file and standard output, each handed to a sink; false (with the
// message given) when the log cannot be opened.
bool OpenSinks(const Options& options) {
    HANDLE log = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE;
    if (!options.logPath.empty()) {
        log = CreateFileW(options.logPath.c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log == INVALID_HANDLE_VALUE) {
            wchar_t reason[256] = L"";
            DWORD error = GetLastError();
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason, 256,
                           nullptr);
            std::wstring text = ToolString(kCannotOpenLog, {options.logPath, std::to_wstring(error), reason}) + L"\n";
            Report(options, text.c_str(), true);
            return false;
        }
    }
    if (options.toStdout) {
        out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out == nullptr || out == INVALID_HANDLE_VALUE) {
            out = INVALID_HANDLE_VALUE;
            if (AttachConsole(ATTACH_PARENT_PROCESS))
                out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        }
    }
    StartSink(g_viewer.log, log, true);
    StartSink(g_viewer.out, out, false);
    return true;
}

HWND CreateViewerWindow(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    RegisterClassExA(&wc);
    HWND window = CreateWindowExA(0, kClassName, "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 900, 500,
                                  nullptr, BuildMenu(), instance, nullptr);
    if (window) SetWindowTextW(window, ToolString(kTitle, {L"" RODAVOZI_VERSION, L"" TRACEWIN_ARCH}).c_str());
    return window;
}

int RunMessageLoop() {
    ACCEL keys[] = {
        {FVIRTKEY | FCONTROL, 'S', kCmdSave},
        {FVIRTKEY | FCONTROL, 'C', kCmdCopy},
        {FVIRTKEY | FCONTROL, 'A', kCmdSelectAll},
        {FVIRTKEY | FCONTROL, 'L', kCmdClear},
    };
    HACCEL accelerators = CreateAcceleratorTableA(keys, sizeof keys / sizeof keys[0]);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(g_viewer.window, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return kExitOk;
}

}  // namespace

// Made once and never destroyed: a sink's thread stuck in a write may still
// touch its queue while the process ends.
ViewerState& g_viewer = *new ViewerState;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    Options options;
    if (!ParseOptions(options)) {
        std::wstring text = ToolString(kBadCommandLine) + L"\n\n" + ToolString(kUsage) + L"\n";
        Report(options, text.c_str(), true);
        return kExitUsage;
    }
    if (options.help) {
        Report(options, (ToolString(kUsage) + L"\n").c_str(), false);
        return kExitOk;
    }

    // A viewer started elevated holds a mutex that a program without
    // elevation may not open: null (access denied) means running too.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunningViewer();
        Report(options, (ToolString(kAlreadyRunning) + L"\n").c_str(), true);
        return kExitAlreadyRunning;
    }

    LoadTraceCodePage(CP_ACP, &g_viewer.codePage);
    if (!OpenSinks(options)) return kExitLogFile;
    g_flushed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    g_viewer.window = CreateViewerWindow(instance);
    if (g_viewer.window == nullptr) {
        Report(options, (ToolString(kCannotCreateWindow) + L"\n").c_str(), true);
        return kExitWindow;
    }
    AcceptCopyDataFromEveryone(g_viewer.window);
    ShowWindow(g_viewer.window, show);
    const int code = RunMessageLoop();

    // What is queued still goes out, unless a write never returns; a Save
    // being written is let finish.
    if (g_viewer.saveThread) WaitForSingleObject(g_viewer.saveThread, 10000);
    StopSink(g_viewer.log, 5000);
    StopSink(g_viewer.out, 2000);
    SetEvent(g_flushed);
    CloseHandle(mutex);
    return code;
}

// reconvhost: keeps the reconversion service of RODAVOZI.DLL running.
//
// Loads RODAVOZI.DLL from its own folder, installs the system-wide hook with
// InitReconvertEdit and stays resident with a notification-area icon until it
// is told to end: Exit in the icon's menu, "reconvhost --stop", the end of
// the session, or the close of a console it is attached to. Every one of
// those removes the hook with EndReconvertEdit. With --focus it hooks only
// the threads whose edit control has the focus (focus_hooks.cpp).
//
// The 32-bit and the 64-bit host are separate services (each DLL serves the
// processes of its own architecture), so their mutex and window class carry
// the architecture: both can run side by side, one of each per session.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "focus_hooks.h"
#include "reconvhost_ids.h"

namespace {

const wchar_t kMutexName[] = RECONVHOST_MUTEX_PREFIX RECONVHOST_ARCH;
const wchar_t kTitle[] = L"RODAVOZI reconversion host (" RECONVHOST_ARCH L")";
const UINT kIconId = 1;
const DWORD kStopTimeoutMs = 10000;      // --stop: how long the instance may take to exit
const DWORD kFindWindowTimeoutMs = 5000;  // --stop: an instance that is still starting

const wchar_t kUsage[] =
    L"Usage: reconvhost [--focus] [--quiet]\n"
    L"       reconvhost --stop [--quiet]\n"
    L"\n"
    L"Keeps reconversion and document feed for edit controls running: loads\n"
    L"RODAVOZI.DLL from the folder of reconvhost.exe, installs its system-wide\n"
    L"hook and stays in the notification area until Exit is chosen from the\n"
    L"icon's menu. Only one host of each architecture runs per session.\n"
    L"\n"
    L"  --focus  hook only the threads whose edit control has the focus, not\n"
    L"           the whole desktop; lines on standard output and error say\n"
    L"           which threads it hooks and which windows it cannot serve\n"
    L"  --stop   end the running host of this architecture and wait until it\n"
    L"           has removed the hook and exited\n"
    L"  --quiet  report problems on standard error only, no message box\n"
    L"  --help   show this text\n"
    L"\n"
    L"Exit codes:\n"
    L"  0  ended normally (or --stop ended the running host)\n"
    L"  1  bad command line\n"
    L"  2  RODAVOZI.DLL is missing or cannot be loaded\n"
    L"  3  RODAVOZI.DLL lacks InitReconvertEdit or EndReconvertEdit\n"
    L"  4  InitReconvertEdit could not install the hook\n"
    L"  5  a host is already running in this session\n"
    L"  6  --stop: no host is running\n"
    L"  7  --stop: the host did not exit in time\n"
    L"  8  the host's window cannot be created\n"
    L"  9  --stop: the host runs elevated; run --stop elevated too\n"
    L" 10  --focus: the system refused to report focus changes\n"
    L"\n"
    L"A command prompt does not wait for this program: use\n"
    L"\"start /wait reconvhost --stop\" to see its exit code in %ERRORLEVEL%.\n";

struct Options {
    bool stop = false;
    bool quiet = false;
    bool help = false;
    bool focus = false;
};

Options g_options;
HWND g_window;
UINT g_taskbarCreated;
bool g_iconShown;
HICON g_icon;  // at the size the notification area draws
std::wstring g_dllPath;
BOOL(WINAPI* g_endReconvertEdit)(void);
bool g_hookInstalled;
HANDLE g_cleanedUp;  // set once the hook is removed, for the console handler

enum ReportKind { kInfo, kWarning, kError };

// Standard output for information, standard error with the program's name
// for problems; and a message box unless --quiet.
void Report(const std::wstring& text, ReportKind kind) {
    std::wstring line = (kind == kInfo ? L"" : L"reconvhost: ") + text + L"\n";
    HANDLE handle = GetStdHandle(kind == kInfo ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        // Started from a console as a GUI program: write to that console.
        handle = INVALID_HANDLE_VALUE;
        if (AttachConsole(ATTACH_PARENT_PROCESS))
            handle = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    if (handle != INVALID_HANDLE_VALUE) {
        DWORD mode, written;
        if (GetConsoleMode(handle, &mode)) {
            WriteConsoleW(handle, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr);
        } else {
            int size = WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
            std::string ansi(size > 0 ? size : 1, '\0');
            WideCharToMultiByte(CP_ACP, 0, line.c_str(), -1, &ansi[0], size, nullptr, nullptr);
            WriteFile(handle, ansi.data(), static_cast<DWORD>(lstrlenA(ansi.c_str())), &written, nullptr);
        }
    }
    static const UINT icons[] = {MB_ICONINFORMATION, MB_ICONWARNING, MB_ICONERROR};
    if (!g_options.quiet) MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | MB_SETFOREGROUND | icons[kind]);
}

std::wstring SystemMessage(DWORD error) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512, nullptr);
    std::wstring result = text;
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' '))
        result.pop_back();
    return L"error " + std::to_wstring(error) + (result.empty() ? L"" : L": " + result);
}

bool ParseOptions() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr) return false;
    // Every argument is looked at, so that --quiet counts wherever it stands.
    bool ok = true;
    for (int i = 1; i < count; ++i) {
        std::wstring arg = args[i];
        if (arg == L"--stop")
            g_options.stop = true;
        else if (arg == L"--focus")
            g_options.focus = true;
        else if (arg == L"--quiet")
            g_options.quiet = true;
        else if (arg == L"--help" || arg == L"-h" || arg == L"/?")
            g_options.help = true;
        else
            ok = false;
    }
    LocalFree(args);
    return ok;
}

// --stop: asks the running host to end and waits until its process is gone.
int StopRunningHost() {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
    HWND host = FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr);
    // A host that holds the mutex may not have its window yet.
    for (DWORD waited = 0; host == nullptr && mutex != nullptr && waited < kFindWindowTimeoutMs; waited += 50) {
        Sleep(50);
        host = FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr);
    }
    if (mutex) CloseHandle(mutex);
    if (host == nullptr) {
        Report(L"no reconversion host (" RECONVHOST_ARCH L") is running.", kError);
        return kExitNotRunning;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(host, &processId);
    if (!PostMessageW(host, RECONVHOST_STOP_MESSAGE, 0, 0)) {
        // The system keeps messages of a program that is not elevated away
        // from an elevated one's windows.
        DWORD error = GetLastError();
        Report(error == ERROR_ACCESS_DENIED
                   ? L"the reconversion host (" RECONVHOST_ARCH L") runs elevated (as administrator); "
                     L"run \"reconvhost --stop\" from an elevated command prompt to end it."
                   : L"cannot ask the reconversion host (" RECONVHOST_ARCH L") to stop (" + SystemMessage(error) +
                         L").",
               kError);
        return kExitStopDenied;
    }
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    bool ended;
    if (process) {
        ended = WaitForSingleObject(process, kStopTimeoutMs) == WAIT_OBJECT_0;
        CloseHandle(process);
    } else {
        // Not allowed to wait on the process: watch its window instead.
        DWORD waited = 0;
        while (IsWindow(host) && waited < kStopTimeoutMs) {
            Sleep(50);
            waited += 50;
        }
        ended = !IsWindow(host);
    }
    if (!ended) {
        Report(L"the reconversion host (" RECONVHOST_ARCH L") did not exit within " +
                   std::to_wstring(kStopTimeoutMs / 1000) + L" seconds.",
               kError);
        return kExitStopTimeout;
    }
    return kExitOk;
}

// Removes the hook; safe to call from every way out, more than once.
void RemoveHook() {
    if (g_hookInstalled) {
        g_hookInstalled = false;
        if (g_options.focus)
            StopFocusHooks();
        else
            g_endReconvertEdit();
    }
    if (g_cleanedUp) SetEvent(g_cleanedUp);
}

void ShowIcon() {
    NOTIFYICONDATAW icon = {};
    icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
    icon.hWnd = g_window;
    icon.uID = kIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = RECONVHOST_ICON_MESSAGE;
    icon.hIcon = g_icon ? g_icon : LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    lstrcpynW(icon.szTip, L"Reconversion for edit controls (" RECONVHOST_ARCH L")", sizeof icon.szTip / sizeof(wchar_t));
    g_iconShown = Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
}

void HideIcon() {
    if (!g_iconShown) return;
    NOTIFYICONDATAW icon = {};
    icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
    icon.hWnd = g_window;
    icon.uID = kIconId;
    Shell_NotifyIconW(NIM_DELETE, &icon);
    g_iconShown = false;
}

void ShowMenu(HWND window) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"RODAVOZI reconversion host (" RECONVHOST_ARCH L")");
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0,
                L"Lets the IME reconvert text and read the text around the caret");
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"in edit controls of every program of this architecture.");
    std::wstring from = L"Hook from " + g_dllPath;
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, from.c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, RECONVHOST_CMD_EXIT, L"E&xit (remove the hook)");
    POINT at;
    GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only if our window is in
    // the foreground; the posted message lets it close properly.
    SetForegroundWindow(window);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case RECONVHOST_STOP_MESSAGE:
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case RECONVHOST_ICON_MESSAGE:
        if (lParam == WM_RBUTTONUP || lParam == WM_LBUTTONUP || lParam == WM_CONTEXTMENU) ShowMenu(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == RECONVHOST_CMD_EXIT) DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns.
        if (wParam) {
            RemoveHook();
            HideIcon();
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY:
        HideIcon();
        RemoveHook();
        PostQuitMessage(0);
        return 0;
    }
    if (message == g_taskbarCreated && g_taskbarCreated != 0) {
        // The shell restarted: its notification area forgot our icon.
        g_iconShown = false;
        ShowIcon();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A console we are attached to is closing, or Ctrl+C: end like Exit does and
// let the system end the process only after the hook is gone.
BOOL WINAPI ConsoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (g_window) PostMessageW(g_window, RECONVHOST_STOP_MESSAGE, 0, 0);
        if (g_cleanedUp) WaitForSingleObject(g_cleanedUp, 4000);
        return TRUE;
    }
    return FALSE;
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

template <class T>
void Lookup(HMODULE module, const char* name, T* proc) {
    *proc = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// An elevated host gets the shell's TaskbarCreated broadcast only when it
// lets it through (Windows 7 and later; looked up at run time).
void AcceptTaskbarCreated(HWND window) {
    BOOL(WINAPI * filter)(HWND, UINT, DWORD, void*) = nullptr;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (user32) Lookup(user32, "ChangeWindowMessageFilterEx", &filter);
    if (filter && g_taskbarCreated) filter(window, g_taskbarCreated, 1 /*MSGFLT_ALLOW*/, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!ParseOptions()) {
        Report(std::wstring(L"bad command line.\n\n") + kUsage, kError);
        return kExitUsage;
    }
    if (g_options.help) {
        Report(std::wstring(kUsage, lstrlenW(kUsage) - 1), kInfo);
        return kExitOk;
    }
    if (g_options.stop) return StopRunningHost();

    // One host per session, decided before the DLL is touched: a second
    // InitReconvertEdit would replace the running host's hook handle.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        Report(L"a reconversion host (" RECONVHOST_ARCH L") is already running in this session; "
               L"use \"reconvhost --stop\" to end it.",
               kError);
        return kExitAlreadyRunning;
    }

    g_dllPath = OwnFolder() + L"RODAVOZI.DLL";
    HMODULE dll = LoadLibraryW(g_dllPath.c_str());
    if (dll == nullptr) {
        DWORD error = GetLastError();
        // The likely mix-up on 64-bit Windows: the two hosts' folders.
        const wchar_t* why = error == ERROR_BAD_EXE_FORMAT
                                 ? L"). It is a DLL of the other architecture (or no DLL at all): this host is "
                                   RECONVHOST_ARCH L" and needs RODAVOZI.DLL of " RECONVHOST_ARCH
                                   L" in its folder."
                                 : L"). RODAVOZI.DLL of the same architecture (" RECONVHOST_ARCH
                                   L") must be in the folder of reconvhost.exe.";
        Report(L"cannot load " + g_dllPath + L" (" + SystemMessage(error) + why, kError);
        return kExitNoDll;
    }
    int(WINAPI * initReconvertEdit)(DWORD) = nullptr;
    Lookup(dll, "InitReconvertEdit", &initReconvertEdit);
    Lookup(dll, "EndReconvertEdit", &g_endReconvertEdit);
    if (initReconvertEdit == nullptr || g_endReconvertEdit == nullptr) {
        Report(g_dllPath + L" does not export InitReconvertEdit and EndReconvertEdit; is it RODAVOZI.DLL?", kError);
        return kExitBadDll;
    }
    HookThreadProc hookThread = nullptr;
    Lookup(dll, "HookReconvertThread", &hookThread);
    if (g_options.focus && hookThread == nullptr) {
        Report(g_dllPath + L" does not export HookReconvertThread, which --focus needs; it is an older "
                   L"RODAVOZI.DLL. Start the host without --focus.",
               kError);
        return kExitBadDll;
    }

    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.lpszClassName = RECONVHOST_WINDOW_CLASS;
    // A hidden top-level window: it gets WM_ENDSESSION, --stop finds it, and
    // the notification icon reports to it.
    if (!RegisterClassW(&wc) ||
        (g_window = CreateWindowExW(0, RECONVHOST_WINDOW_CLASS, kTitle, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                    instance, nullptr)) == nullptr) {
        Report(L"cannot create the host window (" + SystemMessage(GetLastError()) + L").", kError);
        return kExitNoWindow;
    }
    g_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    AcceptTaskbarCreated(g_window);
    g_icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                           GetSystemMetrics(SM_CYSMICON), 0));
    g_cleanedUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    if (g_options.focus && !StartFocusHooks(hookThread)) {
        DWORD error = GetLastError();  // before DestroyWindow sets its own
        DestroyWindow(g_window);
        Report(L"the system refused to report focus changes (SetWinEventHook: " + SystemMessage(error) +
                   L"), which --focus needs. Start the host without --focus for the desktop-wide hook.",
               kError);
        return kExitEventHookRefused;
    }
    if (!g_options.focus && !initReconvertEdit(0)) {
        DWORD error = GetLastError();
        DestroyWindow(g_window);
        Report(L"InitReconvertEdit could not install the hook (" + SystemMessage(error) +
                   L"). Reconversion is not available.",
               kError);
        return kExitHookRefused;
    }
    g_hookInstalled = true;
    SetPropW(g_window, RECONVHOST_HOOKED_PROP, reinterpret_cast<HANDLE>(1));
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    ShowIcon();
    if (!g_iconShown)
        Report(L"the hook is installed, but the notification area cannot show the icon; "
               L"use \"reconvhost --stop\" to end the host.",
               kWarning);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    RemoveHook();  // already done by WM_DESTROY; the loop may also end otherwise
    if (g_icon) DestroyIcon(g_icon);
    CloseHandle(mutex);
    return kExitOk;
}

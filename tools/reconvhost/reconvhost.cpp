// reconvhost: keeps the reconversion service of RODAVOZI.DLL running.
//
// Loads RODAVOZI.DLL from its own folder and stays resident with a
// notification-area icon until it is told to end: Exit in the icon's menu,
// "reconvhost --stop", the end of the session, or the close of a console it
// is attached to. By default it hooks only the threads whose edit control has
// the focus (focus_hooks.cpp); --desktop-wide installs the desktop-wide hook
// with InitReconvertEdit instead. Every way out removes the hooks.
//
// Each DLL serves the processes of its own architecture, so the 32-bit and
// the 64-bit host are separate processes, with the architecture in their
// mutex and window class. The 64-bit host starts the 32-bit one of the same
// installation as its companion (companion.cpp), which shows no icon and
// ends with it; the 32-bit host started alone works on its own.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "companion.h"
#include "focus_hooks.h"
#include "host_lines.h"
#include "reconvhost_ids.h"
#include "reconvhost_strings.h"
#include "sign_in.h"

namespace {

#define WIDEN_(text) L##text
#define WIDEN(text) WIDEN_(text)

const wchar_t kMutexName[] = RECONVHOST_MUTEX_PREFIX RECONVHOST_ARCH;
const wchar_t kArch[] = RECONVHOST_ARCH;
const wchar_t kVersion[] = WIDEN(RECONVHOST_VERSION);
const UINT kIconId = 1;
const DWORD kStopTimeoutMs = 10000;      // --stop: how long the instance may take to exit
const DWORD kFindWindowTimeoutMs = 5000;  // --stop: an instance that is still starting
const DWORD kCompanionStopMs = 5000;      // on the way out: how long the companion may take

struct Options {
    bool stop = false;
    bool quiet = false;
    bool help = false;
    bool desktopWide = false;
    bool noCompanion = false;
    std::wstring companion;  // --companion PATH
    DWORD companionOf = 0;   // --companion-of PID: started by that 64-bit host
};

Options g_options;
HWND g_window;
UINT g_taskbarCreated;
bool g_iconShown;
HICON g_icon;  // at the size the notification area draws
std::wstring g_dllPath;
BOOL(WINAPI* g_endReconvertEdit)(void);
bool g_hookInstalled;
HANDLE g_cleanedUp;  // set once the hooks are removed, for the console handler
HANDLE g_parent;     // a companion's 64-bit host

enum ReportKind { kInfo, kWarning, kError };

// Standard output for information, standard error with the program's name
// for problems; and a message box unless --quiet.
void Report(const std::wstring& text, ReportKind kind) {
    HostLine(kind == kInfo ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, text, true);
    static const UINT icons[] = {MB_ICONINFORMATION, MB_ICONWARNING, MB_ICONERROR};
    if (!g_options.quiet)
        MessageBoxW(nullptr, text.c_str(), ToolString(kTitle, {kArch}).c_str(),
                    MB_OK | MB_SETFOREGROUND | icons[kind]);
}

bool ParseOptions() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr) return false;
    // Every argument is looked at, so that --quiet counts wherever it stands.
    bool ok = true;
    for (int i = 1; i < count; ++i) {
        std::wstring arg = args[i];
        bool hasValue = i + 1 < count;
        if (arg == L"--stop")
            g_options.stop = true;
        else if (arg == L"--focus")  // the default; taken for command lines written before it was
            g_options.desktopWide = false;
        else if (arg == L"--desktop-wide")
            g_options.desktopWide = true;
        else if (arg == L"--no-companion")
            g_options.noCompanion = true;
        else if (arg == L"--companion" && hasValue)
            g_options.companion = args[++i];
        else if (arg == L"--companion-of" && hasValue)
            g_options.companionOf = wcstoul(args[++i], nullptr, 10);
        else if (arg == L"--quiet")
            g_options.quiet = true;
        else if (arg == L"--help" || arg == L"-h" || arg == L"/?")
            g_options.help = true;
        else
            ok = false;
    }
    LocalFree(args);
    // A companion speaks through its host's standard error only.
    if (g_options.companionOf) g_options.quiet = true;
    return ok;
}

// --stop: asks the running host to end and waits until its process is gone
// (a 64-bit host ends its companion first).
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
        Report(ToolString(kNotRunning, {kArch}), kError);
        return kExitNotRunning;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(host, &processId);
    if (!PostMessageW(host, RECONVHOST_STOP_MESSAGE, 0, 0)) {
        // The system keeps messages of a program that is not elevated away
        // from an elevated one's windows.
        DWORD error = GetLastError();
        Report(error == ERROR_ACCESS_DENIED ? ToolString(kStopElevated, {kArch})
                                            : ToolString(kStopCannotAsk, {kArch, SystemMessage(error)}),
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
        Report(ToolString(kStopTimeout, {kArch, std::to_wstring(kStopTimeoutMs / 1000)}), kError);
        return kExitStopTimeout;
    }
    return kExitOk;
}

// Removes the hooks and ends the companion; safe to call from every way out,
// more than once.
void RemoveHook() {
    if (g_hookInstalled) {
        g_hookInstalled = false;
        if (g_options.desktopWide)
            g_endReconvertEdit();
        else
            StopFocusHooks();
    }
    StopCompanion(kCompanionStopMs);
    if (g_cleanedUp) SetEvent(g_cleanedUp);
}

void ShowIcon() {
    if (g_options.companionOf) return;  // the 64-bit host's icon speaks for both
    NOTIFYICONDATAW icon = {};
    icon.cbSize = NOTIFYICONDATAW_V2_SIZE;
    icon.hWnd = g_window;
    icon.uID = kIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = RECONVHOST_ICON_MESSAGE;
    icon.hIcon = g_icon ? g_icon : LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    std::wstring tip = ToolString(g_options.desktopWide ? kTooltipDesktop : kTooltipFocus) + L" (" + kArch + L")";
    lstrcpynW(icon.szTip, tip.c_str(), sizeof icon.szTip / sizeof(wchar_t));
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

// The menu's line on the architectures served.
std::wstring ServedLine() {
    if (sizeof(void*) == 4) return ToolString(kMenuServesOwn, {ToolString(k32Bit)});
    switch (GetCompanionState()) {
    case CompanionState::kRunning: return ToolString(kMenuServesBoth);
    case CompanionState::kUnusable: return ToolString(kMenuServes64Only, {CompanionPath()});
    case CompanionState::kAlone: return ToolString(kMenuServes32Alone);
    case CompanionState::kNone: break;
    }
    return ToolString(kMenuServesOwn, {ToolString(k64Bit)});
}

// The options a host started at sign-in keeps.
std::wstring SignInArguments() {
    std::wstring arguments = L"--quiet";
    if (g_options.desktopWide) arguments += L" --desktop-wide";
    if (g_options.noCompanion) arguments += L" --no-companion";
    if (!g_options.companion.empty()) arguments += L" --companion \"" + g_options.companion + L"\"";
    return arguments;
}

// The icon's menu as it stands now.
HMENU BuildMenu() {
    HMENU menu = CreatePopupMenu();
    auto line = [menu](const std::wstring& text) { AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, text.c_str()); };
    line(ToolString(kTitle, {kArch}));
    line(ToolString(kMenuVersion, {kVersion}));
    line(ToolString(g_options.desktopWide ? kMenuModeDesktop : kMenuModeFocus));
    line(ServedLine());
    line(g_options.desktopWide ? ToolString(kMenuHookedEvery)
                               : ToolString(kMenuHookedThreads,
                                            {std::to_wstring(HookedThreadCount() + CompanionHookedThreads())}));
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING | (StartsAtSignIn() ? MF_CHECKED : MF_UNCHECKED), RECONVHOST_CMD_SIGN_IN,
                ToolString(kMenuStartAtSignIn).c_str());
    AppendMenuW(menu, MF_STRING, RECONVHOST_CMD_TRACE_VIEWER, ToolString(kMenuOpenTraceViewer).c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, RECONVHOST_CMD_EXIT, ToolString(kMenuExit).c_str());
    return menu;
}

// RECONVHOST_MENU_TEXT_MESSAGE: the menu's items, one a line, to `receiver`.
LRESULT SendMenuText(HWND window, HWND receiver) {
    HMENU menu = BuildMenu();
    std::wstring text;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t item[256] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), item, 256, MF_BYPOSITION);
        text += item + std::wstring(L"\n");
    }
    DestroyMenu(menu);
    COPYDATASTRUCT data = {RECONVHOST_MENU_TEXT_MESSAGE, static_cast<DWORD>(text.size() * sizeof(wchar_t)), &text[0]};
    DWORD_PTR result = 0;
    SendMessageTimeoutW(receiver, WM_COPYDATA, reinterpret_cast<WPARAM>(window), reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 2000, &result);
    return static_cast<LRESULT>(result);
}

void ShowMenu(HWND window) {
    HMENU menu = BuildMenu();
    POINT at;
    GetCursorPos(&at);
    // The menu closes when the user clicks elsewhere only if our window is in
    // the foreground; the posted message lets it close properly.
    SetForegroundWindow(window);
    TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y, 0, window, nullptr);
    PostMessageW(window, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, length);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

void OpenTraceViewer() {
    std::wstring viewer = OwnFolder() + L"tracewin.exe";
    HINSTANCE result = ShellExecuteW(nullptr, L"open", viewer.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        Report(ToolString(kNoTraceViewer, {viewer, SystemMessage(GetLastError())}), kError);
}

void ToggleStartAtSignIn() {
    LONG result = SetStartAtSignIn(!StartsAtSignIn(), SignInArguments());
    if (result != ERROR_SUCCESS) Report(ToolString(kSignInNotChanged, {SystemMessage(result)}), kError);
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
    case RECONVHOST_COUNT_MESSAGE:
        return static_cast<LRESULT>(HookedThreadCount());
    case RECONVHOST_MENU_TEXT_MESSAGE:
        return SendMenuText(window, reinterpret_cast<HWND>(wParam));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case RECONVHOST_CMD_EXIT: DestroyWindow(window); break;
        case RECONVHOST_CMD_SIGN_IN: ToggleStartAtSignIn(); break;
        case RECONVHOST_CMD_TRACE_VIEWER: OpenTraceViewer(); break;
        }
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
        RemovePropW(window, RECONVHOST_MODE_PROP);
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
// let the system end the process only after the hooks are gone.
BOOL WINAPI ConsoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        if (g_window) PostMessageW(g_window, RECONVHOST_STOP_MESSAGE, 0, 0);
        if (g_cleanedUp) WaitForSingleObject(g_cleanedUp, 4000 + kCompanionStopMs);
        return TRUE;
    }
    return FALSE;
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

// The 64-bit host's companion: the 32-bit host of the same installation
// (the x86 folder beside this one), unless told otherwise.
void StartCompanionIfAny() {
    if (sizeof(void*) == 4 || g_options.noCompanion) return;
    std::wstring path = g_options.companion.empty() ? OwnFolder() + L"..\\x86\\reconvhost.exe" : g_options.companion;
    StartCompanion(path, g_options.desktopWide ? L"--desktop-wide" : L"");
}

// Takes messages until WM_QUIT, and meanwhile notices the companion's end
// (it is started again) and, in a companion, its host's end (it ends too).
void RunMessageLoop() {
    for (;;) {
        HANDLE waits[2];
        DWORD count = 0;
        HANDLE companion = CompanionProcess();
        if (companion) waits[count++] = companion;
        if (g_parent) waits[count++] = g_parent;
        DWORD which = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (which < WAIT_OBJECT_0 + count) {
            if (waits[which - WAIT_OBJECT_0] == g_parent) {
                CloseHandle(g_parent);
                g_parent = nullptr;
                DestroyWindow(g_window);
            } else {
                OnCompanionEnded();
            }
            continue;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (!ParseOptions()) {
        Report(ToolString(kBadCommandLine) + L"\n\n" + ToolString(kUsage), kError);
        return kExitUsage;
    }
    if (g_options.help) {
        Report(ToolString(kUsage) + L"\n\n" + ToolString(kExitCodes), kInfo);
        return kExitOk;
    }
    if (g_options.stop) return StopRunningHost();
    // A companion ends with its host, however that ends; one whose host has
    // gone already does not start.
    if (g_options.companionOf) {
        g_parent = OpenProcess(SYNCHRONIZE, FALSE, g_options.companionOf);
        if (g_parent == nullptr) return kExitUsage;
    }

    // One host per session, decided before the DLL is touched: a second
    // InitReconvertEdit would replace the running host's hook handle.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        Report(ToolString(kAlreadyRunning, {kArch}), kError);
        return kExitAlreadyRunning;
    }

    g_dllPath = OwnFolder() + L"RODAVOZI.DLL";
    HMODULE dll = LoadLibraryW(g_dllPath.c_str());
    if (dll == nullptr) {
        DWORD error = GetLastError();
        // The likely mix-up on 64-bit Windows: the two hosts' folders.
        Report(ToolString(error == ERROR_BAD_EXE_FORMAT ? kDllOtherArchitecture : kDllMissing,
                          {kArch, g_dllPath, SystemMessage(error)}),
               kError);
        return kExitNoDll;
    }
    int(WINAPI * initReconvertEdit)(DWORD) = nullptr;
    Lookup(dll, "InitReconvertEdit", &initReconvertEdit);
    Lookup(dll, "EndReconvertEdit", &g_endReconvertEdit);
    if (initReconvertEdit == nullptr || g_endReconvertEdit == nullptr) {
        Report(ToolString(kNoExports, {g_dllPath}), kError);
        return kExitBadDll;
    }
    HookThreadProc hookThread = nullptr;
    Lookup(dll, "HookReconvertThread", &hookThread);
    if (!g_options.desktopWide && hookThread == nullptr) {
        Report(ToolString(kNoThreadHook, {g_dllPath}), kError);
        return kExitBadDll;
    }

    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.lpszClassName = RECONVHOST_WINDOW_CLASS;
    // A hidden top-level window: it gets WM_ENDSESSION, --stop finds it, and
    // the notification icon reports to it.
    std::wstring title = ToolString(kTitle, {kArch});
    if (!RegisterClassW(&wc) ||
        (g_window = CreateWindowExW(0, RECONVHOST_WINDOW_CLASS, title.c_str(), WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                    nullptr, instance, nullptr)) == nullptr) {
        Report(ToolString(kNoWindow, {SystemMessage(GetLastError())}), kError);
        return kExitNoWindow;
    }
    g_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    AcceptTaskbarCreated(g_window);
    g_icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                           GetSystemMetrics(SM_CYSMICON), 0));
    g_cleanedUp = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    if (!g_options.desktopWide && !StartFocusHooks(hookThread)) {
        DWORD error = GetLastError();  // before DestroyWindow sets its own
        DestroyWindow(g_window);
        Report(ToolString(kNoFocusEvents, {SystemMessage(error)}), kError);
        return kExitEventHookRefused;
    }
    if (g_options.desktopWide && !initReconvertEdit(0)) {
        DWORD error = GetLastError();
        DestroyWindow(g_window);
        Report(ToolString(kHookRefused, {SystemMessage(error)}), kError);
        return kExitHookRefused;
    }
    g_hookInstalled = true;
    SetPropW(g_window, RECONVHOST_MODE_PROP, g_options.desktopWide ? RECONVHOST_MODE_DESKTOP : RECONVHOST_MODE_FOCUS);
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    ShowIcon();
    if (!g_iconShown && !g_options.companionOf) Report(ToolString(kNoIcon), kWarning);
    StartCompanionIfAny();

    RunMessageLoop();
    RemoveHook();  // already done by WM_DESTROY; the loop may also end otherwise
    if (g_icon) DestroyIcon(g_icon);
    CloseHandle(mutex);
    return kExitOk;
}

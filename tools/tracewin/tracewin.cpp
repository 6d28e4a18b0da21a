// tracewin: the trace viewer of RODAVOZI.DLL.
//
// A top-level window of class "VeskDebugWClass" that takes every WM_COPYDATA
// payload as one trace line and shows it with its arrival time. The DLL looks
// the viewer up when it is mapped into a process, so start the viewer first.
// The line format is described in trace_format.h; README.md has the options.
//
// A sender waits while its WM_COPYDATA is handled, so the handler only
// formats and keeps the line: the log and standard output are written by
// threads of their own (trace_sink.h), the list box is filled on a timer, and
// Save writes on a thread.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include <deque>
#include <string>

#include "trace_code_page.h"
#include "trace_format.h"
#include "trace_sink.h"

namespace {

const char kClassName[] = "VeskDebugWClass";
const char kTitle[] = "RODAVOZI trace viewer";
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
    kCmdCopy,
    kCmdClear,
};

// Posted by the save thread when it is done: wParam 1 when written, lParam
// the SaveJob.
const UINT kMsgSaved = WM_APP + 1;
const UINT_PTR kRefreshTimer = 1;
const UINT kRefreshMs = 100;

// List box item data: what kind of row an item is.
enum RowKind : LPARAM {
    kRowLine = 0,
    kRowBell = 1,
    kRowSeparator = 2,
};

// What is kept for the window, Copy and Save: the tools build without
// exceptions, so running out of memory would end the viewer.
const size_t kMaxRows = 100000;                 // lines kept; the log keeps all
const size_t kMaxKeptBytes = 32 * 1024 * 1024;  // their bytes
const size_t kMaxLineBytes = 4096;  // text bytes of one line (the library sends at most 1,024)
const size_t kDisplayLimit = 1024;  // text bytes shown per row

const wchar_t kUsage[] =
    L"Usage: tracewin [--log FILE] [--stdout] [--quiet]\n"
    L"\n"
    L"Shows the trace lines of RODAVOZI.DLL: a window of class VeskDebugWClass\n"
    L"that takes each WM_COPYDATA payload as one line. Start it before the host.\n"
    L"\n"
    L"  --log FILE  append every line to FILE, after a header line\n"
    L"  --stdout    write every line to standard output as well\n"
    L"  --quiet     report start-up errors on standard error only, no message box\n"
    L"  --help      show this text\n"
    L"\n"
    L"Line format (log, standard output, Copy and Save), ending in CR LF:\n"
    L"  HH:MM:SS.mmm <text>\n"
    L"The text keeps the sender's ANSI code page; control bytes are escaped as\n"
    L"\\a \\t \\n \\r \\xHH, a backslash as \\\\, and a payload without a\n"
    L"terminating zero ends in \\[unterminated].\n"
    L"\n"
    L"In the window, a line holding BEL is marked red and a line that begins\n"
    L"with a line feed starts a new group below a separator.\n"
    L"\n"
    L"Only one viewer runs per session: a second start brings the first to the\n"
    L"front and exits with code 3.\n"
    L"Exit codes: 0 closed normally, 1 bad command line, 2 log file cannot be\n"
    L"opened, 3 a viewer is already running, 4 the window cannot be created\n"
    L"(a command prompt does not wait for the viewer: use start /wait).\n";

struct Options {
    std::wstring logPath;
    bool toStdout = false;
    bool quiet = false;
    bool help = false;
};

// One line kept: its text in the line format, and its row in the window.
struct KeptLine {
    std::string line;
    std::string row;  // empty: the row is the line
    RowKind kind;
    bool startsGroup;
    // With the list box's copy of the row.
    size_t Bytes() const { return line.size() + 2 * (row.empty() ? line.size() : row.size()) + 64; }
};

struct SaveJob {
    std::wstring path;
    std::string data;
};

HWND g_window;
HWND g_list;
HFONT g_font;      // ASCII: a fixed-pitch Latin font
HFONT g_wideFont;  // everything else: a font of the ANSI code page's character set
TraceCodePage g_codePage;
// The code page that senders named last, and its structure.
unsigned int g_senderCodePage;
TraceCodePage g_senderPage;
TraceSink g_log;
TraceSink g_stdout;
std::deque<KeptLine> g_kept;  // oldest first
size_t g_keptBytes;
size_t g_shown;         // the first g_shown kept lines are in the list box
size_t g_rowsToDrop;    // lines dropped from g_kept whose rows are still in it
bool g_refreshPending;  // the refresh timer is set
int g_extent;           // widest row in pixels, for the scroll bar
int g_modal;            // modal dialogs of the viewer now open
bool g_closeWanted;     // a close that waits for them to end
HANDLE g_saveThread;    // a Save being written

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

// Row text for the screen: converted from the ANSI code page as the system
// converts it, the characters escaped for lack of it shown as they are.
std::wstring ToDisplay(const char* text, int length) {
    int units = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring wide(units > 0 ? units : 0, L' ');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, text, length, &wide[0], units);
    return ShowEscapedCharacters(wide);
}

// Draws (or only measures) `text` from x on the baseline y, ASCII runs in the
// Latin font and the rest in the wide font: one font seldom has both kinds
// of glyph unless the system links fonts for it. Returns the width.
int TextRuns(HDC dc, const std::wstring& text, int x, int y, bool draw) {
    int start = x;
    HGDIOBJ old = GetCurrentObject(dc, OBJ_FONT);
    UINT align = SetTextAlign(dc, TA_BASELINE | TA_LEFT);
    for (size_t i = 0; i < text.size();) {
        bool ascii = text[i] < 0x80;
        size_t end = i;
        while (end < text.size() && (text[end] < 0x80) == ascii) ++end;
        HFONT font = ascii ? g_font : g_wideFont;
        if (font) SelectObject(dc, font);
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str() + i, static_cast<int>(end - i), &size);
        if (draw) TextOutW(dc, x, y, text.c_str() + i, static_cast<int>(end - i));
        x += size.cx;
        i = end;
    }
    SetTextAlign(dc, align);
    SelectObject(dc, old);
    return x - start;
}

// Height and ascent of a row: the larger of the two fonts.
void RowMetrics(HDC dc, int* height, int* ascent) {
    *height = 0;
    *ascent = 0;
    HGDIOBJ old = GetCurrentObject(dc, OBJ_FONT);
    for (HFONT font : {g_font, g_wideFont}) {
        if (font) SelectObject(dc, font);
        TEXTMETRICW metrics;
        GetTextMetricsW(dc, &metrics);
        if (metrics.tmAscent > *ascent) *ascent = metrics.tmAscent;
        if (metrics.tmHeight > *height) *height = metrics.tmHeight;
    }
    SelectObject(dc, old);
}

void AddRow(HDC dc, const std::string& text, RowKind kind) {
    int index = static_cast<int>(SendMessageA(g_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    if (index < 0) return;  // out of memory: the log still has the line
    SendMessageA(g_list, LB_SETITEMDATA, index, kind);
    if (kind != kRowSeparator) {
        int width = TextRuns(dc, ToDisplay(text.c_str(), static_cast<int>(text.size())), 0, 0, false) + 16;
        if (width > g_extent) g_extent = width;
    }
}

// Drops the oldest line's row and the separator rows in front of it.
void DropOldestRow() {
    while (SendMessageA(g_list, LB_GETCOUNT, 0, 0) > 0 &&
           SendMessageA(g_list, LB_GETITEMDATA, 0, 0) == kRowSeparator)
        SendMessageA(g_list, LB_DELETESTRING, 0, 0);
    SendMessageA(g_list, LB_DELETESTRING, 0, 0);
}

// The timer's work: the list box catches up with the kept lines in one
// batch, and follows the end if it showed the end.
void RefreshList() {
    KillTimer(g_window, kRefreshTimer);
    g_refreshPending = false;
    if (g_rowsToDrop == 0 && g_shown == g_kept.size()) return;
    bool atEnd = true;
    int count = static_cast<int>(SendMessageA(g_list, LB_GETCOUNT, 0, 0));
    int rowHeight = static_cast<int>(SendMessageA(g_list, LB_GETITEMHEIGHT, 0, 0));
    RECT client;
    GetClientRect(g_list, &client);
    if (count > 0 && rowHeight > 0) {
        int top = static_cast<int>(SendMessageA(g_list, LB_GETTOPINDEX, 0, 0));
        atEnd = top + (client.bottom - client.top) / rowHeight >= count;
    }
    SendMessageA(g_list, WM_SETREDRAW, FALSE, 0);
    for (; g_rowsToDrop > 0; --g_rowsToDrop) DropOldestRow();
    HDC dc = GetDC(g_list);
    int extent = g_extent;
    for (; g_shown < g_kept.size(); ++g_shown) {
        const KeptLine& kept = g_kept[g_shown];
        if (kept.startsGroup && SendMessageA(g_list, LB_GETCOUNT, 0, 0) > 0) AddRow(dc, "", kRowSeparator);
        AddRow(dc, kept.row.empty() ? kept.line : kept.row, kept.kind);
    }
    ReleaseDC(g_list, dc);
    if (g_extent != extent) SendMessageA(g_list, LB_SETHORIZONTALEXTENT, g_extent, 0);
    count = static_cast<int>(SendMessageA(g_list, LB_GETCOUNT, 0, 0));
    if (atEnd && count > 0) SendMessageA(g_list, LB_SETTOPINDEX, count - 1, 0);
    SendMessageA(g_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(g_list, nullptr, TRUE);
}

void DropOldestLine() {
    if (g_shown > 0) {
        --g_shown;
        ++g_rowsToDrop;
    }
    g_keptBytes -= g_kept.front().Bytes();
    g_kept.pop_front();
}

// The sender's code page when it named one other than ours (dwData), else 0.
unsigned int SenderCodePage(ULONG_PTR named) {
    if (named == 0 || named == GetACP() || named > 0xFFFF || !IsValidCodePage(static_cast<UINT>(named))) return 0;
    if (named != g_senderCodePage) LoadTraceCodePage(static_cast<UINT>(named), &g_senderPage);
    return g_senderCodePage = static_cast<unsigned int>(named);
}

// The WM_COPYDATA handler's work: format, queue for the writers, keep.
void TakeLine(const TracePayload& payload, unsigned int senderCodePage) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    TraceTime time = {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    const TraceCodePage* page = senderCodePage != 0 ? &g_senderPage : &g_codePage;
    KeptLine kept = {FormatTraceLine(time, payload, page, kMaxLineBytes), std::string(),
                     payload.HasBell() ? kRowBell : kRowLine, payload.StartsGroup()};
    if (senderCodePage != 0) kept.line = InAnsiCodePage(kept.line, senderCodePage);
    PushToSink(g_log, kept.line, DateOf(now));
    PushToSink(g_stdout, kept.line, DateOf(now));

    size_t shown = TraceCut(payload, page, kDisplayLimit);
    if (shown < payload.TextLength()) {
        kept.row = kept.line.substr(0, 13);
        AppendEscapedText(kept.row, payload, page, shown);
        if (senderCodePage != 0) kept.row = InAnsiCodePage(kept.row, senderCodePage);
        char more[64];
        wsprintfA(more, " ... (%lu bytes in all)", static_cast<unsigned long>(payload.TextLength()));
        kept.row += more;
    }
    while (!g_kept.empty() && (g_kept.size() >= kMaxRows || g_keptBytes + kept.Bytes() > kMaxKeptBytes))
        DropOldestLine();
    g_keptBytes += kept.Bytes();
    g_kept.push_back(std::move(kept));
    if (!g_refreshPending) g_refreshPending = SetTimer(g_window, kRefreshTimer, kRefreshMs, nullptr) != 0;
}

std::string AllLines() {
    std::string all;
    for (const KeptLine& kept : g_kept) {
        all += kept.line;
        all += "\r\n";
    }
    return all;
}

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

// Copy: every line in the line format, as ANSI text and as the Unicode text
// that the ANSI code page gives.
void CopyAll(HWND window) {
    std::string all = AllLines();
    int units = MultiByteToWideChar(CP_ACP, 0, all.c_str(), -1, nullptr, 0);
    std::wstring wide(units > 0 ? units : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, all.c_str(), -1, &wide[0], units);
    if (!OpenClipboard(window)) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    EmptyClipboard();
    PutOnClipboard(CF_TEXT, all.c_str(), all.size() + 1);
    PutOnClipboard(CF_UNICODETEXT, wide.c_str(), wide.size() * sizeof(wchar_t));
    CloseClipboard();
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
    if (g_modal > 0) {
        g_closeWanted = true;
        EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
        return;
    }
    DestroyWindow(window);
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
    if (!PostMessageW(g_window, kMsgSaved, ok, reinterpret_cast<LPARAM>(job))) delete job;
    return 0;
}

// The dialog runs on the window's thread, the writing on a thread of its own
// (a slow share must not stop the window from taking lines).
void SaveAll(HWND window) {
    wchar_t path[MAX_PATH] = L"trace.log";
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"Trace logs (*.log)\0*.log\0Text files (*.txt)\0*.txt\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"log";
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    ++g_modal;
    BOOL chosen = GetSaveFileNameW(&dialog);
    --g_modal;
    if (!chosen || g_closeWanted) return;
    SaveJob* job = new SaveJob{path, AllLines()};
    g_saveThread = CreateThread(nullptr, 0, SaveThread, job, 0, nullptr);
    if (g_saveThread == nullptr) {
        job->data.clear();
        PostMessageW(window, kMsgSaved, FALSE, reinterpret_cast<LPARAM>(job));
    }
}

void SaveDone(HWND window, bool ok, SaveJob* job) {
    if (g_saveThread) {
        WaitForSingleObject(g_saveThread, INFINITE);  // it has posted: it is ending
        CloseHandle(g_saveThread);
        g_saveThread = nullptr;
    }
    if (!ok && !g_closeWanted) {
        std::wstring text = L"Cannot write " + job->path;
        ++g_modal;
        MessageBoxW(window, text.c_str(), L"tracewin", MB_OK | MB_ICONERROR);
        --g_modal;
        if (g_closeWanted && g_modal == 0) DestroyWindow(window);
    }
    delete job;
}

void ClearAll() {
    SendMessageA(g_list, LB_RESETCONTENT, 0, 0);
    SendMessageA(g_list, LB_SETHORIZONTALEXTENT, 0, 0);
    g_extent = 0;
    g_kept.clear();
    g_keptBytes = g_shown = g_rowsToDrop = 0;
}

void DrawRow(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;
    if (item->itemID == static_cast<UINT>(-1)) {
        FillRect(dc, &rect, GetSysColorBrush(COLOR_WINDOW));
        return;
    }
    RowKind kind = static_cast<RowKind>(item->itemData);
    FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (kind == kRowSeparator) {
        RECT rule = {rect.left + 2, (rect.top + rect.bottom) / 2, rect.right - 2, (rect.top + rect.bottom) / 2 + 1};
        FillRect(dc, &rule, GetSysColorBrush(COLOR_GRAYTEXT));
        return;
    }
    if (kind == kRowBell) {
        RECT mark = {rect.left, rect.top, rect.left + 4, rect.bottom};
        HBRUSH red = CreateSolidBrush(RGB(0xD0, 0, 0));
        FillRect(dc, &mark, red);
        DeleteObject(red);
    }
    int length = static_cast<int>(SendMessageA(item->hwndItem, LB_GETTEXTLEN, item->itemID, 0));
    if (length <= 0) return;
    std::string text(length + 1, '\0');
    length = static_cast<int>(SendMessageA(item->hwndItem, LB_GETTEXT, item->itemID, reinterpret_cast<LPARAM>(&text[0])));
    if (length <= 0) return;
    COLORREF color = selected ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                              : kind == kRowBell ? RGB(0xC0, 0, 0) : GetSysColor(COLOR_WINDOWTEXT);
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    int height, ascent;
    RowMetrics(dc, &height, &ascent);
    int baseline = rect.top + (rect.bottom - rect.top - height) / 2 + ascent;
    TextRuns(dc, ToDisplay(text.c_str(), length), rect.left + 8, baseline, true);
    if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &item->rcItem);
}

HMENU BuildMenu() {
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, kCmdSave, L"&Save...\tCtrl+S");
    AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(file, MF_STRING, kCmdExit, L"E&xit");
    HMENU edit = CreatePopupMenu();
    AppendMenuW(edit, MF_STRING, kCmdCopy, L"&Copy all\tCtrl+C");
    AppendMenuW(edit, MF_STRING, kCmdClear, L"C&lear\tCtrl+L");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
    return bar;
}

// The fonts at the monitor's scaling (the manifest makes the viewer aware of
// each monitor's DPI, so nothing scales them for it).
void CreateFonts(int dpi) {
    if (g_font) DeleteObject(g_font);
    if (g_wideFont) DeleteObject(g_wideFont);
    int height = -MulDiv(13, dpi, 96);
    g_font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    // Where the ANSI code page has no double-byte characters, lines may come
    // in the input language's (a Unicode window's text): its script's font.
    UINT codePage = GetACP();
    CPINFO info = {};
    wchar_t number[8] = {};
    if (GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1 &&
        GetLocaleInfoW(LOWORD(reinterpret_cast<ULONG_PTR>(GetKeyboardLayout(0))), LOCALE_IDEFAULTANSICODEPAGE, number, 8))
        codePage = wcstoul(number, nullptr, 10);
    CHARSETINFO charset = {};
    TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(codePage)), &charset, TCI_SRCCODEPAGE);
    g_wideFont = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset.ciCharset, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, nullptr);
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

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        CreateFonts(DpiOf(window));
        g_list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT |
                                     LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY,
                                 0, 0, 0, 0, window, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (g_list == nullptr) return -1;
        if (g_font) SendMessageA(g_list, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), FALSE);
        return 0;
    }
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        HDC dc = GetDC(window);
        int height, ascent;
        RowMetrics(dc, &height, &ascent);
        ReleaseDC(window, dc);
        measure->itemHeight = height + 2;
        return TRUE;
    }
    case 0x02E0: {  // WM_DPICHANGED: new fonts and row height, the size Windows suggests
        CreateFonts(HIWORD(wParam));
        if (g_list) {
            SendMessageA(g_list, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), FALSE);
            HDC dc = GetDC(window);
            int height, ascent;
            RowMetrics(dc, &height, &ascent);
            ReleaseDC(window, dc);
            SendMessageA(g_list, LB_SETITEMHEIGHT, 0, height + 2);
        }
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DRAWITEM:
        DrawRow(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_SIZE:
        if (g_list) MoveWindow(g_list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (g_list) SetFocus(g_list);
        return 0;
    case WM_COPYDATA: {
        // Only what the system copied for us is read: cbData bytes at lpData.
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr) return FALSE;
        TracePayload payload = {static_cast<const unsigned char*>(data->lpData), data->cbData};
        if (payload.bytes == nullptr) payload.size = 0;
        TakeLine(payload, SenderCodePage(data->dwData));
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kRefreshTimer) RefreshList();
        return 0;
    case kMsgSaved:
        SaveDone(window, wParam != 0, reinterpret_cast<SaveJob*>(lParam));
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kCmdSave:
            if (g_modal > 0 || g_saveThread) return 0;  // one Save at a time
            SaveAll(window);
            if (g_closeWanted && g_modal == 0) DestroyWindow(window);
            return 0;
        case kCmdExit: CloseViewer(window); return 0;
        case kCmdCopy: CopyAll(window); return 0;
        case kCmdClear: ClearAll(); return 0;
        }
        break;
    case WM_CLOSE:
        CloseViewer(window);
        return 0;
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
        HWND other = FindWindowA(kClassName, kTitle);
        if (other) {
            if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
            SetForegroundWindow(other);
            return;
        }
        Sleep(100);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    Options options;
    if (!ParseOptions(options)) {
        std::wstring text = L"tracewin: bad command line\n\n";
        text += kUsage;
        Report(options, text.c_str(), true);
        return kExitUsage;
    }
    if (options.help) {
        Report(options, kUsage, false);
        return kExitOk;
    }

    // A viewer started elevated holds a mutex that a program without
    // elevation may not open: null (access denied) means running too.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        ActivateRunningViewer();
        Report(options, L"tracewin: a trace viewer is already running in this session; brought it to the front.\n",
               true);
        return kExitAlreadyRunning;
    }

    LoadTraceCodePage(CP_ACP, &g_codePage);
    HANDLE log = INVALID_HANDLE_VALUE, out = INVALID_HANDLE_VALUE;
    if (!options.logPath.empty()) {
        log = CreateFileW(options.logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log == INVALID_HANDLE_VALUE) {
            wchar_t reason[256] = L"";
            DWORD error = GetLastError();
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, reason, 256,
                           nullptr);
            std::wstring text = L"tracewin: cannot open the log file " + options.logPath + L" (error " +
                                std::to_wstring(error) + L"): " + reason + L"\n";
            Report(options, text.c_str(), true);
            return kExitLogFile;
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
    StartSink(g_log, log, true);
    StartSink(g_stdout, out, false);

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
    g_window = CreateWindowExA(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 900, 500,
                               nullptr, BuildMenu(), instance, nullptr);
    if (g_window == nullptr) {
        Report(options, L"tracewin: cannot create the viewer window.\n", true);
        return kExitWindow;
    }
    AcceptCopyDataFromEveryone(g_window);
    ShowWindow(g_window, show);

    ACCEL keys[] = {
        {FVIRTKEY | FCONTROL, 'S', kCmdSave},
        {FVIRTKEY | FCONTROL, 'C', kCmdCopy},
        {FVIRTKEY | FCONTROL, 'L', kCmdClear},
    };
    HACCEL accelerators = CreateAcceleratorTableA(keys, sizeof keys / sizeof keys[0]);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(g_window, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // What is queued still goes out, unless a write never returns; a Save
    // being written is let finish.
    if (g_saveThread) WaitForSingleObject(g_saveThread, 10000);
    StopSink(g_log, 5000);
    StopSink(g_stdout, 2000);
    if (g_font) DeleteObject(g_font);
    if (g_wideFont) DeleteObject(g_wideFont);
    CloseHandle(mutex);
    return kExitOk;
}

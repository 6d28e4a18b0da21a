// The window's rows: the lines kept for it, and their drawing. The list box
// holds no data of its own (LBS_NODATA): it knows how many rows there are
// and draws each from `rows`, so dropping the oldest line at the cap costs
// nothing but a count, however many rows are kept. The rows are brought to
// the list box in one batch on a timer.
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "trace_code_page.h"
#include "viewer.h"

namespace {

// What is kept for the window, Copy and Save: the tools build without
// exceptions, so running out of memory would end the viewer.
const size_t kMaxLines = 100000;                // lines kept; the log keeps all
const size_t kMaxKeptBytes = 32 * 1024 * 1024;  // their bytes
const size_t kMaxLineBytes = 4096;  // text bytes of one line (the library sends at most 1,024)
const size_t kDisplayLimit = 1024;  // text bytes shown per row
const UINT kRefreshMs = 100;
// New rows measured for the scroll bar per refresh: a flood is not measured
// row by row, its latest rows stand for it.
const size_t kMeasuredPerRefresh = 2000;

// The row that list index `index` shows: rows dropped since the last refresh
// shifted the kept rows under the list box's indices.
const KeptRow* RowAt(size_t index) {
    const ViewerState& v = g_viewer;
    const size_t shift = std::min(v.dropped, v.listed);
    if (index < shift || index - shift >= v.rows.size()) return nullptr;
    return &v.rows[index - shift];
}

// Row text for the screen: converted from the ANSI code page as the system
// converts it, the characters escaped for lack of it shown as they are.
std::wstring ToDisplay(const std::string& text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(units > 0 ? units : 0, L' ');
    if (units > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
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
        HFONT font = ascii ? g_viewer.font : g_viewer.wideFont;
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
    for (HFONT font : {g_viewer.font, g_viewer.wideFont}) {
        if (font) SelectObject(dc, font);
        TEXTMETRICW metrics;
        GetTextMetricsW(dc, &metrics);
        if (metrics.tmAscent > *ascent) *ascent = metrics.tmAscent;
        if (metrics.tmHeight > *height) *height = metrics.tmHeight;
    }
    SelectObject(dc, old);
}

void DropOldestRow() {
    ViewerState& v = g_viewer;
    if (v.rows.front().kind != RowKind::Separator) --v.lines;
    v.keptBytes -= v.rows.front().Bytes();
    v.rows.pop_front();
    ++v.dropped;
}

void PushRow(KeptRow&& row) {
    ViewerState& v = g_viewer;
    if (row.kind != RowKind::Separator) ++v.lines;
    v.keptBytes += row.Bytes();
    v.rows.push_back(std::move(row));
}

// The rows that the selection had, moved up by `shift` rows dropped.
void ShiftSelection(const std::vector<int>& selected, int shift) {
    HWND list = g_viewer.list;
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    for (size_t i = 0; i < selected.size();) {
        size_t end = i + 1;
        while (end < selected.size() && selected[end] == selected[end - 1] + 1) ++end;
        const int first = std::max(selected[i] - shift, 0), last = selected[end - 1] - shift;
        if (last >= 0) SendMessageA(list, LB_SELITEMRANGEEX, first, last);
        i = end;
    }
}

}  // namespace

HWND CreateRowList(HWND parent) {
    HWND list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT |
                                    LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_EXTENDEDSEL | LBS_NOTIFY,
                                0, 0, 0, 0, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    return list;
}

// The WM_COPYDATA handler's work: format, queue for the writers, keep.
void TakeLine(const TracePayload& payload, unsigned int senderCodePage) {
    ViewerState& v = g_viewer;
    SYSTEMTIME now;
    GetLocalTime(&now);
    TraceTime time = {now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    // A line in another code page is formatted with its structure and kept in ours.
    const TraceCodePage* page = senderCodePage != 0 ? &v.senderPage : &v.codePage;
    KeptRow row = {FormatTraceLine(time, payload, page, kMaxLineBytes), std::string(),
                   payload.HasBell() ? RowKind::Bell : RowKind::Line};
    if (senderCodePage != 0) row.line = InAnsiCodePage(row.line, senderCodePage);
    PushToSink(v.log, row.line, DateOf(now));
    PushToSink(v.out, row.line, DateOf(now));

    size_t shown = TraceCut(payload, page, kDisplayLimit);
    if (shown < payload.TextLength()) {
        row.shown = row.line.substr(0, 13);
        AppendEscapedText(row.shown, payload, page, shown);
        if (senderCodePage != 0) row.shown = InAnsiCodePage(row.shown, senderCodePage);
        char more[64];
        wsprintfA(more, " ... (%lu bytes in all)", static_cast<unsigned long>(payload.TextLength()));
        row.shown += more;
    }
    if (payload.StartsGroup() && v.lines > 0) PushRow({std::string(), std::string(), RowKind::Separator});
    PushRow(std::move(row));
    while (v.lines > kMaxLines || v.keptBytes > kMaxKeptBytes) {
        DropOldestRow();
        // A separator with nothing above it separates nothing.
        while (!v.rows.empty() && v.rows.front().kind == RowKind::Separator) DropOldestRow();
    }
    if (!v.refreshPending) v.refreshPending = SetTimer(v.window, kRefreshTimer, kRefreshMs, nullptr) != 0;
}

// The timer's work: the list box learns the new count, keeps showing the rows
// it showed (or follows the end if it showed the end) and keeps the selection
// on the rows it was on.
void RefreshList() {
    ViewerState& v = g_viewer;
    KillTimer(v.window, kRefreshTimer);
    v.refreshPending = false;
    if (v.dropped == 0 && v.listed == v.rows.size()) return;
    HWND list = v.list;
    const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
    const int rowHeight = static_cast<int>(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
    const int top = static_cast<int>(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
    RECT client;
    GetClientRect(list, &client);
    const bool atEnd = count == 0 || rowHeight <= 0 || top + (client.bottom - client.top) / rowHeight >= count;
    const int shift = static_cast<int>(std::min(v.dropped, v.listed));
    std::vector<int> selected(shift > 0 ? std::max<LRESULT>(SendMessageA(list, LB_GETSELCOUNT, 0, 0), 0) : 0);
    if (!selected.empty())
        selected.resize(std::max<LRESULT>(
            SendMessageA(list, LB_GETSELITEMS, selected.size(), reinterpret_cast<LPARAM>(selected.data())), 0));

    // The new rows widen the scroll range.
    const size_t fresh = v.rows.size() - (v.listed - shift);
    HDC dc = GetDC(list);
    int extent = v.extent;
    for (size_t i = v.rows.size() - std::min(fresh, kMeasuredPerRefresh); i < v.rows.size(); ++i)
        if (v.rows[i].kind != RowKind::Separator)
            extent = std::max(extent, TextRuns(dc, ToDisplay(v.rows[i].Shown()), 0, 0, false) + 16);
    ReleaseDC(list, dc);

    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_SETCOUNT, v.rows.size(), 0);
    v.listed = v.rows.size();
    v.dropped = 0;
    if (!selected.empty()) ShiftSelection(selected, shift);
    if (extent != v.extent) SendMessageA(list, LB_SETHORIZONTALEXTENT, v.extent = extent, 0);
    const int rows = static_cast<int>(v.rows.size());
    if (rows > 0) SendMessageA(list, LB_SETTOPINDEX, atEnd ? rows - 1 : std::max(top - shift, 0), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void ClearRows() {
    ViewerState& v = g_viewer;
    v.rows.clear();
    v.lines = v.keptBytes = v.listed = v.dropped = 0;
    v.extent = 0;
    SendMessageA(v.list, LB_SETCOUNT, 0, 0);
    SendMessageA(v.list, LB_SETHORIZONTALEXTENT, 0, 0);
}

// The fonts at the monitor's scaling (the manifest makes the viewer aware of
// each monitor's DPI, so nothing scales them for it).
void CreateFonts(int dpi) {
    ViewerState& v = g_viewer;
    if (v.font) DeleteObject(v.font);
    if (v.wideFont) DeleteObject(v.wideFont);
    int height = -MulDiv(13, dpi, 96);
    v.font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
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
    v.wideFont = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset.ciCharset, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, nullptr);
}

int RowHeight(HWND window) {
    HDC dc = GetDC(window);
    int height, ascent;
    RowMetrics(dc, &height, &ascent);
    ReleaseDC(window, dc);
    return height + 2;
}

void DrawRow(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    RECT rect = item->rcItem;
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    const KeptRow* row = item->itemID == static_cast<UINT>(-1) ? nullptr : RowAt(item->itemID);
    FillRect(dc, &rect, GetSysColorBrush(row && selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    if (!row) return;
    if (row->kind == RowKind::Separator) {
        RECT rule = {rect.left + 2, (rect.top + rect.bottom) / 2, rect.right - 2, (rect.top + rect.bottom) / 2 + 1};
        FillRect(dc, &rule, GetSysColorBrush(COLOR_GRAYTEXT));
        return;
    }
    if (row->kind == RowKind::Bell) {
        RECT mark = {rect.left, rect.top, rect.left + 4, rect.bottom};
        HBRUSH red = CreateSolidBrush(RGB(0xD0, 0, 0));
        FillRect(dc, &mark, red);
        DeleteObject(red);
    }
    COLORREF color = selected                    ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                     : row->kind == RowKind::Bell ? RGB(0xC0, 0, 0)
                                                  : GetSysColor(COLOR_WINDOWTEXT);
    SetTextColor(dc, color);
    SetBkMode(dc, TRANSPARENT);
    int height, ascent;
    RowMetrics(dc, &height, &ascent);
    int baseline = rect.top + (rect.bottom - rect.top - height) / 2 + ascent;
    TextRuns(dc, ToDisplay(row->Shown()), rect.left + 8, baseline, true);
    if (item->itemState & ODS_FOCUS) DrawFocusRect(dc, &item->rcItem);
}

// Copy and Save take the lines, not the separators.
std::string KeptLines(bool selectedOnly) {
    const ViewerState& v = g_viewer;
    std::string lines;
    auto add = [&lines](const KeptRow* row) {
        if (row && row->kind != RowKind::Separator) lines += row->line + "\r\n";
    };
    if (!selectedOnly) {
        for (const KeptRow& row : v.rows) add(&row);
        return lines;
    }
    const LRESULT count = SendMessageA(v.list, LB_GETSELCOUNT, 0, 0);
    std::vector<int> selected(count > 0 ? count : 0);
    if (!selected.empty())
        selected.resize(std::max<LRESULT>(
            SendMessageA(v.list, LB_GETSELITEMS, selected.size(), reinterpret_cast<LPARAM>(selected.data())), 0));
    for (int index : selected) add(RowAt(index));
    return lines;
}

#include "kvexedit.h"

#include <imm.h>
#include <string.h>

namespace {

const int kMargin = 2;

// One window's state, kept in its window extra bytes.
struct KvexEdit {
    HWND window;
    int length;
    int anchor, caret;  // the selection runs between them, in either order
    unsigned char pendingLead;  // first byte of a two-byte character typed as two WM_CHAR
    char passwordChar;
    HFONT font;
    // Where each line starts (multi-line: after each line feed), rebuilt
    // after a change when a line message needs it.
    int* lineStarts;
    int lineCount, lineRoom;
    bool linesStale;
    char text[KVEXEDIT_TEXT_LIMIT + 1];
};

KvexEdit* StateOf(HWND window) { return reinterpret_cast<KvexEdit*>(GetWindowLongPtrA(window, 0)); }

bool IsMultiLine(const KvexEdit* e) { return (GetWindowLongA(e->window, GWL_STYLE) & ES_MULTILINE) != 0; }
int SelectionLow(const KvexEdit* e) { return e->anchor < e->caret ? e->anchor : e->caret; }
int SelectionHigh(const KvexEdit* e) { return e->anchor < e->caret ? e->caret : e->anchor; }

// ---- characters and lines of the ANSI text ----

int CharWidthAt(const char* text, int length, int i) {
    return i + 1 < length && IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
}

// The longest prefix of `text` (n bytes) within `limit` bytes that does not
// end inside a two-byte character.
int WholeCharacters(const char* text, int n, int limit) {
    if (n <= limit) return n;
    int p = 0;
    while (p + CharWidthAt(text, n, p) <= limit) p += CharWidthAt(text, n, p);
    return p;
}

int LineStart(const KvexEdit* e, int pos) {
    if (!IsMultiLine(e)) return 0;
    while (pos > 0 && e->text[pos - 1] != '\n') --pos;
    return pos;
}

// Where the line that holds `pos` ends, before its line break.
int LineEnd(const KvexEdit* e, int pos) {
    if (!IsMultiLine(e)) return e->length;
    while (pos < e->length && e->text[pos] != '\n') ++pos;
    if (pos > 0 && e->text[pos - 1] == '\r' && pos < e->length) --pos;
    return pos;
}

// The character boundary before `pos`; a CR LF pair counts as one step.
int PreviousPosition(const KvexEdit* e, int pos) {
    if (pos <= 0) return 0;
    if (pos >= 2 && e->text[pos - 1] == '\n' && e->text[pos - 2] == '\r') return pos - 2;
    int p = LineStart(e, pos - 1), last = p;
    while (p < pos) {
        last = p;
        p += CharWidthAt(e->text, e->length, p);
    }
    return last;
}

int NextPosition(const KvexEdit* e, int pos) {
    if (pos >= e->length) return e->length;
    if (e->text[pos] == '\r' && pos + 1 < e->length && e->text[pos + 1] == '\n') return pos + 2;
    return pos + CharWidthAt(e->text, e->length, pos);
}

// ---- the line messages, in bytes ----

bool AnswersLines(const KvexEdit* e) { return (GetWindowLongA(e->window, GWL_STYLE) & KVEXEDIT_TEXT_MESSAGES_ONLY) == 0; }

void BuildLines(KvexEdit* e) {
    if (!e->linesStale && e->lineStarts != nullptr) return;
    int count = 1;
    for (int p = 0; IsMultiLine(e) && p < e->length; ++p) count += e->text[p] == '\n';
    if (count > e->lineRoom) {
        int* starts = static_cast<int*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(int)));
        if (starts == nullptr) return;
        if (e->lineStarts) HeapFree(GetProcessHeap(), 0, e->lineStarts);
        e->lineStarts = starts;
        e->lineRoom = count;
    }
    e->lineStarts[0] = 0;
    e->lineCount = 1;
    for (int p = 0; IsMultiLine(e) && p < e->length; ++p)
        if (e->text[p] == '\n') e->lineStarts[e->lineCount++] = p + 1;
    e->linesStale = false;
}

// The line holding byte `pos` (-1: the caret).
int LineOf(KvexEdit* e, WPARAM pos) {
    BuildLines(e);
    int at = pos == static_cast<WPARAM>(-1) ? e->caret : (pos > WPARAM(e->length) ? e->length : static_cast<int>(pos));
    int lo = 0, hi = e->lineCount - 1;
    while (lo < hi) {
        int mid = (lo + hi + 1) / 2;
        if (e->lineStarts[mid] <= at) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

LRESULT LineIndex(KvexEdit* e, WPARAM line) {
    if (line == static_cast<WPARAM>(-1)) line = static_cast<WPARAM>(LineOf(e, line));
    BuildLines(e);
    return line < static_cast<WPARAM>(e->lineCount) ? e->lineStarts[line] : -1;
}

// EM_GETLINE: the room in the buffer's first 16 bits, no terminator written.
LRESULT CopyLine(KvexEdit* e, WPARAM line, char* out) {
    BuildLines(e);
    if (out == nullptr || line >= static_cast<WPARAM>(e->lineCount)) return 0;
    WORD room;
    memcpy(&room, out, sizeof room);
    int start = e->lineStarts[line], n = LineEnd(e, start) - start;
    if (n > room) n = room;
    memcpy(out, e->text + start, n);
    return n;
}

// ---- drawing: a range of one line, in the text or as password characters ----

struct Canvas {
    HDC dc;
    HFONT previous;
    int lineHeight;
};

Canvas OpenCanvas(const KvexEdit* e, HDC dc) {
    Canvas c;
    c.dc = dc;
    c.previous = static_cast<HFONT>(SelectObject(dc, e->font ? e->font : GetStockObject(DEFAULT_GUI_FONT)));
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    c.lineHeight = metrics.tmHeight > 0 ? metrics.tmHeight : 16;
    return c;
}

void CloseCanvas(const Canvas& c) { SelectObject(c.dc, c.previous); }

// What a range of the text looks like on screen: the text itself, or one
// password character per character.
int ShownText(const KvexEdit* e, int from, int to, char* shown, int room) {
    if (e->passwordChar == 0) {
        int n = to - from < room ? to - from : room;
        memcpy(shown, e->text + from, n);
        return n;
    }
    int n = 0;
    for (int p = from; p < to && n < room; p += CharWidthAt(e->text, e->length, p)) shown[n++] = e->passwordChar;
    return n;
}

int RangeWidth(const KvexEdit* e, const Canvas& c, int from, int to) {
    char shown[1024];
    SIZE size = {0, 0};
    int n = ShownText(e, from, to, shown, sizeof shown);
    if (n > 0) GetTextExtentPoint32A(c.dc, shown, n, &size);
    return size.cx;
}

int DrawRange(const KvexEdit* e, const Canvas& c, int x, int y, int from, int to, bool selected) {
    if (to <= from) return x;
    char shown[1024];
    int n = ShownText(e, from, to, shown, sizeof shown);
    SetBkColor(c.dc, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetTextColor(c.dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    TextOutA(c.dc, x, y, shown, n);
    return x + RangeWidth(e, c, from, to);
}

POINT CaretPoint(const KvexEdit* e, const Canvas& c) {
    int start = LineStart(e, e->caret), line = 0;
    for (int p = 0; p < start; ++p)
        if (e->text[p] == '\n') ++line;
    POINT point = {kMargin + RangeWidth(e, c, start, e->caret), kMargin + line * c.lineHeight};
    return point;
}

void Paint(KvexEdit* e) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(e->window, &ps);
    Canvas c = OpenCanvas(e, dc);
    SetBkMode(dc, OPAQUE);
    int low = SelectionLow(e), high = SelectionHigh(e);
    RECT client;
    GetClientRect(e->window, &client);
    int y = kMargin;
    for (int start = 0; y < client.bottom;) {
        int end = LineEnd(e, start);
        int a = low < start ? start : (low > end ? end : low);
        int b = high < start ? start : (high > end ? end : high);
        int x = DrawRange(e, c, kMargin, y, start, a, false);
        x = DrawRange(e, c, x, y, a, b, true);
        DrawRange(e, c, x, y, b, end, false);
        int next = end;
        while (next < e->length && e->text[next] != '\n') ++next;
        if (next >= e->length) break;
        start = next + 1;
        y += c.lineHeight;
    }
    CloseCanvas(c);
    EndPaint(e->window, &ps);
}

// The text position nearest to a point of the client area.
int PositionAt(const KvexEdit* e, int x, int y) {
    HDC dc = GetDC(e->window);
    Canvas c = OpenCanvas(e, dc);
    int line = y < kMargin ? 0 : (y - kMargin) / c.lineHeight;
    int start = 0;
    for (int p = 0; p < e->length && line > 0 && IsMultiLine(e); ++p)
        if (e->text[p] == '\n') {
            start = p + 1;
            --line;
        }
    int end = LineEnd(e, start), pos = start, left = kMargin;
    while (pos < end) {
        int next = NextPosition(e, pos);
        int right = kMargin + RangeWidth(e, c, start, next);
        if (x < (left + right) / 2) break;
        pos = next;
        left = right;
    }
    CloseCanvas(c);
    ReleaseDC(e->window, dc);
    return pos;
}

// ---- changes ----

void ShowChange(KvexEdit* e) {
    InvalidateRect(e->window, nullptr, TRUE);
    if (GetFocus() != e->window) return;
    HDC dc = GetDC(e->window);
    Canvas c = OpenCanvas(e, dc);
    POINT point = CaretPoint(e, c);
    CloseCanvas(c);
    ReleaseDC(e->window, dc);
    SetCaretPos(point.x, point.y);
}

// EN_CHANGE, EN_SETFOCUS or EN_KILLFOCUS to the parent of a child editor.
void NotifyParent(KvexEdit* e, WORD code) {
    HWND parent = GetParent(e->window);
    if (parent != nullptr && (GetWindowLongA(e->window, GWL_STYLE) & WS_CHILD))
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(e->window), code),
                     reinterpret_cast<LPARAM>(e->window));
}

void NotifyChange(KvexEdit* e) { NotifyParent(e, EN_CHANGE); }

void ReplaceSelection(KvexEdit* e, const char* insert, int n) {
    int low = SelectionLow(e), high = SelectionHigh(e);
    int rest = e->length - (high - low);
    n = WholeCharacters(insert, n, KVEXEDIT_TEXT_LIMIT - rest);
    memmove(e->text + low + n, e->text + high, e->length - high + 1);
    memcpy(e->text + low, insert, n);
    e->length = rest + n;
    e->linesStale = true;
    e->anchor = e->caret = low + n;
    ShowChange(e);
    NotifyChange(e);
}

void SetText(KvexEdit* e, const char* text) {
    int n = text ? static_cast<int>(strlen(text)) : 0;
    n = WholeCharacters(text, n, KVEXEDIT_TEXT_LIMIT);
    if (n > 0) memcpy(e->text, text, n);
    e->text[n] = 0;
    e->length = n;
    e->linesStale = true;
    e->anchor = e->caret = 0;
    ShowChange(e);
}

// Offsets as the system's edit control takes them: unsigned, so -1 and every
// other negative value lie past the end of the text.
void SetSelection(KvexEdit* e, WPARAM start, LPARAM end) {
    UINT from = static_cast<UINT>(start), to = static_cast<UINT>(end);
    UINT length = static_cast<UINT>(e->length);
    if (from == static_cast<UINT>(-1)) {
        e->anchor = e->caret;
    } else {
        e->anchor = static_cast<int>(from < length ? from : length);
        e->caret = static_cast<int>(to < length ? to : length);
    }
    ShowChange(e);
}

void Erase(KvexEdit* e, bool forward) {
    if (e->anchor == e->caret) e->anchor = forward ? NextPosition(e, e->caret) : PreviousPosition(e, e->caret);
    ReplaceSelection(e, "", 0);
}

void TypeCharacter(KvexEdit* e, unsigned char ch) {
    if (e->pendingLead != 0) {
        char pair[2] = {static_cast<char>(e->pendingLead), static_cast<char>(ch)};
        e->pendingLead = 0;
        ReplaceSelection(e, pair, 2);
    } else if (IsDBCSLeadByte(ch)) {
        e->pendingLead = ch;
    } else if (ch == '\b') {
        Erase(e, false);
    } else if (ch == '\r' || ch == '\t') {
        if (IsMultiLine(e)) ReplaceSelection(e, ch == '\r' ? "\r\n" : "\t", ch == '\r' ? 2 : 1);
    } else if (ch >= 0x20 && ch != 0x7F) {
        char one = static_cast<char>(ch);
        ReplaceSelection(e, &one, 1);
    }
}

// WM_IME_CHAR to an ANSI window: a two-byte character has its lead byte in
// bits 15..8.
void TypeImeCharacter(KvexEdit* e, WPARAM code) {
    char bytes[2] = {static_cast<char>((code >> 8) & 0xFF), static_cast<char>(code & 0xFF)};
    if (bytes[0] != 0)
        ReplaceSelection(e, bytes, 2);
    else
        ReplaceSelection(e, bytes + 1, 1);
}

void TakeImeResult(KvexEdit* e) {
    HIMC context = ImmGetContext(e->window);
    if (context == nullptr) return;
    char result[1024];
    LONG n = ImmGetCompositionStringA(context, GCS_RESULTSTR, result, sizeof result);
    if (n > 0) ReplaceSelection(e, result, static_cast<int>(n));
    ImmReleaseContext(e->window, context);
}

void PlaceComposition(KvexEdit* e) {
    HIMC context = ImmGetContext(e->window);
    if (context == nullptr) return;
    HDC dc = GetDC(e->window);
    Canvas c = OpenCanvas(e, dc);
    COMPOSITIONFORM form = {};
    form.dwStyle = CFS_POINT;
    form.ptCurrentPos = CaretPoint(e, c);
    CloseCanvas(c);
    ReleaseDC(e->window, dc);
    ImmSetCompositionWindow(context, &form);
    ImmReleaseContext(e->window, context);
}

void MoveCaret(KvexEdit* e, int pos, bool extend) {
    e->caret = pos;
    if (!extend) e->anchor = pos;
    ShowChange(e);
}

bool KeyDown(KvexEdit* e, WPARAM key) {
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool collapsed = e->anchor == e->caret;
    switch (key) {
    case VK_LEFT:
        MoveCaret(e, !shift && !collapsed ? SelectionLow(e) : PreviousPosition(e, e->caret), shift);
        return true;
    case VK_RIGHT:
        MoveCaret(e, !shift && !collapsed ? SelectionHigh(e) : NextPosition(e, e->caret), shift);
        return true;
    case VK_HOME:
        MoveCaret(e, LineStart(e, e->caret), shift);
        return true;
    case VK_END:
        MoveCaret(e, LineEnd(e, e->caret), shift);
        return true;
    case VK_DELETE:
        Erase(e, true);
        return true;
    }
    return false;
}

void FocusGained(KvexEdit* e) {
    HDC dc = GetDC(e->window);
    Canvas c = OpenCanvas(e, dc);
    CreateCaret(e->window, nullptr, 1, c.lineHeight);
    POINT point = CaretPoint(e, c);
    CloseCanvas(c);
    ReleaseDC(e->window, dc);
    SetCaretPos(point.x, point.y);
    ShowCaret(e->window);
}

bool Create(HWND window, const CREATESTRUCTA* create) {
    KvexEdit* e = static_cast<KvexEdit*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(KvexEdit)));
    if (e == nullptr) return false;
    e->window = window;
    if (create->style & ES_PASSWORD) e->passwordChar = '*';
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(e));
    // A title given as a resource ordinal is no text.
    const char* title = create->lpszName;
    if (title != nullptr && !IS_INTRESOURCE(title)) SetText(e, title);
    return true;
}

LRESULT CALLBACK KvexEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        if (!Create(window, reinterpret_cast<const CREATESTRUCTA*>(lParam))) return FALSE;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    KvexEdit* e = StateOf(window);
    if (e == nullptr) return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, 0, 0);
        if (e->lineStarts) HeapFree(GetProcessHeap(), 0, e->lineStarts);
        HeapFree(GetProcessHeap(), 0, e);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_GETTEXT: {
        char* out = reinterpret_cast<char*>(lParam);
        int room = static_cast<int>(wParam);
        if (out == nullptr || room <= 0) return 0;
        int n = WholeCharacters(e->text, e->length, room - 1);
        memcpy(out, e->text, n);
        out[n] = 0;
        return n;
    }
    case WM_GETTEXTLENGTH:
        return e->length;
    case WM_SETTEXT:
        SetText(e, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case EM_GETSEL: {
        DWORD low = static_cast<DWORD>(SelectionLow(e)), high = static_cast<DWORD>(SelectionHigh(e));
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = low;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = high;
        return MAKELONG(low, high);
    }
    case EM_SETSEL:
        SetSelection(e, wParam, lParam);
        return 0;
    case EM_REPLACESEL: {
        const char* text = reinterpret_cast<const char*>(lParam);
        ReplaceSelection(e, text ? text : "", text ? static_cast<int>(strlen(text)) : 0);
        return 0;
    }
    case EM_GETLINECOUNT:
        if (!AnswersLines(e)) break;
        BuildLines(e);
        return e->lineCount;
    case EM_LINEFROMCHAR:
        if (!AnswersLines(e)) break;
        return LineOf(e, wParam);
    case EM_LINEINDEX:
        if (!AnswersLines(e)) break;
        return LineIndex(e, wParam);
    case EM_GETLINE:
        if (!AnswersLines(e)) break;
        return CopyLine(e, wParam, reinterpret_cast<char*>(lParam));
    case EM_LINELENGTH: {  // bytes of the line holding byte wParam, before its line break
        if (!AnswersLines(e)) break;
        int at = static_cast<int>(wParam) < 0 || wParam > WPARAM(e->length) ? e->length : static_cast<int>(wParam);
        int from = LineStart(e, at);  // the line break itself is no part of the line
        return LineEnd(e, from) - from;
    }
    case EM_GETPASSWORDCHAR:
        return static_cast<BYTE>(e->passwordChar);
    case EM_SETPASSWORDCHAR: {
        // As the system's control does: the style follows the character.
        e->passwordChar = static_cast<char>(wParam);
        LONG style = GetWindowLongA(window, GWL_STYLE);
        SetWindowLongA(window, GWL_STYLE, wParam ? style | ES_PASSWORD : style & ~ES_PASSWORD);
        ShowChange(e);
        return 0;
    }
    case WM_SETFONT:
        e->font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam)) ShowChange(e);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(e->font);
    case WM_CHAR:
        TypeCharacter(e, static_cast<unsigned char>(wParam & 0xFF));
        return 0;
    case WM_IME_CHAR:
        TypeImeCharacter(e, wParam);
        return 0;
    case WM_IME_STARTCOMPOSITION:
        PlaceComposition(e);
        break;
    case WM_IME_COMPOSITION:
        // The result string is taken here, whole; the default processing
        // would send it again as WM_IME_CHAR, so it sees only the rest.
        if (lParam & GCS_RESULTSTR) {
            TakeImeResult(e);
            lParam &= ~static_cast<LPARAM>(GCS_RESULTSTR | GCS_RESULTCLAUSE | GCS_RESULTREADSTR | GCS_RESULTREADCLAUSE);
            if (lParam == 0) return 0;
        }
        break;
    case WM_KEYDOWN:
        if (KeyDown(e, wParam)) return 0;
        break;
    case WM_LBUTTONDOWN:
        SetFocus(window);
        SetCapture(window);
        MoveCaret(e, PositionAt(e, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))),
                  GetKeyState(VK_SHIFT) < 0);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == window)
            MoveCaret(e, PositionAt(e, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))),
                      true);
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == window) ReleaseCapture();
        return 0;
    case WM_SETFOCUS:
        FocusGained(e);
        NotifyParent(e, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        DestroyCaret();
        NotifyParent(e, EN_KILLFOCUS);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL | (IsMultiLine(e) ? DLGC_WANTALLKEYS : 0);
    case WM_PAINT:
        Paint(e);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

BOOL RegisterKvexEditClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    if (GetClassInfoA(instance, KVEXEDIT_CLASS, &wc)) return TRUE;
    wc.lpfnWndProc = KvexEditProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_IBEAM));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = KVEXEDIT_CLASS;
    return RegisterClassA(&wc) != 0;
}

void KvexEditReplaceSelection(HWND window, const char* text) {
    SendMessageA(window, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

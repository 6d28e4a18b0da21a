// The trace viewer's state and the parts of it that live in files of their
// own: the rows of the window and their drawing (viewer_rows.cpp), Copy and
// Save (viewer_save_copy.cpp). tracewin.cpp holds the window procedure.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "trace_format.h"
#include "trace_sink.h"

// What a row of the window is.
enum class RowKind { Line, Bell, Separator };

// One row kept for the window, Copy and Save: a trace line in the line
// format, or the separator above a line that starts a group.
struct KeptRow {
    std::string line;  // empty for a separator
    std::string shown;  // what the window shows when not the line itself (a cut long line)
    RowKind kind;
    const std::string& Shown() const { return shown.empty() ? line : shown; }
    size_t Bytes() const { return line.size() + shown.size() + 64; }
};

struct SaveJob {
    std::wstring path;
    std::string data;
};

struct ViewerState {
    HWND window = nullptr;
    HWND list = nullptr;       // a list box without data of its own: it draws rows of `rows`
    HFONT font = nullptr;      // ASCII: a fixed-pitch Latin font
    HFONT wideFont = nullptr;  // everything else: a font of the ANSI code page's character set
    TraceCodePage codePage = {};
    // The code page that senders named last in dwData, and its structure.
    unsigned int senderCodePage = 0;
    TraceCodePage senderPage = {};
    // The sinks' threads may outlive a stop that timed out: the sinks are
    // never destroyed (the state is made once and lives until the process ends).
    TraceSink log, out;

    std::deque<KeptRow> rows;  // oldest first
    size_t lines = 0;          // rows that are lines
    size_t keptBytes = 0;
    size_t listed = 0;         // rows the list box counted at the last refresh
    size_t dropped = 0;        // rows dropped from the front since then
    bool refreshPending = false;
    int extent = 0;            // widest row in pixels, for the scroll bar

    int modal = 0;             // modal dialogs of the viewer now open
    bool closeWanted = false;  // a close that waits for them to end
    HANDLE saveThread = nullptr;
};

extern ViewerState& g_viewer;

// Posted by the save thread when it is done: wParam 1 when written, lParam
// the SaveJob.
const UINT kMsgSaved = WM_APP + 1;
const UINT_PTR kRefreshTimer = 1;

// viewer_rows.cpp
// `senderCodePage`: the code page the line's text is in when not the ANSI
// one (then the sender's structure is in `senderPage`), else 0.
void TakeLine(const TracePayload& payload, unsigned int senderCodePage);
void RefreshList();
void ClearRows();
void CreateFonts(int dpi);
int RowHeight(HWND window);
void DrawRow(const DRAWITEMSTRUCT* item);
HWND CreateRowList(HWND parent);
// The kept lines in the line format, each ending in CR LF: all, or those of
// the selected rows.
std::string KeptLines(bool selectedOnly);

// viewer_save_copy.cpp
// Copies the selected lines (or all) to the clipboard, as ANSI text and as
// the Unicode text of the ANSI code page.
void CopyLines(HWND window, bool all);
void SaveAll(HWND window);
void SaveDone(HWND window, bool ok, SaveJob* job);

// rodacheck's report: one line per check ("ok", "FAIL", "n/a") or measured
// fact ("fact"), in UTF-8, to standard output (a console gets UTF-16) and to
// the file of --out; the totals at the end. A thread of its own writes: a
// console in a selection blocks its writer, never the thread that pumps
// messages and waits for the check process.
#pragma once

#include <windows.h>

#include <string>

namespace rodacheck {

enum class Status { Ok, Fail, NotApplicable, Fact };

// A check's line: its status and what was seen.
std::string FormatLine(Status status, const std::string& text);
// The status of a line that FormatLine made; Fact for any other line.
Status LineStatus(const std::string& line);

// Where the parent writes: standard output, and the --out file when open.
class Report {
public:
    Report();
    ~Report();
    bool OpenFile(const std::wstring& path);
    // Writes what is queued and closes the file; false when the file's
    // writes failed.
    bool CloseFile();
    void Write(const std::string& line);  // one line, without its end; queued
    void Add(Status status, const std::string& text) { Write(FormatLine(status, text)); }
    int passed = 0, failed = 0;

private:
    static DWORD WINAPI WriterThread(void* self);
    void Drain();
    HANDLE file_ = INVALID_HANDLE_VALUE;
    bool fileFailed_ = false;
    CRITICAL_SECTION lock_;
    std::string queued_;  // whole lines, each ending in a line feed
    bool stop_ = false;
    HANDLE wake_ = nullptr, thread_ = nullptr;
};

// Writes one line to a handle: UTF-16 to a console, UTF-8 to anything else.
// False when the handle takes no more (the reader is gone).
bool WriteLine(HANDLE handle, const std::string& line);

// Conversions between UTF-16 and UTF-8 or a code page.
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
std::string ToCodePage(UINT codePage, const std::wstring& text);
std::wstring FromCodePage(UINT codePage, const std::string& text);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

}  // namespace rodacheck

#include "report.h"

#include <stdarg.h>
#include <stdio.h>

namespace rodacheck {

std::string FormatLine(Status status, const std::string& text) {
    static const char* const names[] = {"ok    ", "FAIL  ", "n/a   ", "fact  "};
    return names[static_cast<int>(status)] + text;
}

Status LineStatus(const std::string& line) {
    if (line.compare(0, 6, "ok    ") == 0) return Status::Ok;
    if (line.compare(0, 6, "FAIL  ") == 0) return Status::Fail;
    if (line.compare(0, 6, "n/a   ") == 0) return Status::NotApplicable;
    return Status::Fact;
}

Report::Report() {
    InitializeCriticalSection(&lock_);
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    thread_ = wake_ ? CreateThread(nullptr, 0, WriterThread, this, 0, nullptr) : nullptr;
}

Report::~Report() {
    CloseFile();
    if (wake_) CloseHandle(wake_);
    DeleteCriticalSection(&lock_);
}

bool Report::OpenFile(const std::wstring& path) {
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    return file_ != INVALID_HANDLE_VALUE;
}

bool Report::CloseFile() {
    if (thread_) {
        EnterCriticalSection(&lock_);
        stop_ = true;
        LeaveCriticalSection(&lock_);
        SetEvent(wake_);
        // A console held in a selection keeps its writer: the file still gets
        // what the thread has not written by then.
        if (WaitForSingleObject(thread_, 10000) != WAIT_OBJECT_0) TerminateThread(thread_, 0);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    Drain();
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    return !fileFailed_;
}

void Report::Write(const std::string& line) {
    Status status = LineStatus(line);
    if (status == Status::Ok) ++passed;
    if (status == Status::Fail) ++failed;
    EnterCriticalSection(&lock_);
    queued_ += line + "\n";
    LeaveCriticalSection(&lock_);
    if (thread_) SetEvent(wake_);
    else Drain();
}

// Writes the queued lines: the file first, then standard output.
void Report::Drain() {
    EnterCriticalSection(&lock_);
    std::string lines;
    lines.swap(queued_);
    LeaveCriticalSection(&lock_);
    for (HANDLE handle : {file_, GetStdHandle(STD_OUTPUT_HANDLE)}) {
        if (handle == INVALID_HANDLE_VALUE) continue;
        for (size_t start = 0, end; (end = lines.find('\n', start)) != std::string::npos; start = end + 1)
            if (!WriteLine(handle, lines.substr(start, end - start)) && handle == file_) fileFailed_ = true;
    }
}

DWORD WINAPI Report::WriterThread(void* self) {
    Report& report = *static_cast<Report*>(self);
    for (bool stop = false; !stop;) {
        WaitForSingleObject(report.wake_, INFINITE);
        EnterCriticalSection(&report.lock_);
        stop = report.stop_;
        LeaveCriticalSection(&report.lock_);
        report.Drain();
    }
    return 0;
}

bool WriteLine(HANDLE handle, const std::string& line) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode, written = 0;
    if (GetConsoleMode(handle, &mode)) {
        std::wstring wide = FromUtf8(line) + L"\r\n";
        return WriteConsoleW(handle, wide.data(), DWORD(wide.size()), &written, nullptr) != FALSE;
    }
    std::string bytes = line + "\n";
    return WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
}

std::string ToCodePage(UINT codePage, const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FromCodePage(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(n > 0 ? n : 0, L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &out[0], n);
    return out;
}

std::string ToUtf8(const std::wstring& text) { return ToCodePage(CP_UTF8, text); }
std::wstring FromUtf8(const std::string& text) { return FromCodePage(CP_UTF8, text); }

std::string Format(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

}  // namespace rodacheck

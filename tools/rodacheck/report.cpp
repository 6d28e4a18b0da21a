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

bool Report::OpenFile(const std::wstring& path) {
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    return file_ != INVALID_HANDLE_VALUE;
}

void Report::CloseFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
}

void Report::Write(const std::string& line) {
    Status status = LineStatus(line);
    if (status == Status::Ok) ++passed;
    if (status == Status::Fail) ++failed;
    WriteLine(GetStdHandle(STD_OUTPUT_HANDLE), line);
    if (file_ != INVALID_HANDLE_VALUE) WriteLine(file_, line);
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

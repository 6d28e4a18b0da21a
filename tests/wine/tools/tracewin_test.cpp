// The trace viewer as the DLL meets it: a separate process whose window takes
// WM_COPYDATA payloads at once, logs each one and survives whatever bytes it
// is sent, and whatever its log or standard output does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/processes.h"

namespace {

const DWORD kTimeoutMs = 15000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The texts of a log, one per CR LF-ended line, after the "HH:MM:SS.mmm "
// time; a line of another shape comes back marked so that comparisons fail.
// The log's header lines ("-- date ...") are left out.
std::vector<std::string> TextsOf(const std::string& log) {
    std::vector<std::string> texts;
    size_t start = 0;
    for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = log.substr(start, end - start);
        if (line.compare(0, 3, "-- ") == 0) continue;
        const char* shape = "dd:dd:dd.ddd ";
        bool ok = line.size() >= 13;
        for (int i = 0; ok && i < 13; ++i) ok = shape[i] == 'd' ? IsDigit(line[i]) : shape[i] == line[i];
        texts.push_back(ok ? line.substr(13) : "<not a trace line: " + line + ">");
    }
    if (start != log.size()) texts.push_back("<unfinished line: " + log.substr(start) + ">");
    return texts;
}

class TraceViewer : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = FreshFolder(L"tracewin");
        log_ = folder_ + L"trace.log";
    }

    void TearDown() override {
        if (viewer_.Running()) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
            DWORD code = 0;
            EXPECT_TRUE(viewer_.WaitExit(kTimeoutMs, &code)) << "the viewer did not close";
            EXPECT_EQ(code, 0u);
        }
        viewer_.Kill();
        RemoveFolder(folder_);
    }

    void StartViewer(const std::wstring& stdoutPath = L"") {
        std::wstring args = L"--quiet --log \"" + log_ + L"\"";
        if (!stdoutPath.empty()) args += L" --stdout";
        ASSERT_TRUE(viewer_.Start(Tool(), args, stdoutPath));
        window_ = FindProcessWindow(viewer_.Id(), L"VeskDebugWClass", kTimeoutMs);
        ASSERT_NE(window_, nullptr) << "no viewer window";
    }

    static std::wstring Tool() { return TestFolder() + L"tracewin.exe"; }

    // One payload, sent as the DLL sends it; true when the viewer took it.
    bool Send(const void* data, DWORD size) {
        COPYDATASTRUCT copy = {0, size, const_cast<void*>(data)};
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                                   kTimeoutMs, &result) &&
               result == TRUE;
    }
    bool SendText(const std::string& text) { return Send(text.c_str(), static_cast<DWORD>(text.size() + 1)); }

    LRESULT Command(WORD id) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window_, WM_COMMAND, id, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result));
        return static_cast<LRESULT>(result);
    }

    // The log's lines without its headers, once it holds `count` lines.
    std::string Log(size_t count) {
        std::string log;
        WaitUntil([&] { return TextsOf(log = ReadBytes(log_)).size() >= count; }, kTimeoutMs);
        std::string lines;
        for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
            if (log.compare(start, 3, "-- ") != 0) lines += log.substr(start, end + 2 - start);
        return lines;
    }
    std::vector<std::string> Logged(size_t count) { return TextsOf(Log(count)); }
    LRESULT Rows(size_t count) {
        WaitUntil([&] { return SendMessageA(List(), LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(count); }, kTimeoutMs);
        return SendMessageA(List(), LB_GETCOUNT, 0, 0);
    }

    HWND List() { return FindWindowExA(window_, nullptr, "ListBox", nullptr); }

    std::wstring folder_, log_;
    ChildProcess viewer_;
    HWND window_ = nullptr;
};

// The menu commands of the viewer (File > Save, Edit > Copy, Edit > Clear).
const WORD kCmdSave = 101, kCmdCopy = 103, kCmdClear = 104;

TEST_F(TraceViewer, AppendsEachLineAsItArrivesInOrderAndUnchanged) {
    HANDLE file = CreateFileW(log_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "00:00:00.000 earlier\r\n", 22, &written, nullptr);
    CloseHandle(file);
    StartViewer();
    const std::string sent[] = {
        "first ", "", "\x07unexpected state ", "\nnew group ", "tab\tcr\rback\\slash",
        "\x82\xa0\x82\xa2 kana in code page 932",
    };
    const std::string logged[] = {
        "earlier", "first ", "", "\\aunexpected state ", "\\nnew group ", "tab\\tcr\\rback\\\\slash",
        "\x82\xa0\x82\xa2 kana in code page 932",
    };
    for (size_t i = 0; i < sizeof sent / sizeof sent[0]; ++i) {
        ASSERT_TRUE(SendText(sent[i])) << i;
        std::vector<std::string> texts = Logged(i + 2);
        ASSERT_EQ(texts.size(), i + 2);
        EXPECT_EQ(texts[0], logged[0]);
        EXPECT_EQ(texts[i + 1], logged[i + 1]) << i;
    }
    // Runs and days are told apart by a header after what was there before.
    std::string log = ReadBytes(log_);
    std::string header = log.substr(22, log.find("\r\n", 22) - 22);
    EXPECT_EQ(header.compare(0, 3, "-- "), 0) << header;
    EXPECT_NE(header.find("process " + std::to_string(viewer_.Id())), std::string::npos) << header;
    EXPECT_NE(header.find("code page " + std::to_string(GetACP())), std::string::npos) << header;
}

TEST_F(TraceViewer, StandardOutputCarriesTheSameLinesAsTheLog) {
    std::wstring out = folder_ + L"stdout.txt";
    StartViewer(out);
    ASSERT_TRUE(SendText("one"));
    ASSERT_TRUE(SendText("\x07two"));
    std::string log = Log(2);
    EXPECT_EQ(TextsOf(log), (std::vector<std::string>{"one", "\\atwo"}));
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(out) == log; }, kTimeoutMs)) << ReadBytes(out);
}

// Standard output into a pipe nobody reads, as with "| more" or a console in
// QuickEdit selection: its writes block. Sends must go on returning within the
// library's time-out (after one it drops the viewer for good), and the lines
// standard output could not take are counted there once it flows again.
TEST_F(TraceViewer, AStalledStandardOutputCostsLinesThereNotTheSenders) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE reader, writer;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 4096));
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    ASSERT_TRUE(viewer_.Start(Tool(), L"--quiet --stdout --log \"" + log_ + L"\"", writer));
    CloseHandle(writer);
    window_ = FindProcessWindow(viewer_.Id(), L"VeskDebugWClass", kTimeoutMs);
    ASSERT_NE(window_, nullptr);
    const int kLines = 10000;
    int late = 0;
    for (int i = 0; i <= kLines; ++i) {
        std::string text = i < kLines ? "line " + std::to_string(i) : "after the flood";
        COPYDATASTRUCT copy = {0, static_cast<DWORD>(text.size() + 1), &text[0]};
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window_, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 1000, &result))
            ++late;
    }
    EXPECT_EQ(late, 0) << "sends that timed out";
    ASSERT_EQ(Rows(kLines + 1), kLines + 1);  // every line reached the window, the last one too

    // Lines written, and lines counted as not logged, in a log's texts.
    size_t shown = 0, notLogged = 0;
    auto account = [&](const std::string& log) {
        shown = notLogged = 0;
        for (const std::string& text : TextsOf(log)) {
            unsigned long count = 0;
            if (sscanf(text.c_str(), "\\[%lu lines not logged]", &count) == 1)
                notLogged += count;
            else
                ++shown;
        }
        return shown + notLogged >= kLines + 1u;
    };
    EXPECT_TRUE(WaitUntil([&] { return account(ReadBytes(log_)); }, kTimeoutMs)) << shown << " + " << notLogged;
    // Reading again: every line comes out, or is counted as not logged.
    std::string out;
    WaitUntil(
        [&] {
            DWORD available = 0, got = 0;
            while (PeekNamedPipe(reader, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
                std::string chunk(available, '\0');
                if (!ReadFile(reader, &chunk[0], available, &got, nullptr)) break;
                out.append(chunk, 0, got);
            }
            return account(out);
        },
        kTimeoutMs);
    CloseHandle(reader);
    EXPECT_EQ(shown + notLogged, kLines + 1u) << out.size() << " bytes read";
    EXPECT_GT(notLogged, 0u) << "standard output never stalled";
    EXPECT_GT(shown, 0u);
}

TEST_F(TraceViewer, HostilePayloadsAreReadWithinTheirBoundsAndLoggingGoesOn) {
    StartViewer();
    const char longer[] = "abcdef";
    ASSERT_TRUE(Send(longer, 3));          // no terminator: only the three bytes
    ASSERT_TRUE(Send(nullptr, 0));         // no data at all
    ASSERT_TRUE(Send(longer, 0));          // a buffer, but nothing of it sent
    ASSERT_TRUE(Send("ab\0cd", 6));        // the text ends at the first zero
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
    ASSERT_TRUE(SendText(high));           // not valid text in any code page
    ASSERT_TRUE(SendText("\x01\x1b\x7f"));
    std::string huge(100 * 1024, 'x');
    for (size_t i = 0; i < huge.size(); i += 1000) huge[i] = '0' + (i / 1000) % 10;
    ASSERT_TRUE(SendText(huge));
    std::string hugeHigh(100 * 1024, '\x82');  // lead bytes with no trail to end on
    ASSERT_TRUE(Send(hugeHigh.data(), static_cast<DWORD>(hugeHigh.size())));
    ASSERT_TRUE(SendText("still logging"));

    std::vector<std::string> texts = Logged(9);
    ASSERT_EQ(texts.size(), 9u);
    EXPECT_EQ(texts[0], "abc\\[unterminated]");
    EXPECT_EQ(texts[1], "\\[unterminated]");
    EXPECT_EQ(texts[2], "\\[unterminated]");
    EXPECT_EQ(texts[3], "ab");
    if (GetACP() == 932) high.replace(0xFC - 0x80, 1, "\\xFC");  // a lead byte whose next byte is no trail
    EXPECT_EQ(texts[4], high);
    EXPECT_EQ(texts[5], "\\x01\\x1B\\x7F");
    // Lines are cut at 4,096 bytes, on a character boundary.
    const std::string cut = "\\[cut: 102400 bytes in all]";
    EXPECT_TRUE(texts[6] == huge.substr(0, 4096) + cut) << "100 KB line logged with " << texts[6].size() << " bytes";
    EXPECT_TRUE(texts[7] == hugeHigh.substr(0, 4096) + "\\[unterminated]" + cut) << texts[7].size() << " bytes";
    EXPECT_EQ(texts[8], "still logging");
    EXPECT_TRUE(viewer_.Running());
    EXPECT_EQ(Rows(9), 9);
}

TEST_F(TraceViewer, WindowSeparatesGroupsAndClearLeavesTheLogAlone) {
    StartViewer();
    ASSERT_TRUE(SendText("\nfirst group "));  // nothing above it to separate from
    ASSERT_TRUE(SendText("a "));
    ASSERT_TRUE(SendText("\nsecond group "));
    ASSERT_TRUE(SendText("\x07odd "));
    HWND list = List();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(Rows(5), 5);  // one separator row

    Command(kCmdClear);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 0);
    ASSERT_TRUE(SendText("after clear"));
    EXPECT_EQ(Rows(1), 1);
    EXPECT_EQ(Logged(5).size(), 5u);
}

TEST_F(TraceViewer, CopyPutsTheSelectedLinesOnTheClipboard) {
    StartViewer();
    ASSERT_TRUE(SendText("\x07" "bell"));
    ASSERT_TRUE(SendText("\nnot selected"));
    ASSERT_TRUE(SendText("\x82\xa0"));  // HIRAGANA LETTER A in code page 932
    ASSERT_EQ(Rows(4), 4);
    SendMessageA(List(), LB_SELITEMRANGEEX, 0, 3);
    SendMessageA(List(), LB_SETSEL, FALSE, 2);
    Command(kCmdCopy);
    ASSERT_TRUE(WaitUntil([] { return OpenClipboard(nullptr) != FALSE; }, kTimeoutMs));
    HANDLE ansi = GetClipboardData(CF_TEXT);
    std::string copied = ansi ? static_cast<const char*>(GlobalLock(ansi)) : "";
    if (ansi) GlobalUnlock(ansi);
    HANDLE wide = GetClipboardData(CF_UNICODETEXT);
    std::wstring copiedWide = wide ? static_cast<const wchar_t*>(GlobalLock(wide)) : L"";
    if (wide) GlobalUnlock(wide);
    CloseClipboard();
    const std::string log = Log(3);
    EXPECT_EQ(copied, log.substr(0, log.find("\r\n") + 2) + log.substr(log.rfind("\r\n", log.size() - 3) + 2));
    EXPECT_EQ(TextsOf(copied), (std::vector<std::string>{"\\abell", "\x82\xa0"}));
    if (GetACP() == 932) {
        EXPECT_NE(copiedWide.find(L"\x3042\r\n"), std::wstring::npos);
    }
}

// The Save dialog of the viewer, once it is up; null when it did not come.
HWND SaveDialog(DWORD viewer) { return FindProcessWindow(viewer, L"#32770", kTimeoutMs); }

// The file name box of a save dialog: an edit with the id of cmb13 (0x47C),
// inside that combo box.
BOOL CALLBACK FindFileNameBox(HWND child, LPARAM found) {
    wchar_t kind[16];
    if (GetDlgCtrlID(child) == 0x47C && GetClassNameW(child, kind, 16) && lstrcmpiW(kind, L"Edit") == 0) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

HWND FileNameBox(HWND dialog) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
            EnumChildWindows(dialog, FindFileNameBox, reinterpret_cast<LPARAM>(&box));
            return box != nullptr;
        },
        kTimeoutMs);
    return box;
}

TEST_F(TraceViewer, SaveWritesEveryLineToTheChosenFile) {
    StartViewer();
    ASSERT_TRUE(SendText("\nsaved group "));
    ASSERT_TRUE(SendText("\x07saved bell "));
    std::wstring saved = folder_ + L"saved.log";
    PostMessageW(window_, WM_COMMAND, kCmdSave, 0);
    HWND dialog = SaveDialog(viewer_.Id());
    ASSERT_NE(dialog, nullptr) << "no save dialog";
    HWND name = FileNameBox(dialog);
    ASSERT_NE(name, nullptr);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(saved.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    std::string log = Log(2);
    EXPECT_TRUE(WaitUntil([&] { return ReadBytes(saved).size() == log.size(); }, kTimeoutMs));
    EXPECT_EQ(ReadBytes(saved), log);
    EXPECT_EQ(TextsOf(log), (std::vector<std::string>{"\\nsaved group ", "\\asaved bell "}));
}

// Closing while Save asks whether to replace a file: both dialogs are open.
TEST_F(TraceViewer, ClosingWhileSaveAsksQuestionsEndsCleanly) {
    StartViewer();
    ASSERT_TRUE(SendText("line"));
    PostMessageW(window_, WM_COMMAND, kCmdSave, 0);
    HWND dialog = SaveDialog(viewer_.Id());
    ASSERT_NE(dialog, nullptr) << "no save dialog";
    HWND name = FileNameBox(dialog);
    ASSERT_NE(name, nullptr);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(log_.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(dialog); }, kTimeoutMs)) << "no question about replacing";
    PostMessageW(window_, WM_CLOSE, 0, 0);
    DWORD code = 99;
    EXPECT_TRUE(viewer_.WaitExit(kTimeoutMs, &code)) << "the viewer did not close";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(TextsOf(ReadBytes(log_)), std::vector<std::string>{"line"});  // not replaced
}

TEST(TraceViewerStart, ASecondViewerLeavesTheFirstRunning) {
    std::wstring folder = FreshFolder(L"tracewin-twice");
    ChildProcess first;
    ASSERT_TRUE(first.Start(TestFolder() + L"tracewin.exe", L"--quiet --log \"" + folder + L"first.log\""));
    HWND window = FindProcessWindow(first.Id(), L"VeskDebugWClass", kTimeoutMs);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(RunToExit(TestFolder() + L"tracewin.exe", L"--quiet --log \"" + folder + L"second.log\"", kTimeoutMs),
              3);  // already running
    const char text[] = "to the first";
    COPYDATASTRUCT copy = {0, sizeof text, const_cast<char*>(text)};
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG,
                                    kTimeoutMs, &result));
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD code = 1;
    EXPECT_TRUE(first.WaitExit(kTimeoutMs, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(TextsOf(ReadBytes(folder + L"first.log")), std::vector<std::string>{"to the first"});
    first.Kill();
    RemoveFolder(folder);
}

TEST(TraceViewerStart, CommandLineProblemsEndItWithTheirCodes) {
    std::string errors;
    // --quiet after the bad option still keeps the message box away.
    EXPECT_EQ(RunToExit(TestFolder() + L"tracewin.exe", L"--bogus --quiet", kTimeoutMs, &errors), 1);
    EXPECT_NE(errors.find("tracewin [--log"), std::string::npos) << errors;  // the usage, in either language
    EXPECT_EQ(RunToExit(TestFolder() + L"tracewin.exe", L"--quiet --log C:\\no\\such\\folder\\x.log", kTimeoutMs,
                        &errors),
              2);
    EXPECT_NE(errors.find("C:\\no\\such\\folder\\x.log"), std::string::npos) << errors;
}

}  // namespace

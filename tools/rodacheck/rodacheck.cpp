// rodacheck: a self-check of RODAVOZI.DLL on the machine it runs on.
//
// The parent loads RODAVOZI.DLL from its own folder and starts a copy of
// itself (the hidden argument --child) that holds the editors and asks them
// as an IME living in their process does. Once the child's windows exist,
// the parent hooks the child's thread, and only it, through
// HookReconvertThread: the hook reaches the editors across processes as in
// real use, whatever host runs, and touches no other program. The child
// writes its lines to a pipe; the parent reports them, counts them, removes
// its hook on every way out and gives the verdict.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "editor_checks.h"
#include "editors.h"
#include "imm_facts.h"
#include "platform_facts.h"
#include "report.h"
#include "rodacheck_strings.h"

namespace rodacheck {

namespace {

enum ExitCode { kAllPassed = 0, kSomeFailed = 1, kCouldNotRun = 2, kNothingChecked = 3 };
enum ChildExit { kChildDone = 0, kChildNoWindows = 40, kChildNoReader = 41, kChildNoGoAhead = 42 };
const DWORD kChildTimeoutMs = 180000;  // Wine on a loaded machine is slow; Windows takes seconds
// The child's lines that are not part of the report. Its last one is
// kChildEnd: a child that ends without it did not finish, whatever its exit
// code says (a process killed under Wine may leave 0).
const char kChildEnd[] = "#end";
const char kChildReady[] = "#ready";     // its editors exist: hook its thread
const char kChildCause[] = "#nothing ";  // why nothing could be checked: a cause's string id

std::wstring OwnPath() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

std::wstring OwnFolder() {
    const std::wstring own = OwnPath();
    return own.substr(0, own.find_last_of(L"\\/") + 1);
}

imeside::LeadBytes g_leads;

// Every copy of RODAVOZI.DLL mapped into this process, with its file version.
std::vector<std::wstring> LoadedCopies() {
    HMODULE modules[1024];
    DWORD bytes = 0;
    std::vector<std::wstring> found;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes)) return found;
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 1024; ++i) {
        wchar_t path[MAX_PATH * 2];
        DWORD length = GetModuleFileNameW(modules[i], path, MAX_PATH * 2);
        const std::wstring file(path, length);
        if (lstrcmpiW(FileName(file).c_str(), L"RODAVOZI.DLL") == 0) found.push_back(file);
    }
    return found;
}

// The active keyboard layout of this thread and its input method.
std::string KeyboardFact() {
    HKL layout = GetKeyboardLayout(0);
    wchar_t name[KL_NAMELENGTH] = L"";
    GetKeyboardLayoutNameW(name);
    std::string text = Format("keyboard layout: %p (%s)", static_cast<void*>(layout), ToUtf8(name).c_str());
    wchar_t description[256] = L"";
    if (ImmIsIME(layout) && ImmGetDescriptionW(layout, description, 255))
        return text + ", input method \"" + ToUtf8(description) + "\"";
    const bool japanese = PRIMARYLANGID(LOWORD(reinterpret_cast<ULONG_PTR>(layout))) == LANG_JAPANESE;
    return text + (japanese ? ", a Japanese layout (its IME, if any, works through the text services framework)"
                            : ", no input method for it through IMM32");
}

// Waits for the parent's word that the thread is hooked, taking messages.
bool WaitForGoAhead(HANDLE goAhead) {
    const DWORD begun = GetTickCount();
    while (GetTickCount() - begun < 60000) {
        DWORD woke = MsgWaitForMultipleObjects(1, &goAhead, FALSE, 100, QS_ALLINPUT);
        if (woke == WAIT_OBJECT_0) return true;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return false;
}

// A thread learns of a hook put on it from another process only when it next
// takes a message from its queue (under Wine at least; a look at an empty
// queue tells it nothing), and the module is mapped only when the hook is
// first called: post a message to the frame and take it, then send one,
// until the module is there, for two seconds at most. Whether the module
// then serves the editors is for the checks to say.
void AwaitHook(HWND frame) {
    const DWORD begun = GetTickCount();
    do {
        PostMessageW(frame, WM_NULL, 0, 0);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        SendMessageW(frame, WM_NULL, 0, 0);
        if (GetModuleHandleW(L"RODAVOZI.DLL") != nullptr) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - begun < 2000);
}

int ChildMain(HANDLE goAhead) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CheckSetting setting;
    Tally tally;
    setting.tally = &tally;
    // A parent that is gone reads no more lines: end rather than run on.
    setting.emit = [out](Status status, const std::string& text) {
        if (!WriteLine(out, FormatLine(status, text))) ExitProcess(kChildNoReader);
    };
    const Sample sample = ChooseSample();
    const UINT working = WorkingCodePage();
    const Sample unicodeSample = working == GetACP() ? sample : ChooseSample(working);
    setting.messages = imeside::ImeMessages::Register();
    if (GetACP() != 932) {
        for (int byte = 0; byte < 256; ++byte) g_leads.lead[byte] = IsDBCSLeadByteEx(CP_ACP, BYTE(byte)) != FALSE;
        setting.leads = &g_leads;
    }
    setting.emit(Status::Fact, "editors' text: " + sample.about + ": \"" + ToUtf8(sample.text) +
                                   "\", the caret after its character " + std::to_string(sample.caret));
    setting.emit(Status::Fact, Format("working code page for Unicode windows: %u (%s)", working,
                                      working == GetACP() ? "the ANSI code page"
                                                          : "the input language's; the ANSI code page has no "
                                                            "double-byte characters"));
    if (working != GetACP())
        setting.emit(Status::Fact, "Unicode editors' text: " + unicodeSample.about + ": \"" +
                                       ToUtf8(unicodeSample.text) + "\"");

    HWND frame = nullptr;
    std::vector<Editor> editors;
    if (!CreateEditors(sample, unicodeSample, &frame, &editors)) {
        setting.emit(Status::Fail, "the editors' windows cannot be created");
        return kChildNoWindows;
    }
    const Editor& ansi = editors[0];
    const size_t bytes = ToCodePage(CP_ACP, ansi.text).size();
    if (sample.doubleByte)
        setting.emit(Status::Fact, Format("EM_GETSEL in an ANSI EDIT holding double-byte text counts %s "
                                          "(the text: %u characters, %u bytes)",
                                          UnitsName(ansi.units), unsigned(ansi.text.size()), unsigned(bytes)));
    else
        setting.emit(Status::Fact, "EM_GETSEL in an ANSI EDIT holding double-byte text: not measured, "
                                   "the ANSI code page has no double-byte characters");
    std::string units = "EM_GETSEL counts", controls = "the editors' own procedures are in";
    for (const Editor& editor : editors) {
        const char* separator = &editor == &editors[0] ? " " : "; ";
        units += separator + std::string(UnitsName(editor.units)) + " in the " + editor.name;
        controls += separator + ToUtf8(FileName(editor.control)) + " (" + FileVersion(editor.control) + ") for the " +
                    editor.name;
    }
    setting.emit(Status::Fact, units);
    setting.emit(Status::Fact, controls);
    for (const std::string& fact : ImmFormFacts(frame, sample.text)) setting.emit(Status::Fact, fact);
    for (const std::string& fact : EditAnswerFacts(frame, sample.text, sample.caret))
        setting.emit(Status::Fact, fact);
    setting.emit(Status::Fact, KeyboardFact());

    if (!WriteLine(out, kChildReady)) return kChildNoReader;
    if (!WaitForGoAhead(goAhead)) return kChildNoGoAhead;
    AwaitHook(frame);
    for (const Editor& editor : editors) CheckEditor(setting, editor);
    DestroyWindow(frame);

    size_t ordinary = 0;
    for (const Editor& editor : editors) ordinary += !editor.password && editor.doubleByte ? 1 : 0;
    CheckServed(setting, ordinary);
    const std::vector<std::wstring> copies = LoadedCopies();
    for (const std::wstring& copy : copies)
        setting.emit(Status::Fact, "RODAVOZI.DLL loaded in the check process: " + ToUtf8(copy) + ", file version " +
                                       FileVersion(copy));
    if (copies.empty()) setting.emit(Status::Fact, "RODAVOZI.DLL loaded in the check process: none");
    if (tally.offered == 0) {
        const unsigned cause = copies.empty()                                   ? kCauseNoHook
                               : sample.doubleByte || unicodeSample.doubleByte ? kCauseNoOffer
                               : GetACP() == CP_UTF8                           ? kCauseUtf8
                                                                               : kCauseSingleByte;
        if (!WriteLine(out, kChildCause + std::to_string(cause))) return kChildNoReader;
    }
    if (!WriteLine(out, kChildEnd)) return kChildNoReader;
    return kChildDone;
}

HANDLE g_stop;  // set by Ctrl+C and the console's close

BOOL WINAPI ConsoleHandler(DWORD) {
    SetEvent(g_stop);
    Sleep(3000);  // the main thread removes the hook meanwhile
    return TRUE;
}

struct ChildRun {
    DWORD exitCode = 0;
    bool ready = false;   // the child's editors existed
    unsigned cause = kCauseNoCheck;  // why nothing could be checked, by the child
};

// Starts the child and passes its lines on until it ends; false when it
// cannot start. Once the child says its editors exist, `ready` hooks its
// thread; false from it ends the child. Pumps messages meanwhile.
template <class Ready>
bool RunChild(Report* report, ChildRun* run, Ready ready) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE goAhead = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command =
        L"\"" + OwnPath() + L"\" --child " + std::to_wstring(static_cast<unsigned long long>(
                                                 reinterpret_cast<ULONG_PTR>(goAhead)));
    PROCESS_INFORMATION child = {};
    BOOL started = goAhead && CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                             &startup, &child);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        if (goAhead) CloseHandle(goAhead);
        SetLastError(startError);
        return false;
    }

    std::string pending;
    const DWORD begun = GetTickCount();
    bool ended = false, timedOut = false, stopped = false, finished = false, refused = false;
    while (!ended) {
        DWORD available = 0;
        // The pipe breaks once the child has ended and its lines are read.
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) {
            ended = true;
        } else if (available) {
            std::string chunk(available, '\0');
            DWORD got = 0;
            ReadFile(readEnd, &chunk[0], available, &got, nullptr);
            pending.append(chunk, 0, got);
            for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                const std::string line = pending.substr(0, end);
                if (line == kChildEnd) {
                    finished = true;
                } else if (line == kChildReady) {
                    run->ready = true;
                    refused = !ready(child.dwThreadId);
                    if (!refused) SetEvent(goAhead);
                } else if (line.compare(0, sizeof kChildCause - 1, kChildCause) == 0) {
                    run->cause = unsigned(strtoul(line.c_str() + sizeof kChildCause - 1, nullptr, 10));
                } else {
                    report->Write(line);
                }
            }
            if (!refused) continue;
        } else if (WaitForSingleObject(g_stop, 0) == WAIT_OBJECT_0) {
            stopped = true;
        } else if (GetTickCount() - begun > kChildTimeoutMs) {
            timedOut = true;
        }
        if (stopped || timedOut || refused) {
            TerminateProcess(child.hProcess, 1);
            break;
        }
        HANDLE waitOn[] = {child.hProcess};
        MsgWaitForMultipleObjects(1, waitOn, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (!pending.empty()) report->Write(pending);
    WaitForSingleObject(child.hProcess, 5000);
    GetExitCodeProcess(child.hProcess, &run->exitCode);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    CloseHandle(readEnd);
    CloseHandle(goAhead);
    if (timedOut)
        report->Add(Status::Fail, Format("the check process did not finish within %lu s and was ended",
                                         kChildTimeoutMs / 1000));
    else if (stopped)
        report->Add(Status::Fail, "the check was interrupted");
    else if (!refused && run->exitCode != kChildNoWindows && (!finished || run->exitCode != kChildDone))
        report->Add(Status::Fail, Format("the check process ended early (exit code 0x%lx)", run->exitCode));
    return true;
}

// Whether this process is alone in its console: started by a double-click,
// its window closes as soon as it ends.
bool AloneInConsole() {
    DWORD processes[4], mode = 0;
    return GetConsoleProcessList(processes, 4) == 1 && GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
}

// Where a double-clicked check keeps its report: beside itself, or in the
// user's profile folder where its own folder takes no files.
std::wstring OpenReportBesideItself(Report* report) {
    std::wstring path = OwnFolder() + L"rodacheck-report.txt";
    if (report->OpenFile(path)) return path;
    wchar_t profile[MAX_PATH] = L"";
    if (!GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH)) return std::wstring();
    path = std::wstring(profile) + L"\\rodacheck-report.txt";
    return report->OpenFile(path) ? path : std::wstring();
}

// Ends the run: the verdict and the totals in the report (English, for a bug
// report), then the result in the user's language on standard error, where
// no parser of the report meets it.
class Finish {
public:
    Finish(Report* report, bool alone, const std::wstring& outPath)
        : report_(report), alone_(alone), outPath_(outPath) {}

    int operator()(ExitCode code, unsigned cause = kCauseNoCheck) {
        std::wstring verdict;
        if (code == kAllPassed) verdict = L"every check passed";
        if (code == kSomeFailed) verdict = std::to_wstring(report_->failed) + L" checks failed";
        if (code == kCouldNotRun) verdict = L"the check could not run";
        if (code == kNothingChecked)
            verdict = L"nothing could be checked: " + ToolStringIn(LANG_ENGLISH, cause, {std::to_wstring(GetACP())});
        report_->Write("verdict: " + ToUtf8(verdict));
        report_->Write(Format("%d passed, %d failed", report_->passed, report_->failed));
        const bool written = report_->CloseFile();
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        WriteLine(err, ToUtf8(code == kAllPassed    ? ToolString(kResultPassed)
                              : code == kSomeFailed ? ToolString(kResultFailed, {std::to_wstring(report_->failed)})
                              : code == kCouldNotRun
                                  ? ToolString(kResultCouldNotRun)
                                  : ToolString(kResultNothing, {ToolString(cause, {std::to_wstring(GetACP())})})));
        if (alone_) {
            if (!outPath_.empty()) WriteLine(err, ToUtf8(ToolString(written ? kReportIn : kReportNotWritten, {outPath_})));
            WriteLine(err, ToUtf8(ToolString(kPressEnter)));
            wchar_t line[64];
            DWORD got = 0;
            FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
            ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), line, 64, &got, nullptr);
        }
        return code;
    }

private:
    Report* report_;
    bool alone_;
    std::wstring outPath_;
};

int ParentMain(std::wstring outPath) {
    const bool alone = AloneInConsole();
    Report report;
    if (!outPath.empty() && !report.OpenFile(outPath)) {
        WriteLine(GetStdHandle(STD_ERROR_HANDLE), ToUtf8(ToolString(kCannotWrite, {outPath})));
        return kCouldNotRun;
    }
    if (outPath.empty() && alone) outPath = OpenReportBesideItself(&report);
    const std::wstring dllPath = OwnFolder() + L"RODAVOZI.DLL";
    report.Write("rodacheck " RODAVOZI_VERSION " (" + ToUtf8(OwnArch()) + "): " + ToUtf8(dllPath));
    for (const std::string& fact : PlatformFacts()) report.Add(Status::Fact, fact);
    Finish finish(&report, alone, outPath);

    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (!dll) {
        report.Add(Status::Fail, Format("RODAVOZI.DLL cannot be loaded (error %lu); it must be in the folder of "
                                        "rodacheck.exe, of the same architecture",
                                        GetLastError()));
        return finish(kCouldNotRun);
    }
    report.Add(Status::Fact, "RODAVOZI.DLL beside rodacheck: file version " + FileVersion(dllPath));
    auto hookThread = reinterpret_cast<HHOOK(WINAPI*)(DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "HookReconvertThread")));
    if (!hookThread) {
        report.Add(Status::Fail, "RODAVOZI.DLL lacks HookReconvertThread: it is an older or a foreign DLL");
        return finish(kCouldNotRun);
    }
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    HHOOK hook = nullptr;
    DWORD hookError = 0;
    ChildRun run;
    const bool ran = RunChild(&report, &run, [&](DWORD threadId) {
        hook = hookThread(threadId);
        hookError = GetLastError();
        if (hook)
            report.Add(Status::Fact, "hook: rodacheck's own, on the check process's thread only "
                                     "(HookReconvertThread); no other program is touched");
        else
            report.Add(Status::Fail, Format("HookReconvertThread refused the check process's thread (error %lu)",
                                            hookError));
        return hook != nullptr;
    });
    const DWORD runError = GetLastError();
    if (hook) UnhookWindowsHookEx(hook);
    if (!ran) {
        report.Add(Status::Fail, Format("the check process cannot be started (error %lu)", runError));
        return finish(kCouldNotRun);
    }
    if (run.exitCode == kChildNoWindows || (run.ready && !hook)) return finish(kCouldNotRun);
    if (report.failed) return finish(kSomeFailed);
    if (report.passed == 0) return finish(kNothingChecked, run.cause);
    return finish(kAllPassed);
}

}  // namespace

}  // namespace rodacheck

int wmain(int argc, wchar_t** argv) {
    using namespace rodacheck;
    std::wstring outPath;
    if (argc == 3 && std::wstring(argv[1]) == L"--child")
        return ChildMain(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(_wcstoui64(argv[2], nullptr, 10))));
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
            WriteLine(GetStdHandle(STD_OUTPUT_HANDLE), ToUtf8(ToolString(kUsage) + L"\n\n" + ToolString(kExitCodes)));
            return kAllPassed;
        }
        if (arg == L"--out" && i + 1 < argc) {
            outPath = argv[++i];
            continue;
        }
        WriteLine(GetStdHandle(STD_ERROR_HANDLE), ToUtf8(ToolString(kBadCommandLine) + L"\n\n" + ToolString(kUsage) +
                                                         L"\n\n" + ToolString(kExitCodes)));
        return kCouldNotRun;
    }
    return ParentMain(outPath);
}

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

#include <string>
#include <vector>

#include "editor_checks.h"
#include "editors.h"
#include "imm_facts.h"
#include "platform_facts.h"
#include "report.h"

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
const char kChildCause[] = "#nothing ";  // why nothing could be checked

const char kUsage[] =
    "Usage: rodacheck [--out FILE]\n"
    "\n"
    "Checks RODAVOZI.DLL on this machine and reports the facts of the platform\n"
    "that it depends on; attach the report to a bug report. It loads RODAVOZI.DLL\n"
    "from the folder of rodacheck.exe (the same architecture) and starts a process\n"
    "of its own with a window of edit controls: user32's EDIT as an ANSI and as a\n"
    "Unicode window, each also under a procedure of the other form, a password\n"
    "field, a multi-line EDIT, and comctl32 version 6's edit control (what programs\n"
    "with the common controls manifest get) as an ANSI and a Unicode window. It\n"
    "hooks that process's thread itself (HookReconvertThread), so it works the\n"
    "same whatever host runs and touches no other program, and asks the editors as\n"
    "an IME does: WM_IME_REQUEST through ImmRequestMessageA/W (IMR_RECONVERTSTRING\n"
    "size query and fill, IMR_CONFIRMRECONVERTSTRING, IMR_DOCUMENTFEED) and the\n"
    "registered messages MSIMEReconvert, MSIMEDocumentFeed, Atok Message for\n"
    "ReconvertString and Atok Message for DocumentFeed. Every record is checked as\n"
    "an IME checks it; a confirmation must select exactly the composition, and the\n"
    "result in its place must leave the rest of the text as it was; a record counts\n"
    "only when RODAVOZI.DLL's procedure answered it, not the control itself.\n"
    "\n"
    "The module offers double-byte text only: the editors hold Japanese text, or\n"
    "text of the ANSI code page's own language. Under a code page without\n"
    "double-byte characters (1252, or 65001 when \"Beta: Use Unicode UTF-8\" is on)\n"
    "there is nothing to offer, and the verdict says that nothing could be checked.\n"
    "\n"
    "Output (standard output, and FILE with --out, UTF-8): one line per check,\n"
    "\"ok\", \"FAIL\" or \"n/a\" (not applicable here, with the reason), with the values\n"
    "seen; \"fact\" lines with what was measured: the Windows version and build,\n"
    "the bitness of the process and the system, the ANSI code page, the user\n"
    "interface language and the locales, the date and time, its own elevation and\n"
    "each running host's program, mode and elevation, the path and file version of\n"
    "RODAVOZI.DLL as loaded in the check process, the keyboard layout and input\n"
    "method, what EM_GETSEL counts in each editor, whether the input method manager\n"
    "delivers each record in the window's form, and whether the system's edit\n"
    "controls answer IMR_RECONVERTSTRING, IMR_DOCUMENTFEED or IMR_QUERYCHARPOSITION\n"
    "themselves. Then a \"verdict\" line, and last \"N passed, M failed\".\n"
    "\n"
    "Started on its own (by a double-click: no other program shares its console),\n"
    "it also writes the report into rodacheck-report.txt beside itself (or in your\n"
    "profile folder where that is not allowed), says where, and waits for Enter.\n"
    "\n"
    "  --out FILE  also write the report into FILE\n"
    "  --help      show this text\n"
    "\n"
    "Exit codes:\n"
    "  0  every check passed\n"
    "  1  a check failed\n"
    "  2  the check could not run: bad command line, RODAVOZI.DLL missing or not\n"
    "     loadable or without HookReconvertThread, the hook refused, the check\n"
    "     process or its windows not made, the report file not writable\n"
    "  3  nothing could be checked: no check passed or failed; the verdict line\n"
    "     gives the cause (a code page without double-byte characters, a hook that\n"
    "     never reached the check process, a module that offered nothing)\n";

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
    setting.doubleByte = sample.doubleByte;
    setting.messages = imeside::ImeMessages::Register();
    if (GetACP() != 932) {
        for (int byte = 0; byte < 256; ++byte) g_leads.lead[byte] = IsDBCSLeadByteEx(CP_ACP, BYTE(byte)) != FALSE;
        setting.leads = &g_leads;
    }
    setting.emit(Status::Fact, "editors' text: " + sample.about + ": \"" + ToUtf8(sample.text) +
                                   "\", the caret after its character " + std::to_string(sample.caret));

    HWND frame = nullptr;
    std::vector<Editor> editors;
    if (!CreateEditors(sample, &frame, &editors)) {
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
    for (const Editor& editor : editors) CheckEditor(setting, editor);
    DestroyWindow(frame);

    size_t ordinary = 0;
    for (const Editor& editor : editors) ordinary += editor.password ? 0 : 1;
    CheckServed(setting, ordinary);
    const std::vector<std::wstring> copies = LoadedCopies();
    for (const std::wstring& copy : copies)
        setting.emit(Status::Fact, "RODAVOZI.DLL loaded in the check process: " + ToUtf8(copy) + ", file version " +
                                       FileVersion(copy));
    if (copies.empty()) setting.emit(Status::Fact, "RODAVOZI.DLL loaded in the check process: none");
    if (tally.offered == 0) {
        std::string cause =
            copies.empty() ? "the hook never reached the check process: RODAVOZI.DLL was not loaded into it"
            : GetACP() == CP_UTF8
                ? "the ANSI code page is 65001 (UTF-8, \"Beta: Use Unicode UTF-8 for worldwide language support\" "
                  "is on), which has no double-byte characters, and the module offers double-byte text only; "
                  "turn that setting off"
            : !sample.doubleByte
                ? Format("the ANSI code page %u has no double-byte characters, and the module offers double-byte "
                         "text only; set \"Language for non-Unicode programs\" to Japanese, Chinese or Korean",
                         GetACP())
                : "RODAVOZI.DLL was loaded into the check process but offered text in no editor";
        if (!WriteLine(out, kChildCause + cause)) return kChildNoReader;
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
    std::string cause;    // why nothing could be checked, by the child
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
                    run->cause = line.substr(sizeof kChildCause - 1);
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

int ParentMain(std::wstring outPath) {
    const bool alone = AloneInConsole();
    Report report;
    if (!outPath.empty() && !report.OpenFile(outPath)) {
        WriteLine(GetStdHandle(STD_ERROR_HANDLE), "rodacheck: cannot write " + ToUtf8(outPath));
        return kCouldNotRun;
    }
    if (outPath.empty() && alone) outPath = OpenReportBesideItself(&report);
    const std::wstring dllPath = OwnFolder() + L"RODAVOZI.DLL";
    report.Write("rodacheck " RODAVOZI_VERSION " (" + ToUtf8(OwnArch()) + "): " + ToUtf8(dllPath));
    for (const std::string& fact : PlatformFacts()) report.Add(Status::Fact, fact);
    auto finish = [&](int code, const std::string& verdict) {
        report.Write("verdict: " + verdict);
        report.Write(Format("%d passed, %d failed", report.passed, report.failed));
        const bool written = report.CloseFile();
        if (alone) {
            HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
            if (!outPath.empty())
                WriteLine(out, (written ? "The report is also in " : "The report could not be written whole to ") +
                                   ToUtf8(outPath));
            WriteLine(out, "Press Enter to close this window.");
            wchar_t line[64];
            DWORD got = 0;
            FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
            ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), line, 64, &got, nullptr);
        }
        return code;
    };

    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (!dll) {
        report.Add(Status::Fail, Format("RODAVOZI.DLL cannot be loaded (error %lu); it must be in the folder of "
                                        "rodacheck.exe, of the same architecture",
                                        GetLastError()));
        return finish(kCouldNotRun, "the check could not run");
    }
    report.Add(Status::Fact, "RODAVOZI.DLL beside rodacheck: file version " + FileVersion(dllPath));
    auto hookThread = reinterpret_cast<HHOOK(WINAPI*)(DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "HookReconvertThread")));
    if (!hookThread) {
        report.Add(Status::Fail, "RODAVOZI.DLL lacks HookReconvertThread: it is an older or a foreign DLL");
        return finish(kCouldNotRun, "the check could not run");
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
        return finish(kCouldNotRun, "the check could not run");
    }
    if (run.exitCode == kChildNoWindows || (run.ready && !hook)) return finish(kCouldNotRun, "the check could not run");
    if (report.failed) return finish(kSomeFailed, Format("%d checks failed", report.failed));
    if (report.passed == 0)
        return finish(kNothingChecked, "nothing could be checked: " +
                                           (run.cause.empty() ? std::string("no check ran") : run.cause));
    return finish(kAllPassed, "every check passed");
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
            WriteLine(GetStdHandle(STD_OUTPUT_HANDLE), std::string(kUsage, sizeof kUsage - 2));
            return kAllPassed;
        }
        if (arg == L"--out" && i + 1 < argc) {
            outPath = argv[++i];
            continue;
        }
        WriteLine(GetStdHandle(STD_ERROR_HANDLE), std::string("rodacheck: bad command line\n\n") + kUsage);
        return kCouldNotRun;
    }
    return ParentMain(outPath);
}

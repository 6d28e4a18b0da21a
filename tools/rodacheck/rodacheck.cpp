// rodacheck: a self-check of RODAVOZI.DLL on the machine it runs on.
//
// The parent loads RODAVOZI.DLL from its own folder, uses the running host's
// hook or installs the hook itself, and starts a copy of itself (the hidden
// argument --child) that holds the editors and asks them as an IME living in
// their process does; so the hook reaches them across processes, as in real
// use. The child writes its lines to a pipe; the parent reports them, counts
// them and removes the hook it installed on every way out.
#include <windows.h>
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

enum ExitCode { kAllPassed = 0, kSomeFailed = 1, kCouldNotRun = 2 };
enum ChildExit { kChildDone = 0, kChildNoWindows = 40, kChildNoReader = 41 };
const DWORD kChildTimeoutMs = 180000;  // Wine on a loaded machine is slow; Windows takes seconds
// The child's last line: a child that ends without it did not finish, whatever
// its exit code says (a process killed under Wine may leave 0).
const char kChildEnd[] = "#end";

const char kUsage[] =
    "Usage: rodacheck [--out FILE]\n"
    "\n"
    "Checks RODAVOZI.DLL on this machine and reports the platform's facts that it\n"
    "depends on. It loads RODAVOZI.DLL from the folder of rodacheck.exe (the same\n"
    "architecture); when reconvhost of this architecture runs, it uses that host's\n"
    "hook, otherwise it installs the hook itself and removes it at the end. A\n"
    "child process of its own shows a window of edit controls (the system's EDIT\n"
    "as an ANSI and as a Unicode window, each under a procedure of the other form,\n"
    "a password field and a multi-line EDIT) and asks them as an IME does:\n"
    "WM_IME_REQUEST through ImmRequestMessageA/W (IMR_RECONVERTSTRING size query\n"
    "and fill, IMR_CONFIRMRECONVERTSTRING, IMR_DOCUMENTFEED) and the registered\n"
    "messages MSIMEReconvert, MSIMEDocumentFeed, Atok Message for ReconvertString\n"
    "and Atok Message for DocumentFeed. Every record is checked as an IME checks\n"
    "it; a confirmation must select exactly the composition, and the result in its\n"
    "place must leave the rest of the text as it was. The editors hold Japanese\n"
    "text; where the ANSI code page lacks it, text of the code page's language or\n"
    "ASCII, and the report says so. It touches no other window and writes no file\n"
    "but the one of --out.\n"
    "\n"
    "Output (standard output, and FILE with --out, UTF-8): one line per check,\n"
    "\"ok\", \"FAIL\" or \"n/a\" (not applicable here, with the reason), with the values\n"
    "seen; \"fact\" lines with what was measured: the Windows version, the process's\n"
    "and the system's bitness, the ANSI code page, the units of EM_GETSEL in each\n"
    "editor (bytes or characters in an ANSI EDIT holding double-byte text),\n"
    "whether the input method manager delivers each record in the window's form,\n"
    "whether the system's EDIT answers IMR_DOCUMENTFEED or IMR_QUERYCHARPOSITION\n"
    "itself, and whether a host of each architecture runs. The last line is\n"
    "\"N passed, M failed\".\n"
    "\n"
    "  --out FILE  also write the report into FILE\n"
    "  --help      show this text\n"
    "\n"
    "Exit codes:\n"
    "  0  every check passed\n"
    "  1  a check failed\n"
    "  2  the check could not run: bad command line, RODAVOZI.DLL missing or not\n"
    "     loadable, the hook refused, the child process or its windows not made\n";

std::wstring OwnPath() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    return std::wstring(path, length);
}

imeside::LeadBytes g_leads;

int ChildMain() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CheckSetting setting;
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
    std::string units = "EM_GETSEL counts";
    for (const Editor& editor : editors)
        units += std::string(&editor == &editors[0] ? " " : "; ") + UnitsName(editor.units) + " in the " + editor.name;
    setting.emit(Status::Fact, units);
    for (const std::string& fact : ImmFormFacts(frame, sample.text)) setting.emit(Status::Fact, fact);
    setting.emit(Status::Fact, EditAnswerFacts(frame, sample.text, sample.caret));

    for (const Editor& editor : editors) CheckEditor(setting, editor);
    DestroyWindow(frame);
    if (!WriteLine(out, kChildEnd)) return kChildNoReader;
    return kChildDone;
}

HANDLE g_stop;  // set by Ctrl+C and the console's close

BOOL WINAPI ConsoleHandler(DWORD) {
    SetEvent(g_stop);
    Sleep(3000);  // the main thread removes the hook meanwhile
    return TRUE;
}

// Starts the child and passes its lines on until it ends; false when it
// cannot start. Pumps messages meanwhile: Windows runs the hook for programs
// of the other architecture on the installing thread.
bool RunChild(Report* report, DWORD* childExit) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + OwnPath() + L"\" --child";
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    CloseHandle(child.hThread);

    std::string pending;
    const DWORD begun = GetTickCount();
    bool ended = false, timedOut = false, stopped = false, finished = false;
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
                if (line == kChildEnd)
                    finished = true;
                else
                    report->Write(line);
            }
            continue;
        } else if (WaitForSingleObject(g_stop, 0) == WAIT_OBJECT_0) {
            stopped = true;
        } else if (GetTickCount() - begun > kChildTimeoutMs) {
            timedOut = true;
        }
        if (stopped || timedOut) {
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
    GetExitCodeProcess(child.hProcess, childExit);
    CloseHandle(child.hProcess);
    CloseHandle(readEnd);
    if (timedOut)
        report->Add(Status::Fail, Format("the check process did not finish within %lu s and was ended",
                                         kChildTimeoutMs / 1000));
    else if (stopped)
        report->Add(Status::Fail, "the check was interrupted");
    else if (*childExit != kChildNoWindows && (!finished || *childExit != kChildDone))
        report->Add(Status::Fail, Format("the check process ended early (exit code 0x%lx)", *childExit));
    return true;
}

int ParentMain(const std::wstring& outPath) {
    Report report;
    if (!outPath.empty() && !report.OpenFile(outPath)) {
        WriteLine(GetStdHandle(STD_ERROR_HANDLE), "rodacheck: cannot write " + ToUtf8(outPath));
        return kCouldNotRun;
    }
    const std::wstring own = OwnPath();
    const std::wstring dllPath = own.substr(0, own.find_last_of(L"\\/") + 1) + L"RODAVOZI.DLL";
    report.Write("rodacheck 1.0.0 (" + ToUtf8(OwnArch()) + "): " + ToUtf8(dllPath));
    for (const std::string& fact : PlatformFacts()) report.Add(Status::Fact, fact);
    auto finish = [&report](int code) {
        report.Write(Format("%d passed, %d failed", report.passed, report.failed));
        report.CloseFile();
        return code;
    };

    HMODULE dll = LoadLibraryW(dllPath.c_str());
    if (!dll) {
        report.Add(Status::Fail, Format("RODAVOZI.DLL cannot be loaded (error %lu); it must be in the folder of "
                                        "rodacheck.exe, of the same architecture",
                                        GetLastError()));
        return finish(kCouldNotRun);
    }
    auto init = reinterpret_cast<int(WINAPI*)(DWORD)>(reinterpret_cast<void*>(GetProcAddress(dll, "InitReconvertEdit")));
    auto end = reinterpret_cast<BOOL(WINAPI*)(void)>(reinterpret_cast<void*>(GetProcAddress(dll, "EndReconvertEdit")));
    if (!init || !end) {
        report.Add(Status::Fail, "RODAVOZI.DLL lacks InitReconvertEdit or EndReconvertEdit");
        return finish(kCouldNotRun);
    }
    bool installed = false;
    if (HostRunning(OwnArch())) {
        report.Add(Status::Fact, "hook: the running reconvhost's (" + ToUtf8(OwnArch()) + ")");
    } else if (init(0)) {
        installed = true;
        report.Add(Status::Fact, "hook: installed by rodacheck for the check, removed at its end");
    } else {
        report.Add(Status::Fail, Format("InitReconvertEdit could not install the hook (error %lu)", GetLastError()));
        return finish(kCouldNotRun);
    }
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    DWORD childExit = 0;
    bool ran = RunChild(&report, &childExit);
    if (installed) end();
    if (!ran) {
        report.Add(Status::Fail, Format("the check process cannot be started (error %lu)", GetLastError()));
        return finish(kCouldNotRun);
    }
    if (childExit == kChildNoWindows) return finish(kCouldNotRun);
    return finish(report.failed ? kSomeFailed : kAllPassed);
}

}  // namespace

}  // namespace rodacheck

int wmain(int argc, wchar_t** argv) {
    using namespace rodacheck;
    std::wstring outPath;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--child" && argc == 2) return ChildMain();
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

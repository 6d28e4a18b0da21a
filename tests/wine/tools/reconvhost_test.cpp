// The resident host as a separate process: it installs the hook of the same
// RODAVOZI.DLL that this test has loaded, so the hook handle in the shared
// record tells whether the hook is in place.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "reconvhost_ids.h"
#include "support/loaded_dll.h"
#include "support/processes.h"

namespace {

const DWORD kTimeoutMs = 15000;

std::wstring Host() { return TestFolder() + L"reconvhost.exe"; }

HHOOK HookHandle() { return Shared()->HookHandle; }

// A size query to a new edit window of this process: 160 when the host's hook
// subclassed it and the DLL answered, 0 when nothing did.
LRESULT SizeQueryToANewEditWindow() {
    HWND edit = CreateWindowA("Edit", "", WS_OVERLAPPED, 0, 0, 50, 20, nullptr, nullptr, GetModuleHandleA(nullptr),
                              nullptr);
    LRESULT answer = SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0);
    DestroyWindow(edit);
    return answer;
}

class ResidentHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Shared(), nullptr) << "RODAVOZI.DLL next to the test";
        ASSERT_EQ(FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr), nullptr) << "a host is already running";
        ASSERT_EQ(HookHandle(), nullptr) << "a hook is left over";
    }

    void TearDown() override {
        if (host_.Running()) RunToExit(Host(), L"--stop --quiet", kTimeoutMs);
        host_.Kill();
        // A host that had to be killed took its hook with it, but left the
        // shared copy of the handle: do not let it reach the next test.
        if (HookHandle() != nullptr) Shared()->HookHandle = nullptr;
    }

    // Starts the host and waits until its hook is in and its window is up.
    void StartHost() {
        ASSERT_TRUE(host_.Start(Host(), L"--quiet"));
        ASSERT_TRUE(WaitUntil([] { return HookHandle() != nullptr; }, kTimeoutMs)) << "no hook installed";
        window_ = FindProcessWindow(host_.Id(), RECONVHOST_WINDOW_CLASS, kTimeoutMs);
        ASSERT_NE(window_, nullptr);
    }

    void ExpectHostEnded() {
        DWORD code = 99;
        EXPECT_TRUE(host_.WaitExit(kTimeoutMs, &code)) << "the host still runs";
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(HookHandle(), nullptr) << "EndReconvertEdit was not called";
    }

    ChildProcess host_;
    HWND window_ = nullptr;
};

TEST_F(ResidentHost, KeepsTheHookUntilStopped) {
    StartHost();
    EXPECT_NE(HookHandle(), nullptr);
    EXPECT_EQ(SizeQueryToANewEditWindow(), 160) << "the host's hook serves this process";
    // --stop finds the host only while it still runs, and answers 6 when not.
    EXPECT_EQ(RunToExit(Host(), L"--stop --quiet", kTimeoutMs), 0) << "the host did not stay until stopped";
    // --stop returns only once the host has gone.
    EXPECT_FALSE(host_.Running());
    ExpectHostEnded();
    EXPECT_EQ(SizeQueryToANewEditWindow(), 0) << "no hook, no answer";
}

TEST_F(ResidentHost, ASecondHostIsRefusedAndLeavesTheFirstHookAlone) {
    StartHost();
    HHOOK first = HookHandle();
    std::string errors;
    EXPECT_EQ(RunToExit(Host(), L"--quiet", kTimeoutMs, &errors), 5);  // already running
    EXPECT_NE(errors.find("already running"), std::string::npos) << errors;
    EXPECT_EQ(HookHandle(), first);
    EXPECT_TRUE(host_.Running());
}

TEST_F(ResidentHost, ExitInTheIconMenuRemovesTheHook) {
    StartHost();
    PostMessageW(window_, WM_COMMAND, RECONVHOST_CMD_EXIT, 0);
    ExpectHostEnded();
}

TEST_F(ResidentHost, EndOfSessionRemovesTheHookBeforeTheHostReturns) {
    StartHost();
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(window_, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result));
    EXPECT_EQ(result, TRUE);  // does not hold the session up
    ASSERT_TRUE(SendMessageTimeoutW(window_, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &result));
    // The system may end the process as soon as WM_ENDSESSION returns.
    EXPECT_EQ(HookHandle(), nullptr);
    ExpectHostEnded();
}

TEST_F(ResidentHost, StopWithNoHostRunningSaysSo) {
    std::string errors;
    EXPECT_EQ(RunToExit(Host(), L"--stop --quiet", kTimeoutMs, &errors), 6);
    EXPECT_NE(errors.find("no reconversion host"), std::string::npos) << errors;
}

TEST_F(ResidentHost, BadCommandLineEndsAtOnceEvenBeforeQuiet) {
    std::string errors;
    EXPECT_EQ(RunToExit(Host(), L"--bogus --quiet", kTimeoutMs, &errors), 1);
    EXPECT_NE(errors.find("Usage"), std::string::npos) << errors;
    EXPECT_EQ(FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr), nullptr);
}

// A host copied into a folder of its own, with `dll` (from the test folder)
// as its RODAVOZI.DLL, or none.
long RunHostBeside(const wchar_t* dll, std::string* errors) {
    std::wstring folder = FreshFolder(L"reconvhost");
    CopyFileW(Host().c_str(), (folder + L"reconvhost.exe").c_str(), FALSE);
    if (dll) CopyFileW((TestFolder() + dll).c_str(), (folder + L"RODAVOZI.DLL").c_str(), FALSE);
    long code = RunToExit(folder + L"reconvhost.exe", L"--quiet", kTimeoutMs, errors);
    RemoveFolder(folder);
    return code;
}

TEST_F(ResidentHost, StartFailuresAreReportedWithTheirOwnCodes) {
    std::string errors;
    EXPECT_EQ(RunHostBeside(nullptr, &errors), 2);
    EXPECT_NE(errors.find("RODAVOZI.DLL"), std::string::npos) << errors;
    EXPECT_EQ(RunHostBeside(L"exportless.dll", &errors), 3);
    EXPECT_NE(errors.find("does not export InitReconvertEdit"), std::string::npos) << errors;
    EXPECT_EQ(RunHostBeside(L"refusing_rodavozi.dll", &errors), 4);
    EXPECT_NE(errors.find("could not install the hook"), std::string::npos) << errors;
    // None of them stays behind or keeps the session's host slot.
    EXPECT_EQ(FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr), nullptr);
    StartHost();
}

// --focus: the host hooks a thread once one of its edit controls has the
// focus, and only that thread. Its lines on standard output tell when.
class FocusHost : public ResidentHost {
protected:
    void SetUp() override {
        ResidentHost::SetUp();
        if (HasFatalFailure()) return;
        folder_ = FreshFolder(L"focus");
        ASSERT_TRUE(host_.Start(Host(), L"--focus --quiet", folder_ + L"out.txt"));
        ASSERT_NE(FindProcessWindow(host_.Id(), RECONVHOST_WINDOW_CLASS, kTimeoutMs), nullptr);
    }
    void TearDown() override {
        ResidentHost::TearDown();
        RemoveFolder(folder_);
    }
    bool Said(const std::string& words) {
        return WaitUntil([&] { return ReadBytes(folder_ + L"out.txt").find(words) != std::string::npos; }, kTimeoutMs);
    }
    static std::string Thread(DWORD id) { return "thread " + std::to_string(id) + " of "; }
    std::wstring folder_;
};

// A top-level edit control of the calling thread, focused.
HWND FocusedEditor() {
    HWND edit = CreateWindowA("Edit", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 40, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(edit);
    SetFocus(edit);
    return edit;
}

DWORD WINAPI AskUnfocused(LPVOID answer) {
    *static_cast<LRESULT*>(answer) = SizeQueryToANewEditWindow();
    return 0;
}

TEST_F(FocusHost, ServesTheKeyPressAfterTheFocusInThatThreadOnlyUntilItEnds) {
    HWND edit = FocusedEditor();
    ASSERT_TRUE(Said("hooked " + Thread(GetCurrentThreadId()))) << ReadBytes(folder_ + L"out.txt");
    // The IME asks once a key has been taken from the queue.
    PostMessageA(edit, WM_KEYDOWN, VK_SHIFT, 0);
    PumpMessages();
    EXPECT_EQ(SendMessageA(edit, WM_IME_REQUEST, IMR_RECONVERTSTRING, 0), 160);
    LRESULT other = -1;
    HANDLE thread = CreateThread(nullptr, 0, AskUnfocused, &other, 0, nullptr);
    WaitForSingleObject(thread, kTimeoutMs);
    CloseHandle(thread);
    EXPECT_EQ(other, 0) << "a thread without a focused edit control is hooked";
    EXPECT_EQ(HookHandle(), nullptr) << "a desktop-wide hook";

    EXPECT_EQ(RunToExit(Host(), L"--stop --quiet", kTimeoutMs), 0);
    ExpectHostEnded();
    PumpMessages();
    EXPECT_EQ(SizeQueryToANewEditWindow(), 0) << "the host left this thread hooked";
    DestroyWindow(edit);
}

DWORD WINAPI FocusAndEnd(LPVOID end) {
    HWND edit = FocusedEditor();
    WaitForSingleObject(end, kTimeoutMs);
    DestroyWindow(edit);
    return 0;
}

TEST_F(FocusHost, LetsGoOfAThreadThatEnded) {
    DWORD id = 0;
    HANDLE end = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, FocusAndEnd, end, 0, &id);
    EXPECT_TRUE(Said("hooked " + Thread(id)));
    SetEvent(end);
    WaitForSingleObject(thread, kTimeoutMs);
    CloseHandle(end);
    CloseHandle(thread);
    EXPECT_TRUE(Said("unhooked " + Thread(id))) << ReadBytes(folder_ + L"out.txt");
}

}  // namespace

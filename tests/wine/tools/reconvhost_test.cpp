// The resident host as a separate process: it installs the hook of the same
// RODAVOZI.DLL that this test has loaded, so the hook handle in the shared
// record tells whether the hook is in place.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "reconvhost_ids.h"
#include "support/loaded_dll.h"
#include "support/processes.h"

namespace {

const DWORD kTimeoutMs = 15000;

std::wstring Host() { return TestFolder() + L"reconvhost.exe"; }

bool JapaneseUser() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }

// The host's words in this user's language, as its standard error holds them.
std::string Says(const wchar_t* english, const wchar_t* japanese) {
    char bytes[512];
    int size = WideCharToMultiByte(CP_ACP, 0, JapaneseUser() ? japanese : english, -1, bytes, 512, nullptr, nullptr);
    return std::string(bytes, size > 0 ? size - 1 : 0);
}

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

    // Starts a desktop-wide host and waits until its hook and window are up.
    void StartHost() {
        ASSERT_TRUE(host_.Start(Host(), L"--desktop-wide --no-companion --quiet"));
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
    EXPECT_NE(errors.find(Says(L"already running", L"すでに実行されています")), std::string::npos) << errors;
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
    EXPECT_NE(errors.find(Says(L"no reconversion host", L"実行されていません")), std::string::npos) << errors;
}

TEST_F(ResidentHost, BadCommandLineEndsAtOnceEvenBeforeQuiet) {
    std::string errors;
    EXPECT_EQ(RunToExit(Host(), L"--bogus --quiet", kTimeoutMs, &errors), 1);
    EXPECT_NE(errors.find(Says(L"Usage", L"使い方")), std::string::npos) << errors;
    EXPECT_EQ(FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr), nullptr);
}

// A host copied into a folder of its own, with `dll` (from the test folder)
// as its RODAVOZI.DLL, or none.
long RunHostBeside(const wchar_t* dll, std::string* errors) {
    std::wstring folder = FreshFolder(L"reconvhost");
    CopyFileW(Host().c_str(), (folder + L"reconvhost.exe").c_str(), FALSE);
    if (dll) CopyFileW((TestFolder() + dll).c_str(), (folder + L"RODAVOZI.DLL").c_str(), FALSE);
    long code = RunToExit(folder + L"reconvhost.exe", L"--desktop-wide --no-companion --quiet", kTimeoutMs, errors);
    RemoveFolder(folder);
    return code;
}

TEST_F(ResidentHost, StartFailuresAreReportedWithTheirOwnCodes) {
    std::string errors;
    EXPECT_EQ(RunHostBeside(nullptr, &errors), 2);
    EXPECT_NE(errors.find("RODAVOZI.DLL"), std::string::npos) << errors;
    EXPECT_EQ(RunHostBeside(L"exportless.dll", &errors), 3);
    EXPECT_NE(errors.find(Says(L"does not export InitReconvertEdit", L"エクスポートしていません")), std::string::npos) << errors;
    EXPECT_EQ(RunHostBeside(L"refusing_rodavozi.dll", &errors), 4);
    EXPECT_NE(errors.find(Says(L"could not install the hook", L"フックをかけられません")), std::string::npos) << errors;
    // None of them stays behind or keeps the session's host slot.
    EXPECT_EQ(FindWindowW(RECONVHOST_WINDOW_CLASS, nullptr), nullptr);
    StartHost();
}

// The host's default: it hooks a thread once one of its edit controls has
// the focus, and only that thread. Its lines on standard output tell when.
class FocusHost : public ResidentHost {
protected:
    void SetUp() override {
        ResidentHost::SetUp();
        if (HasFatalFailure()) return;
        folder_ = FreshFolder(L"focus");
        ASSERT_TRUE(host_.Start(Host(), L"--quiet " + options_, folder_ + L"out.txt", folder_ + L"errors.txt"));
        ASSERT_NE(window_ = FindProcessWindow(host_.Id(), RECONVHOST_WINDOW_CLASS, kTimeoutMs), nullptr);
    }
    void TearDown() override {
        ResidentHost::TearDown();
        RemoveFolder(folder_);
    }
    bool Said(const std::string& words, const wchar_t* file = L"out.txt") {
        return WaitUntil([&] { return ReadBytes(folder_ + file).find(words) != std::string::npos; }, kTimeoutMs);
    }
    static std::string Thread(DWORD id) { return "thread " + std::to_string(id) + " of "; }
    std::wstring folder_;
    std::wstring options_;
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

std::wstring RunValue() {
    wchar_t value[1024] = L"";
    DWORD size = sizeof value;
    RegGetValueW(HKEY_CURRENT_USER, RECONVHOST_RUN_KEY, RECONVHOST_RUN_VALUE, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

TEST_F(FocusHost, StartAtSignInWritesAndRemovesItsRunValue) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, RECONVHOST_RUN_KEY, RECONVHOST_RUN_VALUE);
    PostMessageW(window_, WM_COMMAND, RECONVHOST_CMD_SIGN_IN, 0);
    EXPECT_TRUE(WaitUntil([] { return RunValue() == L"\"" + Host() + L"\" --quiet"; }, kTimeoutMs)) << RunValue();
    PostMessageW(window_, WM_COMMAND, RECONVHOST_CMD_SIGN_IN, 0);
    EXPECT_TRUE(WaitUntil([] { return RunValue().empty(); }, kTimeoutMs)) << RunValue();
}

// The icon's menu as the host would show it, its items one a line.
std::wstring g_menu;
LRESULT CALLBACK TakeMenuText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    auto* data = reinterpret_cast<COPYDATASTRUCT*>(lParam);
    g_menu.assign(static_cast<wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
    return TRUE;
}
std::wstring MenuText(HWND host) {
    WNDCLASSW receiver = {};
    receiver.lpfnWndProc = TakeMenuText;
    receiver.lpszClassName = L"MenuTextReceiver";
    RegisterClassW(&receiver);
    HWND window = CreateWindowW(L"MenuTextReceiver", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    g_menu.clear();
    // The host's reply gives up on a thread that has not looked at its queue
    // for seconds (SMTO_ABORTIFHUNG): this one has been waiting on processes.
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    SendMessageW(host, RECONVHOST_MENU_TEXT_MESSAGE, reinterpret_cast<WPARAM>(window), 0);
    DestroyWindow(window);
    return g_menu;
}

TEST_F(FocusHost, TheMenuSaysWhatTheHostDoesInTheUsersLanguage) {
    std::wstring menu = MenuText(window_);
    const wchar_t* english[] = {L"Mode: focus-scoped", L"Hooked threads: 0", L"&Start at sign-in", L"E&xit"};
    const wchar_t* japanese[] = {L"方式: フォーカス方式", L"フック中のスレッド: 0", L"サインイン時に起動(&S)", L"終了(&X)"};
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(menu.find(JapaneseUser() ? japanese[i] : english[i]), std::wstring::npos) << i << ": " << menu.size();
}

#ifdef _WIN64
// The companion (a stand-in: any program serves) is started again and ended.
class CompanionHost : public FocusHost {
protected:
    CompanionHost() { options_ = L"--companion \"" + TestFolder() + L"stand_in_companion.exe\""; }
    std::vector<DWORD> Companions() {
        std::vector<DWORD> ids;
        std::string out = ReadBytes(folder_ + L"out.txt");
        for (size_t at = 0; (at = out.find("stand_in_companion.exe (process ", at)) != std::string::npos; ++at)
            ids.push_back(strtoul(out.c_str() + at + 32, nullptr, 10));
        return ids;
    }
};

TEST_F(CompanionHost, IsStartedAgainWhenKilledAndEndsWithTheHost) {
    ASSERT_TRUE(WaitUntil([&] { return Companions().size() == 1; }, kTimeoutMs));
    HANDLE first = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, Companions()[0]);
    TerminateProcess(first, 9);
    CloseHandle(first);
    ASSERT_TRUE(WaitUntil([&] { return Companions().size() == 2; }, kTimeoutMs)) << ReadBytes(folder_ + L"out.txt");
    EXPECT_TRUE(Said(Says(L"(1 of 3)", L"(1/3"), L"errors.txt"));
    HANDLE second = OpenProcess(SYNCHRONIZE, FALSE, Companions()[1]);
    EXPECT_EQ(RunToExit(Host(), L"--stop --quiet", kTimeoutMs), 0);
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0) << "the companion outlived --stop";
    CloseHandle(second);
}

TEST_F(FocusHost, AMissingCompanionIsNamedAndTheHostServesOn) {  // none in the test's folder tree
    EXPECT_TRUE(Said(Says(L"cannot start the 32-bit host", L"32 ビット版のホスト"), L"errors.txt"));
    EXPECT_TRUE(host_.Running());
}
#endif

}  // namespace

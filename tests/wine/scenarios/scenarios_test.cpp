// The host of the real-IME scenarios: this process creates the trace viewer
// window, loads RODAVOZI.DLL and installs its hook, then runs the scenario
// peer (which never loads the DLL itself) and dispatches messages while it
// waits, so that the trace lines the DLL sends from the peer's processes
// arrive. The peer's table is printed and kept in scenario-table.txt next to
// the test programs. Under 1252 with the Japanese input language the peer runs
// its Unicode EDIT rows only, each to read as its row under 932 there.
// RODAVOZI_SCENARIOS_ONLY=SUBSTRING runs only the rows whose scenario names
// hold it (the peer's --only), as the fault stage does.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

struct PeerRun {
    bool started = false, finished = false;
    DWORD exitCode = 0;
    std::vector<std::string> lines;
};

PeerRun RunPeer(const std::wstring& arguments) {
    PeerRun run;
    const std::wstring folder = FreshFolder(L"scenarios"), output = folder + L"table.txt";
    ChildProcess peer;
    run.started = peer.Start(TestFolder() + L"scenario_peer.exe", arguments, output);
    run.finished = run.started && peer.WaitExit(240000, &run.exitCode, true);
    peer.Kill();
    const std::string text = ReadBytes(output);
    RemoveFolder(folder);
    for (size_t from = 0, at; from < text.size(); from = at + 1) {
        if ((at = text.find('\n', from)) == std::string::npos) at = text.size();
        std::string line = text.substr(from, at - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        run.lines.push_back(line);
    }
    return run;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

class Scenarios : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CreateTraceWindow();  // before the DLL attaches anywhere, so that every process finds it
        ASSERT_NE(Dll().module, nullptr);
        ASSERT_EQ(Dll().InitReconvertEdit(0), 1);
    }
    static void TearDownTestSuite() { Dll().EndReconvertEdit(); }
};

TEST_F(Scenarios, EveryScenarioUnderEveryRequestPattern) {
    const char* only = getenv("RODAVOZI_SCENARIOS_ONLY");
    const bool some = only != nullptr && *only != 0, japanese = GetACP() == 932;
    std::wstring args = japanese ? L"" : L"--unicode";
    if (some) args += L" --only \"" + std::wstring(only, only + strlen(only)) + L"\"";
    PeerRun run = RunPeer(args);
    ASSERT_TRUE(run.started) << "cannot start scenario_peer.exe";
    std::string table;
    for (const std::string& line : run.lines) table += line + "\n";
    fwrite(table.data(), 1, table.size(), stdout);
    fflush(stdout);
    const std::wstring tableName = japanese ? L"scenario-table.txt" : L"scenario-table-cp1252.txt";
    const std::string under932 = japanese ? table : ReadBytes(TestFolder() + L"scenario-table.txt");
    EXPECT_TRUE(japanese || LOWORD(GetKeyboardLayout(0)) == 0x411) << "the input language is not Japanese";
    if (FILE* f = _wfopen((TestFolder() + tableName).c_str(), L"wb")) {
        fwrite(table.data(), 1, table.size(), f);
        fclose(f);
    }
    EXPECT_TRUE(run.finished) << "the peer did not finish in time";
    EXPECT_EQ(run.exitCode, 0u) << "the peer exited with " << run.exitCode;

    int rows = 0, failed = 0, planned = -1;
    bool summary = false;
    for (const std::string& line : run.lines) {
        if (StartsWith(line, "summary:")) summary = true;
        if (StartsWith(line, "rows planned: ")) planned = atoi(line.c_str() + 14);
        if (line.find(" | ") == std::string::npos || StartsWith(line, "verdict")) continue;
        ++rows;
        EXPECT_NE(under932.find("\n" + line + "\n"), std::string::npos) << "not so under 932: " << line;
        if (StartsWith(line, "FAIL")) {
            ++failed;
            ADD_FAILURE() << line;
        }
    }
    EXPECT_TRUE(summary) << "the peer's table is incomplete (it stopped after " << rows << " rows)";
    EXPECT_GT(planned, 0) << "the peer did not declare its table";
    EXPECT_EQ(rows, planned) << "rows in the table against the rows the peer planned";
    EXPECT_EQ(failed, 0);

    if (some) return;  // the trace counts below are the whole table's
    // The requests reached the DLL through the hook in the peer's process,
    // not through anything the editors answer themselves, and their trace
    // lines reached this process's viewer.
    int subclassed = 0, fills = 0, selections = 0, confirmations = 0, destroyed = 0;
    for (const std::string& text : TraceTexts()) {
        if (StartsWith(text, "subclass ")) ++subclassed;
        if (StartsWith(text, "offset=")) ++fills;
        if (StartsWith(text, "str=[")) ++selections;
        if (StartsWith(text, "confirm ")) ++confirmations;
        if (StartsWith(text, "destory ")) ++destroyed;
    }
    EXPECT_GT(subclassed, 0);
    EXPECT_GT(fills, 50);
    EXPECT_GT(selections, 0);
    EXPECT_GT(confirmations, 0);
    // The Unicode rows alone (the run under 1252) destroy no window that is
    // still subclassed.
    if (japanese) {
        EXPECT_GT(destroyed, 0);
    }
    EXPECT_EQ(Shared()->SubclassedWindow, nullptr) << "the peer's windows were forgotten when destroyed";
    printf("trace lines from the peer processes: %zu (%d subclassed, %d records filled)\n", TraceLines().size(),
           subclassed, fills);
}

}  // namespace

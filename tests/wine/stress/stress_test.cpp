// The stress run across processes. This process is the host: it loads the
// DLL, installs the hook and drives two peer processes (stress_peer.exe A and
// B, which never load the DLL) through their driver windows. The schedule is
// a function of one seed: requests alternate between the peers, so the one
// subclass record of the system moves back and forth, and focus losses,
// status-window closes and editor re-creations come in between.
//
// After every command the host compares the shared record, and each peer's
// set of subclassed editors, with a model of what the hook and the subclass
// procedure must have done; the peers check every record and every text.
//
// A third peer (W) is a hostile writer: before about one request in ten it
// writes random values into random fields of the module's shared section.
// No process may trust those: requests go on being served exactly, and the
// shared record is compared with the model again once a subclassing has
// rewritten it. The garbage written into the text buffer is wiped after the
// command that ran over it, so that text the module itself left there is
// still caught.
//
// Environment:
//   RODAVOZI_STRESS_SEED      the schedule's seed (default 0x5EED0001; decimal or 0x...)
//   RODAVOZI_STRESS_REQUESTS  requests in the run (default 10000)
//   RODAVOZI_STRESS_TRACE     1: a trace viewer in this process; the trace of
//                             a command that fails is printed (several times slower)
// ctest bounds the run's time (tests/wine/stress/CMakeLists.txt).
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "common/test_text.h"
#include "stress_protocol.h"
#include "support/loaded_dll.h"
#include "support/processes.h"
#include "support/trace_window.h"

namespace {

const DWORD kCommandTimeoutMs = 30000;
// The run stays bounded: past this, the schedule stops and the test fails, so
// a slow machine never quietly tests less.
const int kPhase = 1000;         // requests between round-trip checks of every editor
const int kMaxReports = 30;

// Relative weights of the request kinds, in RequestKind order.
const uint32_t kKindWeights[KIND_COUNT] = {8, 6, 6, 14, 14, 10, 8, 8, 8, 8, 4, 3, 2, 1};

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* text = getenv(name);
    if (text == nullptr || *text == 0) return fallback;
    return strtoull(text, nullptr, 0);
}

bool TextBufferClear() {
    volatile SharedView* shared = Shared();
    for (size_t i = 0; i < sizeof shared->TextBuffer; ++i)
        if (shared->TextBuffer[i] != 0) return false;
    return true;
}

struct Peer {
    char name = '?';
    ChildProcess process;
    HWND driver = nullptr;
    HWND editors[STRESS_SLOTS] = {};
    HWND frames[STRESS_FRAMES] = {};
    int subclassed = -1;  // the model: the slot whose editor runs the subclass procedure, or -1
    int Mask() const { return subclassed < 0 ? 0 : 1 << subclassed; }
};

struct Counts {
    int requests = 0;
    int byKind[KIND_COUNT] = {};
    int filled = 0, replaced = 0, refused = 0;
    int taken = 0, movedAcross = 0, movedWithin = 0;  // the record naming another editor
    int killFocusSent = 0, killFocusReleased = 0, killFocusGaveBack = 0;
    int closeSent = 0, closeReleased = 0;
    int recreated = 0, forgotten = 0, forgottenLocal = 0;
    int checkRounds = 0;
    int scribbles = 0, scribbledFields[6] = {};
    int peerFailures = 0, hostFailures = 0;
};

class StressRun {
public:
    StressRun(uint64_t seed, int requests, bool trace) : random_(seed), seed_(seed), total_(requests), trace_(trace) {}

    bool Start() {
        // The shared section lives as long as any process of the desktop maps
        // the DLL, so an earlier program may have left a window in the record;
        // the first request takes it over. Text must never be there.
        volatile SharedView* shared = Shared();
        leftover_ = shared->SubclassedWindow;
        if (leftover_ != nullptr)
            printf("stress: the record names window %s from an earlier program\n", Hex(leftover_).c_str());
        if (!TextBufferClear()) Fail("text in the shared section's TextBuffer before the run");
        for (int i = 0; i < 2; ++i) {
            peers_[i].name = static_cast<char>('A' + i);
            if (!StartPeer(&peers_[i])) return false;
        }
        writer_.name = 'W';
        return StartPeer(&writer_);
    }

    void Run() {
        DWORD started = GetTickCount();
        while (counts_.requests < total_ && !fatal_) {
            uint32_t roll = random_.Below(100);
            if (roll < 11) {
                int p, slot;
                PickTarget(&p, &slot);
                Perturb(roll < 6 ? PERTURB_KILLFOCUS : roll < 9 ? PERTURB_CLOSE_STATUS : PERTURB_RECREATE, p, slot);
                if (fatal_) break;
            }
            if (random_.Percent(10)) Scribble();
            if (fatal_) break;
            int slot = static_cast<int>(random_.Below(STRESS_SLOTS));
            Request(counts_.requests % 2, slot, PickKind());
            if (textScribbled_) WipeTextBuffer();
            ++counts_.requests;
            if (counts_.requests % kPhase == 0 || counts_.requests == total_) CheckEditors();
        }
        elapsedMs_ = GetTickCount() - started;
    }

    // Peer B ends while its editor holds the record, without destroying a
    // window, as a program may; peer A's next request takes the record over.
    // Then A destroys its windows and exits; nothing may be left.
    void Finish() {
        if (!fatal_) {
            Peer& b = peers_[1];
            if (b.subclassed >= 0) Perturb(PERTURB_KILLFOCUS, 1, b.subclassed);
            if (!fatal_) Request(1, 0, KIND_IMM_CARET);
            if (!fatal_) {
                HWND held = Expected();
                Send(b, CMD_LEAVE, 0, 0, "leave");
                Reap(&b);
                volatile SharedView* shared = Shared();
                leaveNote_ = std::string(shared->SubclassedWindow == held ? "still named its editor"
                                         : shared->SubclassedWindow == nullptr ? "was emptied"
                                                                               : "named another window") +
                             (IsWindow(held) ? " (the editor still exists)" : " (the editor is gone)");
                // Whatever became of it, nothing of B is recorded any more.
                leftover_ = shared->SubclassedWindow;
                recordPeer_ = -1;
                b.subclassed = -1;
            }
            Peer& a = peers_[0];
            if (!fatal_) Request(0, (a.subclassed + 1) % STRESS_SLOTS, KIND_WIDEN_CARET);
        }
        for (Peer* peer : {&peers_[0], &peers_[1], &writer_}) {
            if (peer->process.Handle() == nullptr) continue;
            if (peer->driver) Send(*peer, CMD_QUIT, 0, 0, "quit");
            Reap(peer);
        }
        volatile SharedView* shared = Shared();
        if (shared->SubclassedWindow != nullptr || shared->lpfnoldedit != nullptr || shared->SubclassedUnicode != 0)
            Fail("with every window gone the shared record still holds window " + Hex(shared->SubclassedWindow) +
                 ", procedure " + Hex(shared->lpfnoldedit));
        if (!TextBufferClear()) Fail("text left in the shared section's TextBuffer at the end");
    }

    void Print() const {
        const Counts& c = counts_;
        int all = 0;
        for (int n : c.byKind) all += n;
        printf("stress: seed 0x%llx, %d requests of %d scheduled (%d more as the peers end), two peers with %d "
               "editors each, trace %s\n",
               static_cast<unsigned long long>(seed_), c.requests, total_, all - c.requests, STRESS_SLOTS,
               trace_ ? "on" : "off");
        printf("  requests by kind:\n");
        for (int k = 0; k < KIND_COUNT; ++k) printf("    %-34s %6d\n", kKindNames[k], c.byKind[k]);
        printf("  outcomes: %d records filled, %d results put in by a confirmed reconversion, %d refused\n",
               c.filled, c.replaced, c.refused);
        printf("  record: taken by an editor %d times; moved between the processes %d times, between editors "
               "of one process %d times\n",
               c.taken, c.movedAcross, c.movedWithin);
        printf("  focus loss: %d WM_KILLFOCUS, %d released the recorded editor, %d gave back an editor the record "
               "had left\n",
               c.killFocusSent, c.killFocusReleased, c.killFocusGaveBack);
        printf("  status window: %d IMN_CLOSESTATUSWINDOW, %d released a subclassed editor\n", c.closeSent,
               c.closeReleased);
        printf("  destruction: %d editors re-created, %d of them recorded (forgotten), %d more running the "
               "subclass procedure\n",
               c.recreated, c.forgotten, c.forgottenLocal);
        printf("  editor round trips: %d rounds of %d editors\n", c.checkRounds, 2 * STRESS_SLOTS);
        printf("  hostile writer: %d scribbles; fields written: hook %d, message numbers %d, text buffer %d, "
               "window %d, procedure %d, Unicode flag %d\n",
               c.scribbles, c.scribbledFields[0], c.scribbledFields[1], c.scribbledFields[2], c.scribbledFields[3],
               c.scribbledFields[4], c.scribbledFields[5]);
        if (!leaveNote_.empty())
            printf("  peer B ended without destroying its windows while recorded: the record %s; peer A's next "
                   "request took it over\n",
                   leaveNote_.c_str());
        printf("  failures: %d in the peers, %d in the host\n", c.peerFailures, c.hostFailures);
        printf("  time: %.1f s, %.0f requests/s\n", elapsedMs_ / 1000.0,
               elapsedMs_ ? c.requests * 1000.0 / elapsedMs_ : 0.0);
        fflush(stdout);
    }

    int Failures() const { return counts_.peerFailures + counts_.hostFailures; }
    int Requests() const { return counts_.requests; }

private:
    void Reap(Peer* peer) {
        DWORD code = 99;
        if (!peer->process.WaitExit(30000, &code, true)) Fail(std::string("peer ") + peer->name + " did not exit");
        else if (code != 0) Fail(std::string("peer ") + peer->name + " exited with " + std::to_string(code));
        peer->process.Kill();
        peer->driver = nullptr;
    }

    bool StartPeer(Peer* peer) {
        char title[64], ready[80];
        StressDriverTitle(title, GetCurrentProcessId(), peer->name);
        wsprintfA(ready, "%s-ready", title);
        HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready);
        const std::wstring arguments =
            std::wstring(1, wchar_t(peer->name)) + L" " + std::to_wstring(GetCurrentProcessId());
        if (!peer->process.Start(TestFolder() + L"stress_peer.exe", arguments)) {
            Fail(std::string("cannot start stress_peer.exe ") + peer->name);
            return false;
        }
        const HANDLE both[2] = {readyEvent, peer->process.Handle()};
        bool up = WaitPumping(2, both, 30000) == 0;
        CloseHandle(readyEvent);
        if (!up) {
            Fail(std::string("peer ") + peer->name + " did not come up");
            return false;
        }
        peer->driver = FindWindowA(STRESS_DRIVER_CLASS, title);
        if (!peer->driver) {
            Fail(std::string("peer ") + peer->name + "'s driver window is not found");
            return false;
        }
        for (int slot = 0; slot < STRESS_SLOTS; ++slot)
            peer->editors[slot] = reinterpret_cast<HWND>(Send(*peer, CMD_EDITOR, slot, 0, "editor"));
        for (int frame = 0; frame < STRESS_FRAMES; ++frame)
            peer->frames[frame] = reinterpret_cast<HWND>(Send(*peer, CMD_FRAME, frame, 0, "frame"));
        return !fatal_;
    }

    void Fail(const std::string& what) {
        if (++counts_.hostFailures <= kMaxReports) {
            printf("host FAILED at request %d: %s\n", counts_.requests, what.c_str());
            if (trace_) {
                printf("  trace of the command:\n");
                for (const std::string& line : TraceTexts()) printf("    %s\n", line.c_str());
            }
            fflush(stdout);
        }
    }

    LRESULT Send(Peer& peer, UINT command, WPARAM wParam, LPARAM lParam, const std::string& what) {
        if (trace_) ClearTraceLines();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(peer.driver, command, wParam, lParam, SMTO_NORMAL, kCommandTimeoutMs, &result)) {
            DWORD code = STILL_ACTIVE;
            GetExitCodeProcess(peer.process.Handle(), &code);
            Fail(std::string("peer ") + peer.name + " did not answer " + what +
                 (code == STILL_ACTIVE ? " (hung)" : " (exited with " + Hex(code) + ")"));
            fatal_ = true;
            peer.driver = nullptr;
        }
        return static_cast<LRESULT>(result);
    }

    // The model's record against the shared one, and the model's subclassed
    // editor of `peer` against what the peer reports.
    void Compare(const Peer& peer, LRESULT status, const std::string& what) {
        counts_.peerFailures += StatusFailures(status);
        if (StatusSubclassed(status) != peer.Mask())
            Fail(what + ": peer " + peer.name + "'s editors running the subclass procedure: mask " +
                 std::to_string(StatusSubclassed(status)) + ", expected " + std::to_string(peer.Mask()));
        if (!sharedKnown_) return;
        volatile SharedView* shared = Shared();
        HWND expected = Expected();
        if (shared->SubclassedWindow != expected)
            Fail(what + ": the shared record names " + Hex(shared->SubclassedWindow) + ", expected " + Hex(expected));
        if ((shared->lpfnoldedit != nullptr) != (expected != nullptr))
            Fail(what + ": the shared record's previous procedure is " + Hex(shared->lpfnoldedit));
        if (shared->SubclassedUnicode != 0) Fail(what + ": the record calls an ANSI editor Unicode");
    }

    // The window the record must name.
    HWND Expected() const {
        return recordPeer_ < 0 ? leftover_ : peers_[recordPeer_].editors[peers_[recordPeer_].subclassed];
    }

    std::string Describe(const Peer& peer, const char* op, int slot, const char* part = "slot") const {
        return std::string(op) + " to peer " + peer.name + " " + part + " " + std::to_string(slot);
    }

    int PickKind() {
        uint32_t total = 0;
        for (uint32_t w : kKindWeights) total += w;
        uint32_t roll = random_.Below(total);
        for (int k = 0; k < KIND_COUNT; ++k) {
            if (roll < kKindWeights[k]) return k;
            roll -= kKindWeights[k];
        }
        return 0;
    }

    void Request(int p, int slot, int kind) {
        Peer& peer = peers_[p];
        uint32_t seed = static_cast<uint32_t>(random_.Next());
        ++counts_.byKind[kind];
        LRESULT status = Send(peer, CMD_REQUEST, static_cast<WPARAM>(slot | kind << 8), static_cast<LPARAM>(seed),
                              "a request");
        if (fatal_) return;
        int outcome = StatusOutcome(status);
        if (outcome & OUTCOME_FILLED) ++counts_.filled;
        if (outcome & OUTCOME_REPLACED) ++counts_.replaced;
        if (outcome & OUTCOME_REFUSED) ++counts_.refused;
        // The hook subclasses the editor unless it is the recorded one or
        // already runs the subclass procedure (which this process then keeps).
        bool recorded = recordPeer_ == p && peer.subclassed == slot;
        if (!recorded && peer.subclassed != slot) {
            if (recordPeer_ >= 0) ++(recordPeer_ == p ? counts_.movedWithin : counts_.movedAcross);
            ++counts_.taken;
            peer.subclassed = slot;
            recordPeer_ = p;
            leftover_ = nullptr;
            sharedKnown_ = true;  // the subclassing rewrote the whole record
        }
        char what[160];
        snprintf(what, sizeof what, "request %s (case %x) to peer %c slot %d", kKindNames[kind], seed, peer.name,
                 slot);
        Compare(peer, status, what);
    }

    // A peer and slot for a focus, status or destruction message: half the
    // time the recorded editor, else any.
    void PickTarget(int* p, int* slot) {
        if (recordPeer_ >= 0 && random_.Percent(50)) {
            *p = recordPeer_;
            *slot = peers_[recordPeer_].subclassed;
        } else {
            *p = static_cast<int>(random_.Below(2));
            *slot = static_cast<int>(random_.Below(STRESS_SLOTS));
        }
    }

    void ReleaseRecordIf(int p, int slot) {
        if (recordPeer_ == p && peers_[p].subclassed == slot) recordPeer_ = -1;
    }

    enum Perturbation { PERTURB_KILLFOCUS, PERTURB_CLOSE_STATUS, PERTURB_RECREATE };

    void Perturb(Perturbation what, int p, int slot) {
        Peer& peer = peers_[p];
        bool wasRecorded = recordPeer_ == p && peer.subclassed == slot;
        if (what == PERTURB_KILLFOCUS) {
            // Focus loss gives the editor its own procedure back.
            ++counts_.killFocusSent;
            LRESULT status = Send(peer, CMD_KILLFOCUS, slot, 0, "WM_KILLFOCUS");
            if (peer.subclassed == slot) {
                ++(wasRecorded ? counts_.killFocusReleased : counts_.killFocusGaveBack);
                ReleaseRecordIf(p, slot);
                peer.subclassed = -1;
            }
            if (!fatal_) Compare(peer, status, Describe(peer, "WM_KILLFOCUS", slot));
        } else if (what == PERTURB_CLOSE_STATUS) {
            // The IME closes its status window over the editor, its frame, or
            // another frame: only the first two release the recorded editor.
            ++counts_.closeSent;
            bool toFrame = random_.Percent(60);
            int frame = toFrame ? static_cast<int>(random_.Below(STRESS_FRAMES)) : -1;
            LRESULT status = toFrame ? Send(peer, CMD_CLOSE_STATUS_FRAME, frame, 0, "IMN_CLOSESTATUSWINDOW")
                                     : Send(peer, CMD_CLOSE_STATUS_EDITOR, slot, 0, "IMN_CLOSESTATUSWINDOW");
            // The peer releases its subclassed editor when the status window
            // closes over it, whether or not the shared record still names it.
            if (peer.subclassed >= 0) {
                int subclassed = peer.subclassed;
                bool over = toFrame ? StressFrameOf(subclassed) == frame : subclassed == slot;
                if (over) {
                    ++counts_.closeReleased;
                    ReleaseRecordIf(p, subclassed);
                    peer.subclassed = -1;
                }
            }
            if (!fatal_)
                Compare(peer, status,
                        toFrame ? Describe(peer, "IMN_CLOSESTATUSWINDOW", frame, "frame")
                                : Describe(peer, "IMN_CLOSESTATUSWINDOW", slot));
        } else {
            // Destroyed: forgotten, its procedure never given back; a new
            // editor takes the slot.
            ++counts_.recreated;
            LRESULT created = Send(peer, CMD_RECREATE, slot, 0, "re-creation");
            if (fatal_) return;
            peer.editors[slot] = reinterpret_cast<HWND>(created);
            if (!peer.editors[slot]) Fail(Describe(peer, "re-creation", slot) + ": no new editor");
            if (peer.subclassed == slot) {
                ++(wasRecorded ? counts_.forgotten : counts_.forgottenLocal);
                ReleaseRecordIf(p, slot);
                peer.subclassed = -1;
            }
            // The answer is a window, not a status: compare the record alone.
            Compare(peer, PackStatus(0, peer.Mask()), Describe(peer, "re-creation", slot));
        }
    }

    void CheckEditors() {
        ++counts_.checkRounds;
        for (Peer& peer : peers_) {
            LRESULT status = Send(peer, CMD_CHECK, 0, 0, "the editor round trips");
            if (fatal_) return;
            Compare(peer, status, std::string("editor round trips in peer ") + peer.name);
        }
        if (!TextBufferClear()) Fail("text in the shared section's TextBuffer");
    }

    // The writer peer scribbles over the shared section; until a subclassing
    // rewrites the record, the model cannot say what the record holds.
    void Scribble() {
        const Peer& victimPeer = peers_[random_.Below(2)];
        HWND victim = victimPeer.editors[random_.Below(STRESS_SLOTS)];
        uint32_t seed = static_cast<uint32_t>(random_.Next());
        LRESULT written = Send(writer_, CMD_SCRIBBLE, reinterpret_cast<WPARAM>(victim), static_cast<LPARAM>(seed),
                               "a scribble");
        if (fatal_) return;
        ++counts_.scribbles;
        for (int bit = 0; bit < 6; ++bit)
            if (written & (1 << bit)) ++counts_.scribbledFields[bit];
        if (written & (SCRIBBLE_WINDOW | SCRIBBLE_PROCEDURE | SCRIBBLE_UNICODE)) sharedKnown_ = false;
        if (written & SCRIBBLE_TEXT) textScribbled_ = true;
    }

    void WipeTextBuffer() {
        volatile SharedView* shared = Shared();
        for (size_t i = 0; i < sizeof shared->TextBuffer; ++i) shared->TextBuffer[i] = 0;
        textScribbled_ = false;
    }

    StressRandom random_;
    Peer writer_;
    bool sharedKnown_ = true;
    bool textScribbled_ = false;
    uint64_t seed_;
    int total_;
    bool trace_;
    bool fatal_ = false;
    Peer peers_[2];
    int recordPeer_ = -1;  // the model: the peer whose subclassed editor the record names, or -1
    HWND leftover_ = nullptr;  // with no peer's editor recorded: what the record still names
    Counts counts_;
    DWORD elapsedMs_ = 0;
    std::string leaveNote_;
};

TEST(Stress, RequestsAlternatingBetweenTwoProcesses) {
    const uint64_t seed = EnvNumber("RODAVOZI_STRESS_SEED", 0x5EED0001);
    const int requests = static_cast<int>(EnvNumber("RODAVOZI_STRESS_REQUESTS", 10000));
    const bool trace = EnvNumber("RODAVOZI_STRESS_TRACE", 0) != 0;
    printf("stress: seed 0x%llx (RODAVOZI_STRESS_SEED repeats a run)\n", static_cast<unsigned long long>(seed));
    fflush(stdout);
    // The viewer must exist before any process maps the DLL.
    if (trace) CreateTraceWindow();
    ASSERT_NE(Dll().module, nullptr);
    ASSERT_NE(Shared(), nullptr);
    ASSERT_EQ(Dll().InitReconvertEdit(0), 1);

    StressRun run(seed, requests, trace);
    if (run.Start()) run.Run();
    run.Finish();
    run.Print();
    EXPECT_EQ(run.Failures(), 0) << "see the FAILED lines above";
    EXPECT_EQ(run.Requests(), requests) << "the run did not make every request it planned";

    EXPECT_EQ(Dll().EndReconvertEdit(), TRUE);
    EXPECT_EQ(Shared()->HookHandle, nullptr);
}

}  // namespace

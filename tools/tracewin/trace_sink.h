// Where the viewer writes its lines (the log file, standard output): each
// destination has a thread of its own and a bounded queue, so that a write
// that blocks (a console in QuickEdit selection, a pipe nobody reads, a slow
// share) holds up neither the window nor the programs that send. While the
// queue is full, lines are dropped and counted; once a write goes through
// again, the count follows as "HH:MM:SS.mmm \[N lines not logged]".
#pragma once

#include <windows.h>

#include <deque>
#include <string>

struct TraceSink {
    struct Entry {
        std::string line;
        DWORD date;  // yyyymmdd, local
    };

    HANDLE handle = INVALID_HANDLE_VALUE;
    bool isLog = false;    // a log gets a header line at its start and when the date changes
    HANDLE thread = nullptr;
    HANDLE wake = nullptr;  // auto-reset: lines are waiting, or stop
    CRITICAL_SECTION lock;
    // Guarded by `lock`:
    std::deque<Entry> queue;
    size_t queuedBytes = 0;
    unsigned long dropped = 0;  // lines that found the queue full
    bool stop = false;
    bool gone = false;          // standard output whose reader has gone
};

// Takes over `handle` (INVALID_HANDLE_VALUE: a sink that takes nothing).
bool StartSink(TraceSink& sink, HANDLE handle, bool isLog);
// Queues one line; never waits for a write.
void PushToSink(TraceSink& sink, const std::string& line, DWORD date);
// Lets the thread write what is queued, for at most `timeoutMs`.
void StopSink(TraceSink& sink, DWORD timeoutMs);
// The date of `time` as yyyymmdd.
DWORD DateOf(const SYSTEMTIME& time);

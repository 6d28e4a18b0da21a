#include "trace_sink.h"

#include <stdio.h>

namespace {

// Bounds of one queue: a few seconds of the library's busiest tracing.
const size_t kQueueLines = 4096;
const size_t kQueueBytes = 1024 * 1024;

#ifdef _WIN64
const char kArch[] = "x64";
#else
const char kArch[] = "x86";
#endif

std::string Header(const char* why, DWORD date) {
    char text[160];
    snprintf(text, sizeof text,
             "-- %04lu-%02lu-%02lu %s: tracewin " RODAVOZI_VERSION " (%s), process %lu, code page %u\r\n",
             static_cast<unsigned long>(date / 10000), static_cast<unsigned long>(date / 100 % 100),
             static_cast<unsigned long>(date % 100), why, kArch, static_cast<unsigned long>(GetCurrentProcessId()),
             GetACP());
    return text;
}

std::string NotLogged(unsigned long count) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[80];
    snprintf(text, sizeof text, "%02u:%02u:%02u.%03u \\[%lu lines not logged]\r\n", now.wHour, now.wMinute,
             now.wSecond, now.wMilliseconds, count);
    return text;
}

bool WriteAll(HANDLE handle, const std::string& data) {
    DWORD written = 0;
    return WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
}

DWORD WINAPI SinkThread(void* parameter) {
    TraceSink& sink = *static_cast<TraceSink*>(parameter);
    SYSTEMTIME now;
    GetLocalTime(&now);
    DWORD lastDate = DateOf(now);
    unsigned long lost = 0;  // lines of writes that failed, not yet reported
    if (sink.isLog && !WriteAll(sink.handle, Header("log opened", lastDate))) lastDate = 0;
    for (;;) {
        WaitForSingleObject(sink.wake, INFINITE);
        std::deque<TraceSink::Entry> batch;
        EnterCriticalSection(&sink.lock);
        batch.swap(sink.queue);
        sink.queuedBytes = 0;
        unsigned long dropped = sink.dropped;
        sink.dropped = 0;
        bool stop = sink.stop;
        LeaveCriticalSection(&sink.lock);

        if (!batch.empty() || dropped != 0) {
            // One write per batch: the lines that waited, then the count of
            // those that found the queue full (they came after them).
            std::string data;
            if (lost != 0) data += NotLogged(lost);
            DWORD date = lastDate;
            for (const TraceSink::Entry& entry : batch) {
                if (sink.isLog && entry.date != date) data += Header(date ? "date changed" : "log opened", entry.date);
                date = entry.date;
                data += entry.line;
                data += "\r\n";
            }
            if (dropped != 0) data += NotLogged(dropped);
            if (WriteAll(sink.handle, data)) {
                lost = 0;
                lastDate = date;
            } else if (!sink.isLog) {
                // A standard output whose reader has gone stays gone.
                EnterCriticalSection(&sink.lock);
                sink.gone = true;
                sink.queue.clear();
                LeaveCriticalSection(&sink.lock);
                return 0;
            } else {
                // A full disk may recover: the next batch tries again.
                lost += static_cast<unsigned long>(batch.size()) + dropped;
            }
        }
        if (stop) return 0;
    }
}

}  // namespace

DWORD DateOf(const SYSTEMTIME& time) { return time.wYear * 10000u + time.wMonth * 100u + time.wDay; }

bool StartSink(TraceSink& sink, HANDLE handle, bool isLog) {
    InitializeCriticalSection(&sink.lock);
    sink.handle = handle;
    sink.isLog = isLog;
    if (handle == INVALID_HANDLE_VALUE) return true;
    sink.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    sink.thread = sink.wake ? CreateThread(nullptr, 0, SinkThread, &sink, 0, nullptr) : nullptr;
    if (sink.thread == nullptr) {
        sink.handle = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

void PushToSink(TraceSink& sink, const std::string& line, DWORD date) {
    if (sink.thread == nullptr) return;
    EnterCriticalSection(&sink.lock);
    if (sink.gone) {
    } else if (sink.queue.size() >= kQueueLines || sink.queuedBytes + line.size() > kQueueBytes) {
        ++sink.dropped;
    } else {
        sink.queue.push_back({line, date});
        sink.queuedBytes += line.size();
    }
    LeaveCriticalSection(&sink.lock);
    SetEvent(sink.wake);
}

void StopSink(TraceSink& sink, DWORD timeoutMs) {
    if (sink.thread == nullptr) return;
    EnterCriticalSection(&sink.lock);
    sink.stop = true;
    LeaveCriticalSection(&sink.lock);
    SetEvent(sink.wake);
    // A write that never returns keeps its thread; the process ends anyway.
    if (WaitForSingleObject(sink.thread, timeoutMs) == WAIT_OBJECT_0) {
        CloseHandle(sink.thread);
        sink.thread = nullptr;
    }
}

// One batch run on a thread of its own, reported to a window by posted messages: the progress
// as it rises (coalesced: one message waits at a time, carrying the latest state) and the
// outcome at the end, posted last. Stop ends the run after the files in hand.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/batch/run.hpp"

namespace qm::win32 {

class RunThread {
public:
    // Posted to the window: new progress (take it with snapshot()), and the end of the run
    // (take the outcome with outcome(), after which the thread has ended).
    static constexpr UINT ProgressMessage = WM_APP + 1;
    static constexpr UINT FinishedMessage = WM_APP + 2;

    struct Snapshot {
        batch::RunProgress Progress;
        std::optional<std::int64_t> Total; // NW files the run will meet, once counted
        std::wstring LogPath;              // once the log was created
        std::chrono::steady_clock::duration Elapsed{};
    };
    struct Outcome {
        std::optional<batch::RunResult> Result; // empty when the run could not start or stopped
        std::wstring Failure;                   // why, when Result is empty
    };

    RunThread(HWND window, batch::RunOptions options);
    ~RunThread();
    RunThread(const RunThread &) = delete;
    RunThread &operator=(const RunThread &) = delete;

    void requestStop() { StopRequested = true; }
    bool stopRequested() const { return StopRequested; }
    Snapshot snapshot();
    // Waits for the thread (it has posted FinishedMessage, so it is ending) and hands over
    // what the run gave.
    Outcome outcome();

private:
    class Observer;
    void post(bool force = false);

    HWND Window;
    std::atomic<bool> StopRequested{false};
    std::mutex Mutex;
    Snapshot Latest;
    bool Posted = false;
    Outcome Result;
    std::chrono::steady_clock::time_point Started;
    std::thread Thread;
};

} // namespace qm::win32

// The calls a run needs that differ between operating systems, on Windows: a process told
// apart by its creation time, and Ctrl+C, Ctrl+Break and closing the console window taken as
// the stop signals of POSIX systems. Outputs are flushed one by one when they are written
// (files_windows.cpp), so there is no file system left to flush.
#include "app/batch/platform.hpp"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace qm::batch::platform {

namespace {

// What the console's handler thread may touch: one flag for the whole process.
std::atomic<int> ReceivedStopSignal{0};

BOOL WINAPI recordStopSignal(DWORD event) {
    // Ctrl+C is SIGINT's; Ctrl+Break, closing the window, logging off and shutting down ask the
    // program to end, as SIGTERM does.
    ReceivedStopSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    // Windows ends the process as soon as this returns for a closing window, a log-off or a
    // shutdown: wait here while the run finishes the file in hand and closes its log.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) ::Sleep(INFINITE);
    return TRUE;
}

std::uint64_t creationTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

} // namespace

ProcessIdentity currentProcess() {
    ProcessIdentity self;
    self.Pid = ::GetCurrentProcessId();
    self.StartTime = creationTime(::GetCurrentProcess());
    return self;
}

bool processIsRunning(const ProcessIdentity &process) {
    if (process.Pid == 0 || process.Pid > 0xFFFFFFFFu) return false;
    const HANDLE handle =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process.Pid));
    if (handle == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER; // no such id
    DWORD exitCode = 0;
    const bool running = ::GetExitCodeProcess(handle, &exitCode) && exitCode == STILL_ACTIVE &&
                         creationTime(handle) == process.StartTime;
    ::CloseHandle(handle);
    return running;
}

void catchStopSignals() { ::SetConsoleCtrlHandler(recordStopSignal, TRUE); }

int stopSignalReceived() { return ReceivedStopSignal; }

// Windows handles are limited by memory, not by a per-process count to raise.
void raiseOpenFileLimit() {}

// The Windows heap gives large blocks back when they are freed.
void returnFreedMemory() {}

void releaseFreeMemory() {}

} // namespace qm::batch::platform

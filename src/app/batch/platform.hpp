// The calls a run needs that differ between operating systems: unnamed files, no-replace
// renames, flushing a file system, telling whether another run is still alive, and the stop
// signals. The rest of the file system is files_posix.cpp or files_windows.cpp.
// Failures come back as errno values; nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace qm::batch::platform {

#ifndef _WIN32
// Calls on descriptors, for files_posix.cpp and the POSIX run; Windows has its own
// (files_windows.cpp).

// A file without a name in directory `dirFd`, open for writing, with the permission bits
// `mode` (within the umask): its descriptor, or -1 with `error` set. `unsupported` is set when
// the file system has no such files (the caller then falls back to a temporary name).
int openUnnamedFile(int dirFd, int &error, bool &unsupported, unsigned mode = 0666);

// Gives the unnamed file `fd` the name `name` in `dirFd`; never replaces an existing name.
int linkUnnamedFile(int fd, int dirFd, const std::string &name);

// Renames `from` to `to` in `dirFd` without ever replacing an existing `to`.
int renameNoReplace(int dirFd, const std::string &from, const std::string &to);

// Writes everything cached for the file system that holds `fd` to the disk.
int syncFileSystem(int fd);
#endif

// A process, told apart from a later one that reuses its id by its start time.
struct ProcessIdentity {
    std::uint64_t Pid = 0;
    std::uint64_t StartTime = 0;
    bool operator==(const ProcessIdentity &) const = default;
};

ProcessIdentity currentProcess();

// False only when the process is known to be gone; when in doubt it counts as running.
bool processIsRunning(const ProcessIdentity &process);

// From now on SIGINT and SIGTERM only record that they came (the run polls for them).
void catchStopSignals();

// The stop signal received since catchStopSignals, or 0.
int stopSignalReceived();

// Lets the process hold as many open files as the system allows it: a run keeps one handle per
// directory level of the walk and the unnamed outputs of the files in flight open, which a deep
// tree with many jobs can take past a low default limit.
void raiseOpenFileLimit();

// Makes memory freed after a large conversion go back to the system at once, whichever
// thread freed it; otherwise each thread's heap keeps its own high-water mark, and a run with
// many jobs holds many conversions' peaks although it converts them one after the other.
void returnFreedMemory();

// Hands the free memory every thread's heap keeps back to the system: after a large
// conversion, whose small blocks (staves, texts) stay behind in the heap of the thread that
// freed them.
void releaseFreeMemory();

} // namespace qm::batch::platform

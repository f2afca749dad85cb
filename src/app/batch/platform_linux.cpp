#include "app/batch/platform.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::batch::platform {

namespace {

// What a signal handler may touch: one lock-free flag for the whole process.
volatile std::sig_atomic_t ReceivedStopSignal = 0;

extern "C" void recordStopSignal(int signal) { ReceivedStopSignal = signal; }

// Field 22 of /proc/<pid>/stat: when the process started, in clock ticks after boot.
bool readStartTime(const std::string &statPath, std::uint64_t &startTime) {
    std::ifstream in(statPath);
    std::string stat;
    if (!std::getline(in, stat)) return false;
    const std::size_t close = stat.rfind(')'); // the command name may hold blanks and ')'
    if (close == std::string::npos) return false;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int number = 3; number <= 22; ++number)
        if (!(fields >> field)) return false;
    try {
        startTime = std::stoull(field);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

} // namespace

int openUnnamedFile(int dirFd, int &error, bool &unsupported, unsigned mode) {
    const int fd = ::openat(dirFd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, mode);
    error = fd < 0 ? errno : 0;
    unsupported =
        fd < 0 && (error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT);
    return fd;
}

int linkUnnamedFile(int fd, int dirFd, const std::string &name) {
    // By descriptor: no path to look up (through /proc the lookup is half of the link's
    // cost). Older kernels allow it only with the privilege AT_EMPTY_PATH asks for and
    // answer ENOENT at once otherwise; then through /proc.
    if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT) return errno;
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, procPath, dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return errno;
}

int renameNoReplace(int dirFd, const std::string &from, const std::string &to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS) return error;
    // No no-replace rename on this file system: link() never replaces either.
    if (::linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) return errno;
    ::unlinkat(dirFd, from.c_str(), 0);
    return 0;
}

int syncFileSystem(int fd) { return ::syncfs(fd) == 0 ? 0 : errno; }

ProcessIdentity currentProcess() {
    ProcessIdentity self;
    self.Pid = static_cast<std::uint64_t>(::getpid());
    readStartTime("/proc/self/stat", self.StartTime);
    return self;
}

bool processIsRunning(const ProcessIdentity &process) {
    const auto pid = static_cast<pid_t>(process.Pid);
    if (pid <= 0 || static_cast<std::uint64_t>(pid) != process.Pid) return false;
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    std::uint64_t startTime = 0;
    if (!readStartTime("/proc/" + std::to_string(pid) + "/stat", startTime)) {
        struct stat info {};
        // No /proc to ask: the id is taken, so count it as running.
        if (::stat("/proc/self/stat", &info) != 0) return true;
        return false; // gone between the two looks
    }
    return startTime == process.StartTime;
}

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = recordStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int stopSignalReceived() { return ReceivedStopSignal; }

void raiseOpenFileLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit); // on failure the run works within the limit it has
}

void returnFreedMemory() {
#ifdef __GLIBC__
    // Blocks from 1 MiB up (a model's chunks, a writer's buffers) are mapped on their own and
    // unmapped when freed; by default the threshold rises to 32 MiB after the first large free.
    ::mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    // Free memory at the top of a heap is kept up to the same size, rather than given back after
    // every score and faulted in again by the next (a large conversion trims it; see
    // releaseFreeMemory).
    ::mallopt(M_TRIM_THRESHOLD, 1024 * 1024);
    // One heap per core: more only keep more free memory, since no more threads run at once.
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    ::mallopt(M_ARENA_MAX, static_cast<int>(cores > 1 ? cores : 1));
#endif
}

void releaseFreeMemory() {
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

} // namespace qm::batch::platform

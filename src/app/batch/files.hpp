// The file-system side of a run: directory listings, reading inputs, writing outputs without
// ever replacing an existing file. Everything works relative to an open directory, so paths of
// any length work. Failures come back as errno values; nothing here throws.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/batch/naming.hpp"
#include "app/batch/platform.hpp"

namespace qm::batch {

// An input larger than this cannot be an NW score.
constexpr std::uint64_t MaxInputBytes = 16u * 1024u * 1024u;

// Owns a file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : Fd(fd) {}
    UniqueFd(UniqueFd &&other) noexcept : Fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return Fd; }
    bool valid() const { return Fd >= 0; }
    int release();
    // Closes now; returns 0 or the errno of close().
    int reset();

private:
    int Fd = -1;
};

// Opens a directory without following a symbolic link in its last component.
// `parent` is a directory descriptor or AT_FDCWD. Returns an invalid fd and sets `error`.
UniqueFd openDirectory(int parent, const std::string &name, int &error);

// One directory as the walk sees it. Files holds every entry that is not a directory (links
// included: whether one is a regular file is decided when it is opened); Subdirectories holds
// real directories only, never links to them.
struct DirectoryListing {
    std::set<std::string, CaseBlindLess> Files;
    std::vector<std::string> Subdirectories; // sorted like Files
    TakenNames Taken;                        // every name in the directory
};

// Returns 0 or an errno.
int listDirectory(int dirFd, DirectoryListing &listing);

enum class InputStatus { Ok, NotRegularFile, TooLarge, Failed };

struct InputFile {
    InputStatus Status = InputStatus::Failed;
    std::vector<std::uint8_t> Bytes;
    int Error = 0;          // errno when Failed
    std::uint64_t Size = 0; // size seen when TooLarge
};

// Reads a whole regular file (following links). FIFOs, devices and directories are refused
// without blocking. `beforeRead`, when given, learns the size before the bytes are read (so
// the caller can make room for them).
InputFile readInput(int dirFd, const std::string &name,
                    const std::function<void(std::uint64_t size)> &beforeRead = {});

// Which file system holds `fd` (0 when unknown).
std::uint64_t fileSystemOf(int fd);

// A second descriptor for the same open file, or an invalid one.
UniqueFd duplicate(int fd);

// The kind of what `path` names, following links; 0 or an errno.
enum class PathKind { Directory, RegularFile, Other };
int pathKind(const std::string &path, PathKind &kind);

// Names for temporary files that say which process made them, with a random part; seeded
// once, since seeding for every file costs a system call.
class TemporaryNames {
public:
    TemporaryNames();
    std::string next();

private:
    platform::ProcessIdentity Owner;
    std::mt19937_64 Random;
};

// Removes the temporary outputs among `names` (entries of `dirFd`) whose process is gone: what
// a killed run left behind. Returns how many it removed.
int removeLeftoverTemporaries(int dirFd, const std::set<std::string, CaseBlindLess> &names);

// An output written but not yet named: an unnamed file in the directory where the file system
// has them, else a hidden temporary file. Either way nothing with a visible name exists until
// `publish` gives it one, and a crash leaves nothing behind under the output's name.
class PendingOutput {
public:
    // `unnamedFiles` false always takes the hidden temporary file (tests use it).
    explicit PendingOutput(bool unnamedFiles = true) : UnnamedFiles(unnamedFiles) {}
    PendingOutput(const PendingOutput &) = delete;
    PendingOutput &operator=(const PendingOutput &) = delete;
    ~PendingOutput() { discard(); }

    // Writes `bytes` into a new file in the directory. Returns 0 or an errno.
    int write(int dirFd, std::span<const std::uint8_t> bytes, TemporaryNames &names);

    // Gives the written file the name `name`, never replacing anything: EEXIST when the name
    // is taken (the file is kept for another try). Returns 0 or an errno.
    int publish(const std::string &name);

    // Drops the written file, if any.
    void discard();

private:
    bool UnnamedFiles = true;
    int DirFd = -1;
    UniqueFd Unnamed;     // the unnamed file, when the file system has them
    std::string TempName; // else the hidden temporary file's name
};

// Removes a name; errors are ignored (used only to clean up after a failure).
void removeQuietly(int dirFd, const std::string &name);

// The system's text for an errno.
std::string systemReason(int error);

} // namespace qm::batch

// The file-system side of a run: directory listings, reading inputs, writing outputs without
// ever replacing an existing file. Everything works relative to an open directory, so paths of
// any length work. Failures come back as errno values; nothing here throws.
#pragma once

#include <cstdint>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/batch/naming.hpp"

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
// without blocking.
InputFile readInput(int dirFd, const std::string &name);

// Creates `name` empty, failing with EEXIST if anything has that name. Returns 0 or an errno.
int createPlaceholder(int dirFd, const std::string &name);

// Random names for temporary files, seeded once: seeding for every file costs a system call.
class TemporaryNames {
public:
    TemporaryNames();
    std::string next();

private:
    std::mt19937_64 Random;
};

// Writes `bytes` to a new hidden temporary file in the directory and closes it. On success
// `tempName` names it; on failure nothing is left and the errno is returned.
int writeTemporary(int dirFd, std::span<const std::uint8_t> bytes, TemporaryNames &names,
                   std::string &tempName);

// Gives the temporary file the name `name`, failing with EEXIST if that name exists.
// Returns 0 or an errno; on failure the temporary file is still there.
int moveNoReplace(int dirFd, const std::string &tempName, const std::string &name);

// Removes a name; errors are ignored (used only to clean up after a failure).
void removeQuietly(int dirFd, const std::string &name);

// The system's text for an errno.
std::string systemReason(int error);

} // namespace qm::batch

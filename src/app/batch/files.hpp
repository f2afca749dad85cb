// The file-system side of a run: directory listings, reading inputs, writing outputs without
// ever replacing an existing file, the log's new file. One implementation per platform
// (files_posix.cpp, files_windows.cpp); the run itself never calls the operating system.
// Everything inside a tree is reached from an open directory, so paths of any length work.
// Failures come back as the system's error numbers (errno, or GetLastError() on Windows);
// nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/batch/naming.hpp"
#include "app/batch/platform.hpp"

namespace qm::batch {

// An input larger than this cannot be an NW score.
constexpr std::uint64_t MaxInputBytes = 16u * 1024u * 1024u;

#ifdef _WIN32
using NativeHandle = void *; // a HANDLE; null when there is none
constexpr NativeHandle NoHandle = nullptr;
constexpr char PathSeparator = '\\';
constexpr int ErrorAlreadyExists = 183; // ERROR_ALREADY_EXISTS
#else
using NativeHandle = int; // a file descriptor
constexpr NativeHandle NoHandle = -1;
constexpr char PathSeparator = '/';
constexpr int ErrorAlreadyExists = 17; // EEXIST
#endif

// The name is taken (a no-replace move or an exclusive create found it there).
bool isAlreadyExists(int error);
// A link or a file stands where a directory was listed: not a directory to walk.
bool isNotADirectory(int error);
// Nothing has that name.
bool isNotFound(int error);
// The system's text for an error number.
std::string systemReason(int error);

// A path as text for the log and the terminal: UTF-8 on Windows, the bytes as they are
// elsewhere; and back.
std::string pathText(const std::filesystem::path &path);
std::filesystem::path pathFromText(std::string_view text);
// The absolute, normalised form of a path the user gave, without a trailing separator, into
// `text`. Returns 0 or the system's error (the current directory may be gone).
int displayPath(const std::filesystem::path &path, std::string &text);
// `dir` and `name` joined by the platform's separator.
std::string joinPath(std::string_view dir, std::string_view name);

// Owns an open file or directory.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(NativeHandle handle) : Handle(handle) {}
    UniqueHandle(UniqueHandle &&other) noexcept : Handle(other.release()) {}
    UniqueHandle &operator=(UniqueHandle &&other) noexcept;
    UniqueHandle(const UniqueHandle &) = delete;
    UniqueHandle &operator=(const UniqueHandle &) = delete;
    ~UniqueHandle() { reset(); }

    NativeHandle get() const { return Handle; }
    bool valid() const { return Handle != NoHandle; }
    NativeHandle release();
    // Closes now; returns 0 or the system's error.
    int reset();

private:
    NativeHandle Handle = NoHandle;
};

// Writes every byte; `written`, when given, counts the bytes that reached the file. Returns 0
// or the system's error.
int writeAll(NativeHandle file, std::span<const std::uint8_t> bytes,
             std::uint64_t *written = nullptr);

// Puts a file's data on the disk. Returns 0 or the system's error.
int flushToDisk(NativeHandle file);

// An open directory, the place the names inside it are found from.
class Directory {
public:
    Directory() = default;
    // Opens a directory the user named, following links.
    static Directory open(const std::filesystem::path &path, int &error);
    // Opens the subdirectory `name`, never following a link (symbolic link, junction).
    Directory openSubdirectory(const std::string &name, int &error) const;

    bool valid() const { return Handle.valid(); }
    NativeHandle handle() const { return Handle.get(); }
#ifdef _WIN32
    // The directory's full path with the \\?\ prefix, so names inside it may be of any length.
    const std::wstring &fullPath() const { return FullPath; }
#endif

private:
    UniqueHandle Handle;
#ifdef _WIN32
    std::wstring FullPath;
#endif
};

// The kind of what `path` names, following links. Returns 0 or the system's error.
enum class PathKind { Directory, RegularFile, Other };
int pathKind(const std::filesystem::path &path, PathKind &kind);

// Which file system (volume) holds the directory; 0 when unknown.
std::uint64_t fileSystemOf(const Directory &dir);

// Puts everything written to the file system that holds `dir` on the disk. Returns 0 or the
// system's error. (Windows outputs are put there one by one as they are written.)
int syncFileSystem(const Directory &dir);

// One directory as the walk sees it. Files holds every entry that is not a directory (links
// included: whether one is a regular file is decided when it is opened); Subdirectories holds
// real directories only, never links to them.
struct DirectoryListing {
    std::set<std::string, CaseBlindLess> Files;
    std::vector<std::string> Subdirectories; // sorted like Files
    TakenNames Taken;                        // every name in the directory
};

// Returns 0 or the system's error.
int listDirectory(const Directory &dir, DirectoryListing &listing);

// ForeignLink: run as root, a symbolic link whose owner is not its target's owner.
enum class InputStatus { Ok, NotRegularFile, ForeignLink, TooLarge, Failed };

// Permission bits an output gets when its input's are unknown (within the umask).
constexpr std::uint32_t DefaultOutputMode = 0666;

struct InputFile {
    InputStatus Status = InputStatus::Failed;
    std::vector<std::uint8_t> Bytes;
    int Error = 0;          // the system's error when Failed
    std::uint64_t Size = 0; // size seen when TooLarge
    // The input's permission bits: its outputs are created with them, so an output is never
    // more readable than what it was made from.
    std::uint32_t Mode = DefaultOutputMode;
};

// Reads a whole regular file. Devices, pipes, directories and (on Windows) links are refused
// without blocking; on POSIX systems a symbolic link to a regular file is followed, except, when
// run as root, a link owned by someone other than its target's owner (a user's link to a file
// only root may read).
// `beforeRead`, when given, learns the size before the bytes are read (so the caller can make
// room for them).
InputFile readInput(const Directory &dir, const std::string &name,
                    const std::function<void(std::uint64_t size)> &beforeRead = {});

// What one read of an open input gave: the bytes read (0 at its end), or the system's error.
struct ReadResult {
    std::size_t Bytes = 0;
    int Error = 0;
};

// Reads an open input whose size was taken as `input.Size` to its end, by `readSome(into,
// room)`, and sets its status. It reads up to one byte past the limit, since the file may have
// grown since its size was taken.
void readInputBytes(
    InputFile &input,
    const std::function<ReadResult(std::uint8_t *into, std::size_t room)> &readSome);

// Creates the new file `name` in `dir` for writing; fails when the name exists. Returns an
// invalid handle and sets `error` on failure.
UniqueHandle createNewFile(const Directory &dir, const std::string &name, int &error);

// Opens the file a report goes to: a new file, or an existing pipe or character device (a
// terminal, /dev/null, a process substitution's pipe), which writing cannot replace. Any other
// existing name fails with an "already exists" error.
UniqueHandle openReportFile(const std::filesystem::path &path, int &error);

// Names for temporary files that say which process made them, with a random part; seeded
// once, since seeding for every file costs a system call. Shared by the threads that write
// outputs.
class TemporaryNames {
public:
    TemporaryNames();
    // Names of another process (tests use it for a run whose id means nothing here).
    explicit TemporaryNames(const platform::ProcessIdentity &owner);
    std::string next();

private:
    platform::ProcessIdentity Owner;
    std::mutex Lock;
    std::mt19937_64 Random;
};

// Removes the temporary outputs among `names` (entries of `dir`) that are surely dead: what a
// killed run left behind. On POSIX systems a run holds a lock (flock) on each of its temporary
// files until it names or drops it, so a file whose lock is free is dead whichever machine or
// process namespace made it; a process id alone proves nothing there. On Windows an open
// temporary file cannot be deleted, and its process is asked too. Returns how many it removed.
int removeLeftoverTemporaries(const Directory &dir,
                              const std::set<std::string, CaseBlindLess> &names);

// An output written but not yet named: an unnamed file in the directory where the file system
// has them, else a hidden temporary file, flushed to disk on Windows. Either way nothing
// appears under the output's name until `publish` gives it one, and a crash leaves nothing
// behind under that name.
class PendingOutput {
public:
    // `unnamedFiles` false always takes the temporary file (tests use it).
    explicit PendingOutput(bool unnamedFiles = true) : UnnamedFiles(unnamedFiles) {}
    PendingOutput(const PendingOutput &) = delete;
    PendingOutput &operator=(const PendingOutput &) = delete;
    ~PendingOutput() { discard(); }

    // Writes `bytes` into a new file in the directory, with the permission bits `mode` (within
    // the umask). Returns 0 or the system's error.
    int write(const Directory &dir, std::span<const std::uint8_t> bytes, TemporaryNames &names,
              std::uint32_t mode = DefaultOutputMode);

    // Gives the written file the name `name`, never replacing anything: an "already exists"
    // error when the name is taken (the file is kept for another try). Returns 0 or an error.
    int publish(const std::string &name);

    // Removes the name `publish` gave, if it still names this file (a score whose other output
    // could not be written keeps neither).
    void withdraw();

    // Drops the written file, if any.
    void discard();

private:
    bool UnnamedFiles = true;
    const Directory *Dir = nullptr;
    UniqueHandle Unnamed;                // the unnamed file, when the file system has them
    std::string TempName;                // else the temporary file's name,
    UniqueHandle TempFile;               // held open with a lock on it until it is named or dropped
    std::string Published;               // the name publish gave
    std::uint64_t Device = 0, Inode = 0; // the file's identity, for withdraw
};

// Removes a name; whether it did. Errors are not reported (used only to clean up).
bool removeQuietly(const Directory &dir, const std::string &name);

} // namespace qm::batch

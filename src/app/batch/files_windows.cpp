// The batch run's files on Windows: wide-character calls on \\?\ paths (no length limit),
// directories held open while they are walked, symbolic links and junctions never followed,
// outputs written to a temporary file, flushed, and moved onto a name that is still free.
#include "app/batch/files.hpp"

#include <windows.h>

#include <algorithm>

#include "app/batch/utf16.hpp"

namespace qm::batch {

namespace {

// Every sharing mode: a run must not stop other programs from reading or moving its inputs.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring wideFromUtf8(std::string_view text) {
    const std::u16string units = utf16FromUtf8(text);
    return std::wstring(units.begin(), units.end());
}

std::string utf8FromWide(std::wstring_view text) {
    return utf8FromUtf16(
        std::u16string_view(reinterpret_cast<const char16_t *>(text.data()), text.size()));
}

NativeHandle fromWin32(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? NoHandle : handle; }

// The \\?\ form of a full path: no length limit and no reinterpretation of the name.
std::wstring withLongPrefix(std::wstring full) {
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The full path of what the user named, or empty with `error` set.
std::wstring fullPathOf(const std::filesystem::path &path, DWORD &error) {
    std::wstring given = path.native();
    if (given.empty()) given = L".";
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                                full.data(), nullptr);
        if (length == 0) {
            error = ::GetLastError();
            return {};
        }
        if (length < full.size()) {
            full.resize(length);
            error = 0;
            return full;
        }
        full.resize(length);
    }
}

std::wstring childPath(const Directory &dir, std::string_view name) {
    std::wstring path = dir.fullPath();
    if (!path.ends_with(L'\\')) path += L'\\';
    path += wideFromUtf8(name);
    return path;
}

// A symbolic link, junction or mount point: something that names another place.
bool isLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(reparseTag);
}

// The attributes and reparse tag of an open file or directory.
bool attributesOf(HANDLE handle, FILE_ATTRIBUTE_TAG_INFO &info) {
    return ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) != 0;
}

} // namespace

bool isAlreadyExists(int error) {
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

bool isNotADirectory(int error) { return error == ERROR_DIRECTORY; }

bool isNotFound(int error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::string systemReason(int error) {
    wchar_t *text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::wstring reason = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
    ::LocalFree(text);
    // One line without its closing full stop, like the texts of other systems.
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' ||
                               reason.back() == L' ' || reason.back() == L'.'))
        reason.pop_back();
    if (reason.empty()) return "system error " + std::to_string(error);
    return utf8FromWide(reason);
}

std::string pathText(const std::filesystem::path &path) { return utf8FromWide(path.native()); }

std::filesystem::path pathFromText(std::string_view text) {
    return std::filesystem::path(wideFromUtf8(text));
}

int displayPath(const std::filesystem::path &path, std::string &text) {
    DWORD error = 0;
    std::wstring full = fullPathOf(path, error);
    if (full.empty()) return static_cast<int>(error);
    if (full.starts_with(L"\\\\?\\UNC\\"))
        full = L"\\\\" + full.substr(8);
    else if (full.starts_with(L"\\\\?\\"))
        full = full.substr(4);
    // Keep the separator of a drive's root ("C:\").
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    text = utf8FromWide(full);
    return 0;
}

std::string joinPath(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
    path += name;
    return path;
}

std::string fileNameKey(std::string_view name) {
    // The invariant upper-casing is the one-to-one mapping of UTF-16 units that Windows file
    // systems compare names with.
    std::wstring wide = wideFromUtf8(name);
    if (wide.empty()) return {};
    std::wstring upper(wide.size(), L'\0');
    const int length = ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(),
                                       static_cast<int>(wide.size()), upper.data(),
                                       static_cast<int>(upper.size()), nullptr, nullptr, 0);
    if (length <= 0) return lowerCase(name);
    upper.resize(static_cast<std::size_t>(length));
    return utf8FromWide(upper);
}

int UniqueHandle::reset() {
    if (Handle == NoHandle) return 0;
    const BOOL closed = ::CloseHandle(Handle);
    Handle = NoHandle;
    return closed ? 0 : static_cast<int>(::GetLastError());
}

int writeAll(NativeHandle file, std::span<const std::uint8_t> bytes, std::uint64_t *written) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD done = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &done, nullptr))
            return static_cast<int>(::GetLastError());
        bytes = bytes.subspan(done);
        if (written) *written += done;
    }
    return 0;
}

int flushToDisk(NativeHandle file) {
    return ::FlushFileBuffers(file) ? 0 : static_cast<int>(::GetLastError());
}

Directory Directory::open(const std::filesystem::path &path, int &error) {
    Directory dir;
    DWORD fullError = 0;
    const std::wstring full = fullPathOf(path, fullError);
    if (full.empty()) {
        error = static_cast<int>(fullError);
        return dir;
    }
    dir.FullPath = withLongPrefix(full);
    // Held open without delete sharing: the directory cannot be renamed or removed while the
    // run finds names through its path.
    dir.Handle = UniqueHandle(fromWin32(
        ::CreateFileW(dir.FullPath.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!dir.valid() || !attributesOf(dir.handle(), info)) {
        error = static_cast<int>(::GetLastError());
        return Directory();
    }
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        error = ERROR_DIRECTORY;
        return Directory();
    }
    error = 0;
    return dir;
}

Directory Directory::openSubdirectory(const std::string &name, int &error) const {
    Directory dir;
    dir.FullPath = childPath(*this, name);
    dir.Handle = UniqueHandle(fromWin32(::CreateFileW(
        dir.FullPath.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!dir.valid() || !attributesOf(dir.handle(), info)) {
        error = static_cast<int>(::GetLastError());
        return Directory();
    }
    // A junction or a link put there since the listing: not entered.
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        isLink(info.FileAttributes, info.ReparseTag)) {
        error = ERROR_DIRECTORY;
        return Directory();
    }
    error = 0;
    return dir;
}

int pathKind(const std::filesystem::path &path, PathKind &kind) {
    DWORD error = 0;
    const std::wstring full = fullPathOf(path, error);
    if (full.empty()) return static_cast<int>(error);
    const UniqueHandle handle(
        fromWin32(::CreateFileW(withLongPrefix(full).c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!handle.valid() || !attributesOf(handle.get(), info))
        return static_cast<int>(::GetLastError());
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        kind = PathKind::Directory;
    else if (::GetFileType(handle.get()) == FILE_TYPE_DISK)
        kind = PathKind::RegularFile;
    else
        kind = PathKind::Other;
    return 0;
}

std::uint64_t fileSystemOf(const Directory &dir) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(dir.handle(), &info)) return 0;
    return info.dwVolumeSerialNumber;
}

// Each output was flushed before it was given its name (PendingOutput::write); flushing a whole
// volume would need administrator rights.
int syncFileSystem(const Directory &) { return 0; }

int listDirectory(const Directory &dir, DirectoryListing &listing) {
    WIN32_FIND_DATAW entry{};
    const std::wstring pattern = childPath(dir, "*");
    HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // A drive's root has no "." entry, so an empty one has no entries at all.
        return error == ERROR_FILE_NOT_FOUND ? 0 : static_cast<int>(error);
    }
    do {
        const std::wstring_view wide = entry.cFileName;
        if (wide == L"." || wide == L"..") continue;
        const std::string name = utf8FromWide(wide);
        listing.Taken.add(name);
        const bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (directory && !isLink(entry.dwFileAttributes, entry.dwReserved0))
            listing.Subdirectories.push_back(name);
        else
            listing.Files.insert(name);
    } while (::FindNextFileW(find, &entry));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    std::sort(listing.Subdirectories.begin(), listing.Subdirectories.end(), CaseBlindLess{});
    return error == ERROR_NO_MORE_FILES ? 0 : static_cast<int>(error);
}

InputFile readInput(const Directory &dir, const std::string &name,
                    const std::function<void(std::uint64_t size)> &beforeRead) {
    InputFile input;
    // Backup semantics: a directory (a junction named like an input) opens too, and is refused
    // below like any link.
    const UniqueHandle file(fromWin32(::CreateFileW(
        childPath(dir, name).c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
        nullptr)));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!file.valid() || !attributesOf(file.get(), info)) {
        input.Error = static_cast<int>(::GetLastError());
        return input;
    }
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        isLink(info.FileAttributes, info.ReparseTag) ||
        ::GetFileType(file.get()) != FILE_TYPE_DISK) {
        input.Status = InputStatus::NotRegularFile;
        return input;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        input.Error = static_cast<int>(::GetLastError());
        return input;
    }
    input.Size = static_cast<std::uint64_t>(size.QuadPart);
    if (input.Size > MaxInputBytes) {
        input.Status = InputStatus::TooLarge;
        return input;
    }
    if (beforeRead) beforeRead(input.Size);
    readInputBytes(input, [&file](std::uint8_t *into, std::size_t room) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), into, static_cast<DWORD>(room), &got, nullptr)) {
            const DWORD error = ::GetLastError();
            return ReadResult{0, static_cast<int>(error != 0 ? error : ERROR_READ_FAULT)};
        }
        return ReadResult{got, 0};
    });
    return input;
}

UniqueHandle createNewFile(const Directory &dir, const std::string &name, int &error) {
    UniqueHandle file(
        fromWin32(::CreateFileW(childPath(dir, name).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    error = file.valid() ? 0 : static_cast<int>(::GetLastError());
    return file;
}

UniqueHandle openReportFile(const std::filesystem::path &path, int &error) {
    UniqueHandle file(fromWin32(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)));
    error = file.valid() ? 0 : static_cast<int>(::GetLastError());
    return file;
}

int PendingOutput::write(const Directory &dir, std::span<const std::uint8_t> bytes,
                         TemporaryNames &names, std::uint32_t) {
    discard();
    Dir = &dir;
    UniqueHandle file;
    for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        TempName = names.next();
        int error = 0;
        file = createNewFile(dir, TempName, error);
        if (!file.valid() && !isAlreadyExists(error)) {
            TempName.clear();
            return error;
        }
    }
    if (!file.valid()) {
        TempName.clear();
        return ErrorAlreadyExists;
    }
    // On disk before it has a name: a finished run's outputs survive a power cut.
    int error = writeAll(file.get(), bytes);
    if (error == 0) error = flushToDisk(file.get());
    const int closeError = file.reset();
    if (error == 0) error = closeError;
    if (error != 0) discard();
    return error;
}

int PendingOutput::publish(const std::string &name) {
    if (TempName.empty() || Dir == nullptr) return ERROR_INVALID_HANDLE;
    // Without MOVEFILE_REPLACE_EXISTING a move never replaces: a taken name fails.
    if (!::MoveFileExW(childPath(*Dir, TempName).c_str(), childPath(*Dir, name).c_str(),
                       MOVEFILE_WRITE_THROUGH))
        return static_cast<int>(::GetLastError());
    TempName.clear();
    Published = name;
    return 0;
}

void PendingOutput::discard() {
    Unnamed.reset();
    if (!TempName.empty() && Dir != nullptr) removeQuietly(*Dir, TempName);
    TempName.clear();
}

// An open temporary file cannot be deleted here, so a live run's file stays in any case;
// its process is asked too.
int removeLeftoverTemporaries(const Directory &dir,
                              const std::set<std::string, CaseBlindLess> &names) {
    int removed = 0;
    for (const std::string &name : names) {
        const std::optional<platform::ProcessIdentity> owner = temporaryFileOwner(name);
        if (!owner || platform::processIsRunning(*owner)) continue;
        if (removeQuietly(dir, name)) ++removed;
    }
    return removed;
}

void PendingOutput::withdraw() {
    if (!Published.empty() && Dir != nullptr) removeQuietly(*Dir, Published);
    Published.clear();
}

bool removeQuietly(const Directory &dir, const std::string &name) {
    return ::DeleteFileW(childPath(dir, name).c_str()) != 0;
}

} // namespace qm::batch

#include "app/win32/config_place.hpp"

#include <windows.h>

#include <shlobj.h>

#include "app/win32/wide_text.hpp"

namespace qm::win32 {

bool canCreateFilesIn(const std::wstring &dir) {
    // A name of our own that no one else uses; the file goes away when its handle closes.
    const std::wstring probe =
        joined(dir, L"Quillmark.cfg." + std::to_wstring(::GetCurrentProcessId()) + L".probe");
    const HANDLE file =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

std::wstring configDirectory(const std::wstring &startDir, std::wstring appData) {
    if (canCreateFilesIn(startDir)) return startDir;
    if (appData.empty()) {
        wchar_t *known = nullptr;
        if (SUCCEEDED(
                ::SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &known)))
            appData = known;
        ::CoTaskMemFree(known);
    }
    // Nowhere to write at all: the start directory, where saving then fails quietly.
    if (appData.empty()) return startDir;
    const std::wstring own = joined(appData, L"Quillmark");
    ::CreateDirectoryW(own.c_str(), nullptr);
    return own;
}

} // namespace qm::win32

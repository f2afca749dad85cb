// Where the window keeps Quillmark.cfg on Windows. The start directory, as on other systems,
// when the program may write there (a copy unpacked from the zip); otherwise, as for a program
// installed under Program Files, the user's roaming application data, %APPDATA%\Quillmark.
#pragma once

#include <string>

namespace qm::win32 {

// Whether a new file can be made in `dir` (made and removed at once).
bool canCreateFilesIn(const std::wstring &dir);

// The directory that holds the configuration file, created when it is the user's.
// `appData` is the user's application data directory (%APPDATA%); empty asks the system.
std::wstring configDirectory(const std::wstring &startDir, std::wstring appData = {});

} // namespace qm::win32

// What the command line needs from the platform's console: its arguments as UTF-8, whether
// stderr is a terminal, a terminal that shows UTF-8 and the progress line's escapes, and paths
// the tools can open at any length. One implementation per platform (console_posix.cpp,
// console_windows.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qm::cli {

// The arguments after the program's name, as UTF-8 text (Windows hands them over in UTF-16).
std::vector<std::string> commandLineArguments(int argc, char **argv);

// Sets up the terminal for UTF-8 output and the progress line's control sequences; standard
// output and error carry the same bytes on every system (no "\r" added on Windows). The
// console's previous settings come back when the program ends, however it ends; Ctrl+C reaches
// the program even when whoever started it had turned it off.
void prepareConsole();

// The form of a file's path that the system opens at any length (on Windows, the \\?\ form
// of its full path, as the run uses); the path unchanged where there is no such limit, or
// where its directory cannot be opened (opening the file then says why).
std::filesystem::path openablePath(const std::filesystem::path &path);

bool stderrIsTerminal();

} // namespace qm::cli

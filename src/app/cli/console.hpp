// What the command line needs from the platform's console: its arguments as UTF-8, whether
// stderr is a terminal, and a terminal that shows UTF-8 and the progress line's escapes.
// One implementation per platform (console_posix.cpp, console_windows.cpp).
#pragma once

#include <string>
#include <vector>

namespace qm::cli {

// The arguments after the program's name, as UTF-8 text (Windows hands them over in UTF-16).
std::vector<std::string> commandLineArguments(int argc, char **argv);

// Sets up the terminal for UTF-8 output and the progress line's control sequences; standard
// output and error carry the same bytes on every system (no "\r" added on Windows).
void prepareConsole();

bool stderrIsTerminal();

} // namespace qm::cli

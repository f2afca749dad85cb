#include "app/cli/console.hpp"

#include <unistd.h>

namespace qm::cli {

std::vector<std::string> commandLineArguments(int argc, char **argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void prepareConsole() {}

std::filesystem::path openablePath(const std::filesystem::path &path) { return path; }

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

} // namespace qm::cli

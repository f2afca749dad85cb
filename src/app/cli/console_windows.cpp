#include "app/cli/console.hpp"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/batch/files.hpp"
#include "app/batch/utf16.hpp"

namespace qm::cli {

namespace {

// The console as the program found it, put back when it ends: a console shared with other
// programs must not be left showing UTF-8 to programs that expect its old code page.
struct ConsoleState {
    UINT OutputCodePage = 0;
    HANDLE Error = nullptr;
    DWORD ErrorMode = 0;
    bool ErrorModeSaved = false;
};
ConsoleState Saved;

void restoreConsole() {
    if (Saved.OutputCodePage != 0) ::SetConsoleOutputCP(Saved.OutputCodePage);
    if (Saved.ErrorModeSaved) ::SetConsoleMode(Saved.Error, Saved.ErrorMode);
}

// Ctrl+C, Ctrl+Break or a closed console while no run is catching them: the process ends at
// once (the next handler, the system's, ends it), so the console is put back first.
BOOL WINAPI restoreBeforeEnding(DWORD) {
    restoreConsole();
    return FALSE;
}

std::terminate_handler PreviousTerminate = nullptr;

[[noreturn]] void restoreAndTerminate() {
    restoreConsole();
    if (PreviousTerminate != nullptr) PreviousTerminate();
    std::abort();
}

} // namespace

std::vector<std::string> commandLineArguments(int argc, char **argv) {
    // argv holds the arguments in the ANSI code page, which cannot name every file: take the
    // UTF-16 command line instead.
    int count = 0;
    wchar_t **wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        const std::wstring_view arg = wide[i];
        arguments.push_back(batch::utf8FromUtf16(
            std::u16string_view(reinterpret_cast<const char16_t *>(arg.data()), arg.size())));
    }
    ::LocalFree(wide);
    return arguments;
}

void prepareConsole() {
    // The same bytes as on other systems: "\n" stays "\n", and the console takes UTF-8.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    // Every way out puts the console back: a return from main or exit() (atexit), a failure
    // that ends in std::terminate, and the console's own stop events.
    Saved.OutputCodePage = ::GetConsoleOutputCP();
    Saved.Error = ::GetStdHandle(STD_ERROR_HANDLE);
    Saved.ErrorModeSaved = ::GetConsoleMode(Saved.Error, &Saved.ErrorMode) != 0;
    std::atexit(restoreConsole);
    PreviousTerminate = std::set_terminate(restoreAndTerminate);
    // A program started with Ctrl+C turned off (as "start /b" does) inherits that; the run's
    // stop handler must hear it.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(restoreBeforeEnding, TRUE);

    ::SetConsoleOutputCP(CP_UTF8);
    if (Saved.ErrorModeSaved)
        ::SetConsoleMode(Saved.Error, Saved.ErrorMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::filesystem::path openablePath(const std::filesystem::path &path) {
    // The directory is opened the way the run opens its source, which gives its full \\?\ path.
    const std::filesystem::path parent = path.parent_path();
    int error = 0;
    const batch::Directory dir =
        batch::Directory::open(parent.empty() ? std::filesystem::path(L".") : parent, error);
    if (!dir.valid() || !path.has_filename()) return path;
    std::wstring full = dir.fullPath();
    if (!full.ends_with(L'\\')) full += L'\\';
    return std::filesystem::path(full + path.filename().native());
}

} // namespace qm::cli

#include "app/cli/console.hpp"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "app/batch/utf16.hpp"

namespace qm::cli {

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
    ::SetConsoleOutputCP(CP_UTF8);
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode))
        ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace qm::cli

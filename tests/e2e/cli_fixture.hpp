// A temporary directory and a way to run the quillmark program in it, for end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "nwtext/nwtext.hpp"
#include "support/temp_tree.hpp"

namespace qm::e2e {

namespace fs = std::filesystem;

// A one-stave score with `notes` crotchets.
inline std::string scoreText(int notes) {
    std::ostringstream text;
    text << "header staves=1 version=200\n"
         << "stave y=1000 count=" << notes + 1 << "\n"
         << "newstave x=10 y=1000\n";
    for (int i = 0; i < notes; ++i)
        text << "note x=" << 40 + 4 * i << " y=1000 dur=3 pos=" << i % 5 << " stem=0\n";
    return text.str();
}

inline std::string readFile(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

using test::shown;
using test::utf8Path;

inline std::string shellQuote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

#ifdef _WIN32
// Windows programs split their command line themselves; the test paths hold no quotes.
inline std::string quote(const fs::path &path) { return "\"" + shown(path) + "\""; }
#else
inline std::string quote(const fs::path &path) { return shellQuote(path.string()); }
#endif

struct Outcome {
    int Status = -1;
    std::string Out;
    std::string Err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override { Root = test::makeTempTree("qm-e2e-"); }
    void TearDown() override {
        fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add);
        for (const auto &entry : fs::recursive_directory_iterator(Root))
            if (entry.is_directory() && !entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        test::removeTree(Root);
    }

    void writeFile(const fs::path &path, const std::string &bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void writeScore(const fs::path &path, int notes = 2) {
        const std::vector<std::uint8_t> bytes = nwtext::build(scoreText(notes));
        writeFile(path, std::string(bytes.begin(), bytes.end()));
    }

#ifdef _WIN32
    // Runs quillmark.exe (beside the test program) with its output in files. Shell commands
    // to run first exist on POSIX systems only.
    Outcome run(const std::string &arguments, const std::string &prefix = "",
                const std::string &input = "NUL", const std::string &wrapper = "") {
        EXPECT_TRUE(prefix.empty() && wrapper.empty()) << "no shell to run " << prefix << wrapper;
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        const fs::path program = fs::path(self).parent_path() / "quillmark.exe";
        std::wstring command =
            L"\"" + program.native() + L"\" " + test::utf8Path(arguments).native();
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const auto open = [&](const fs::path &path, DWORD access, DWORD disposition) {
            return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        };
        const fs::path out = Root / "stdout.txt";
        const fs::path err = Root / "stderr.txt";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = open(input, GENERIC_READ, OPEN_EXISTING);
        startup.hStdOutput = open(out, GENERIC_WRITE, CREATE_ALWAYS);
        startup.hStdError = open(err, GENERIC_WRITE, CREATE_ALWAYS);
        PROCESS_INFORMATION process{};
        Outcome outcome;
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &process)) {
            ::WaitForSingleObject(process.hProcess, INFINITE);
            DWORD status = 0;
            ::GetExitCodeProcess(process.hProcess, &status);
            outcome.Status = static_cast<int>(status);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
        for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError})
            ::CloseHandle(handle);
        outcome.Out = readFile(out);
        outcome.Err = readFile(err);
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }
#else
    // Runs the program through bash; `prefix` runs first in the program's own subshell (e.g.
    // a resource limit), `wrapper` runs the program (e.g. as another user). Output goes
    // through pipes, so a file size limit cannot touch it.
    Outcome run(const std::string &arguments, const std::string &prefix = "",
                const std::string &input = "/dev/null", const std::string &wrapper = "") {
        const fs::path out = Root / "stdout.txt";
        const fs::path err = Root / "stderr.txt";
        const std::string command = "set -o pipefail; { (" + prefix + "exec " + wrapper +
                                    std::string(QUILLMARK_BIN) + " " + arguments + " <" +
                                    shellQuote(input) + ") 2>&1 1>&3 3>&- | cat >" + quote(err) +
                                    "; } 3>&1 | cat >" + quote(out);
        const int status = std::system(("bash -c " + shellQuote(command)).c_str());
        Outcome outcome;
        outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.Out = readFile(out);
        outcome.Err = readFile(err);
        fs::remove(out);
        fs::remove(err);
        return outcome;
    }
#endif

    // Lets the user `nobody` into the temporary tree (CI runs as root, where permissions do
    // not bite).
    void openToEveryone() {
        fs::permissions(Root, fs::perms::all);
        for (const auto &entry : fs::recursive_directory_iterator(Root))
            if (entry.is_directory() && !entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::all);
    }
    static constexpr const char *AsNobody =
        "setpriv --reuid=nobody --regid=nogroup --clear-groups ";

    fs::path Root;
};

} // namespace qm::e2e

// A temporary directory and a way to run the quillmark program in it, for end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "nwtext/nwtext.hpp"

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

inline std::string shellQuote(const std::string &text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string quote(const fs::path &path) { return shellQuote(path.string()); }

struct Outcome {
    int Status = -1;
    std::string Out;
    std::string Err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qm-e2e-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Root = fs::canonical(pattern);
    }
    void TearDown() override {
        fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add);
        for (const auto &entry : fs::recursive_directory_iterator(Root))
            if (entry.is_directory() && !entry.is_symlink())
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(Root);
    }

    void writeFile(const fs::path &path, const std::string &bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    void writeScore(const fs::path &path, int notes = 2) {
        const std::vector<std::uint8_t> bytes = nwtext::build(scoreText(notes));
        writeFile(path, std::string(bytes.begin(), bytes.end()));
    }

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

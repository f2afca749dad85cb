#include "app/window/config_file.hpp"

#include <fstream>
#include <string>
#include <system_error>

#include "app/batch/files.hpp"

namespace qm::window {
namespace {

// Longer lines are not paths we wrote; reading stops there.
constexpr std::size_t MaxLineBytes = 4096;

#ifdef _WIN32
constexpr const char *LineEnd = "\r\n";
#else
constexpr const char *LineEnd = "\n";
#endif

// A line ends at LF (CR LF too) or at the end of the file; nothing left means no line.
std::optional<std::string> readWholeLine(std::istream &in) {
    if (in.peek() == std::char_traits<char>::eof()) return std::nullopt;
    std::string line;
    for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
        if (line.size() > MaxLineBytes) return std::nullopt; // longer than any path we write
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > MaxLineBytes) return std::nullopt;
    return line;
}

std::string encodeLine(const std::filesystem::path &path) {
    const std::string text = batch::pathText(path);
    return (text.find_first_of("\r\n") == std::string::npos ? text : std::string()) + LineEnd;
}

} // namespace

ConfigLines readConfigFile(const std::filesystem::path &file) {
    ConfigLines lines;
    std::ifstream in(file, std::ios::binary);
    if (!in) return lines;
    const std::optional<std::string> log = readWholeLine(in);
    if (!log) return lines;
    lines.LogDir = batch::pathFromText(*log);
    const std::optional<std::string> source = readWholeLine(in);
    if (!source) return lines;
    lines.SourceDir = batch::pathFromText(*source);
    const std::optional<std::string> third = readWholeLine(in);
    if (third == "1" || third == "0") lines.AlsoMusicXml = third == "1";
    return lines;
}

bool writeConfigFile(const std::filesystem::path &file, const std::filesystem::path &logDir,
                     const std::filesystem::path &sourceDir, bool alsoMusicXml) {
    std::filesystem::path temporary = file;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << encodeLine(logDir) << encodeLine(sourceDir) << (alsoMusicXml ? "1" : "0") << LineEnd;
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, file, error);
    if (!error) return true;
    std::filesystem::remove(temporary, error);
    return false;
}

} // namespace qm::window

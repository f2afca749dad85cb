// The configuration file that remembers the log directory, the source directory and the
// choice of MusicXML between starts. Reading and writing fail quietly: a bad file only means
// nothing is restored.
#pragma once

#include <filesystem>
#include <optional>

namespace qm::window {

inline constexpr const char *ConfigFileName = "Quillmark.cfg";

// The lines that were read, without their line ends (LF or CR LF). The last line counts
// without a line end too, as editors may save it so; a line too long for a path does not.
struct ConfigLines {
    std::optional<std::filesystem::path> LogDir;
    std::optional<std::filesystem::path> SourceDir;
    // The third line, "1" or "0": whether MusicXML files are written too. Files of two lines
    // (older ones) leave it unset.
    std::optional<bool> AlsoMusicXml;
};

ConfigLines readConfigFile(const std::filesystem::path &file);

// Writes the lines to a temporary file beside it, which replaces the old one only when
// complete. A path that holds a line break is written as an empty line, which restores
// nothing. Returns false when the file could not be written; callers ignore that.
bool writeConfigFile(const std::filesystem::path &file, const std::filesystem::path &logDir,
                     const std::filesystem::path &sourceDir, bool alsoMusicXml);

} // namespace qm::window

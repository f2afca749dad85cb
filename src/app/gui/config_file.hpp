// The two-line configuration file that remembers the log directory and the source directory
// between starts. Reading and writing fail quietly: a bad file only means nothing is restored.
#pragma once

#include <optional>

#include <QString>

namespace qm::gui {

inline constexpr const char *ConfigFileName = "Quillmark.cfg";

// The lines that were read, without their line ends (LF or CR LF). The last line counts
// without a line end too, as editors may save it so; a line too long for a path does not.
struct ConfigLines {
    std::optional<QString> LogDir;
    std::optional<QString> SourceDir;
    // The third line, "1" or "0": whether MusicXML files are written too. Files of two lines
    // (older ones) leave it unset.
    std::optional<bool> AlsoMusicXml;
};

ConfigLines readConfigFile(const QString &path);

// Writes the lines through a temporary file that replaces the old one only when complete.
// A path that holds a line break is written as an empty line, which restores nothing.
// Returns false when the file could not be written; callers ignore that.
bool writeConfigFile(const QString &path, const QString &logDir, const QString &sourceDir,
                     bool alsoMusicXml = false);

} // namespace qm::gui

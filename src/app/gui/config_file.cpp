#include "app/gui/config_file.hpp"

#include <QByteArray>
#include <QFile>
#include <QOperatingSystemVersion>
#include <QSaveFile>

namespace qm::gui {
namespace {

// Longer lines are not paths we wrote; reading stops there.
constexpr qint64 MaxLineBytes = 4096;

// A line ends at LF (CR LF too) or at the end of the file; nothing left means no line.
std::optional<QString> readWholeLine(QFile &file) {
    if (file.atEnd()) return std::nullopt;
    QByteArray line = file.readLine(MaxLineBytes + 2);
    if (line.endsWith('\n')) {
        line.chop(1);
    } else if (!file.atEnd() || line.size() > MaxLineBytes) {
        return std::nullopt; // longer than any path we write
    }
    if (line.endsWith('\r')) line.chop(1);
    return QFile::decodeName(line);
}

QByteArray encodeLine(const QString &path) {
    const bool hasLineBreak = path.contains(QLatin1Char('\n')) || path.contains(QLatin1Char('\r'));
    QByteArray line = hasLineBreak ? QByteArray() : QFile::encodeName(path);
    const bool windows = QOperatingSystemVersion::currentType() == QOperatingSystemVersion::Windows;
    line += windows ? "\r\n" : "\n";
    return line;
}

} // namespace

ConfigLines readConfigFile(const QString &path) {
    ConfigLines lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return lines;
    lines.LogDir = readWholeLine(file);
    if (lines.LogDir) lines.SourceDir = readWholeLine(file);
    const std::optional<QString> third = lines.SourceDir ? readWholeLine(file) : std::nullopt;
    if (third == QStringLiteral("1") || third == QStringLiteral("0"))
        lines.AlsoMusicXml = third == QStringLiteral("1");
    return lines;
}

bool writeConfigFile(const QString &path, const QString &logDir, const QString &sourceDir,
                     bool alsoMusicXml) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(encodeLine(logDir));
    file.write(encodeLine(sourceDir));
    file.write(encodeLine(alsoMusicXml ? QStringLiteral("1") : QStringLiteral("0")));
    return file.commit();
}

} // namespace qm::gui

// The configuration file on its own: round trip, line ends, and files that are cut short.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "app/gui/config_file.hpp"

using namespace qm::gui;

namespace {

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class ConfigFileTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QVERIFY(Dir.isValid());
        Path = Dir.filePath(QStringLiteral("Quillmark.cfg"));
        QFile::remove(Path);
    }

    void roundTrip() {
        const QString log = QStringLiteral("/tmp/log dir/\u00e9t\u00e9");
        const QString source = QStringLiteral("/home/user/Scores 2");
        QVERIFY(writeConfigFile(Path, log, source));
        const ConfigLines lines = readConfigFile(Path);
        QCOMPARE(lines.LogDir, std::optional<QString>(log));
        QCOMPARE(lines.SourceDir, std::optional<QString>(source));
        // Saving again replaces the old file whole.
        QVERIFY(writeConfigFile(Path, QStringLiteral("/a"), QStringLiteral("/b")));
        QCOMPARE(readConfigFile(Path).SourceDir, std::optional<QString>(QStringLiteral("/b")));
    }

    void readsLines_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("hasLog");
        QTest::addColumn<QString>("log");
        QTest::addColumn<bool>("hasSource");
        QTest::addColumn<QString>("source");
        QTest::newRow("LF") << QByteArray("/l\n/s\n") << true << "/l" << true << "/s";
        QTest::newRow("CR LF") << QByteArray("/l\r\n/s\r\n") << true << "/l" << true << "/s";
        QTest::newRow("extra lines ignored")
            << QByteArray("/l\n/s\n/x\n") << true << "/l" << true << "/s";
        QTest::newRow("one line") << QByteArray("/l\n") << true << "/l" << false << "";
        QTest::newRow("no line end after line 2")
            << QByteArray("/l\n/so") << true << "/l" << true << "/so";
        QTest::newRow("CR only after line 2")
            << QByteArray("/l\r\n/s\r") << true << "/l" << true << "/s";
        QTest::newRow("one line, no line end") << QByteArray("/lo") << true << "/lo" << false << "";
        QTest::newRow("empty file") << QByteArray() << false << "" << false << "";
        QTest::newRow("empty lines") << QByteArray("\n\n") << true << "" << true << "";
        QTest::newRow("overlong line") << QByteArray(5000, 'a') + "\n/s\n"
                                       << false << "" << false << "";
        QTest::newRow("overlong last line")
            << QByteArray("/l\n") + QByteArray(5000, 's') << true << "/l" << false << "";
    }

    void readsLines() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, hasLog);
        QFETCH(QString, log);
        QFETCH(bool, hasSource);
        QFETCH(QString, source);
        writeBytes(Path, bytes);
        const ConfigLines lines = readConfigFile(Path);
        QCOMPARE(lines.LogDir.has_value(), hasLog);
        QCOMPARE(lines.SourceDir.has_value(), hasSource);
        if (hasLog) QCOMPARE(*lines.LogDir, log);
        if (hasSource) QCOMPARE(*lines.SourceDir, source);
    }

    void thirdLineSaysWhetherToWriteMusicXml_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("musicXml"); // -1: not set
        QTest::newRow("older file of two lines") << QByteArray("/l\n/s\n") << -1;
        QTest::newRow("on") << QByteArray("/l\n/s\n1\n") << 1;
        QTest::newRow("off, CR LF") << QByteArray("/l\r\n/s\r\n0\r\n") << 0;
        QTest::newRow("on, no line end") << QByteArray("/l\n/s\n1") << 1;
        QTest::newRow("anything else") << QByteArray("/l\n/s\nyes\n") << -1;
        QTest::newRow("no source line") << QByteArray("/l\n") << -1;
    }

    void thirdLineSaysWhetherToWriteMusicXml() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, musicXml);
        writeBytes(Path, bytes);
        const ConfigLines lines = readConfigFile(Path);
        QCOMPARE(lines.AlsoMusicXml.has_value(), musicXml >= 0);
        if (musicXml >= 0) QCOMPARE(*lines.AlsoMusicXml, musicXml == 1);
        // Written back, the directories stay the first two lines.
        QVERIFY(writeConfigFile(Path, QStringLiteral("/l"), QStringLiteral("/s"), musicXml == 1));
        QFile file(Path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().replace("\r", ""),
                 QByteArray(musicXml == 1 ? "/l\n/s\n1\n" : "/l\n/s\n0\n"));
    }

    void failuresAreQuiet() {
        const ConfigLines missing = readConfigFile(Path);
        QVERIFY(!missing.LogDir && !missing.SourceDir);
        QVERIFY(!writeConfigFile(Dir.filePath(QStringLiteral("no/such/dir/Quillmark.cfg")),
                                 QStringLiteral("/a"), QStringLiteral("/b")));
        // A directory in the file's place cannot be read or replaced.
        QVERIFY(QDir(Dir.path()).mkdir(QStringLiteral("Quillmark.cfg")));
        QVERIFY(!readConfigFile(Path).LogDir);
        QVERIFY(!writeConfigFile(Path, QStringLiteral("/a"), QStringLiteral("/b")));
        QVERIFY(QDir(Dir.path()).rmdir(QStringLiteral("Quillmark.cfg")));
    }

    void lineBreakInPathIsNotWritten() {
        QVERIFY(writeConfigFile(Path, QStringLiteral("/tmp/a\n/etc"), QStringLiteral("/s")));
        const ConfigLines lines = readConfigFile(Path);
        QCOMPARE(lines.LogDir, std::optional<QString>(QString()));
        QCOMPARE(lines.SourceDir, std::optional<QString>(QStringLiteral("/s")));
    }

private:
    QTemporaryDir Dir;
    QString Path;
};

QTEST_MAIN(ConfigFileTest)
#include "config_file_test.moc"

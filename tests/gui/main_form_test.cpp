// The main window driven as a user drives it, on temporary directory trees: runs, count boxes,
// the configuration file, the directory and file lists, and the help window.
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "app/gui/config_file.hpp"
#include "app/gui/directory_list.hpp"
#include "app/gui/file_list.hpp"
#include "app/gui/help_form.hpp"
#include "app/gui/main_form.hpp"
#include "nwtext/nwtext.hpp"

using namespace qm::gui;

namespace {

constexpr int RunTimeoutMs = 60000;

const char *const OneStaveScore = R"(header staves=1 version=200
stave y=1000 count=3
newstave x=10 y=1000
note x=100 y=1000 dur=3 pos=0 stem=0
rest x=140 y=1000 dur=3
)";

void writeBytes(const QString &path, const QByteArray &bytes) {
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void writeScore(const QString &path) {
    const std::vector<std::uint8_t> bytes = qm::nwtext::build(OneStaveScore);
    writeBytes(path, QByteArray(reinterpret_cast<const char *>(bytes.data()),
                                static_cast<qsizetype>(bytes.size())));
}

struct Figures {
    QString Files;
    QString Errors;
    QString Warnings;
};

// The figures the run wrote into the summary of its log.
Figures figuresFromLog(const QString &logDir) {
    const QStringList logs = QDir(logDir).entryList({QStringLiteral("Quillmark_*.log")});
    if (logs.size() != 1) return {};
    QFile file(QDir(logDir).filePath(logs.first()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString log = QString::fromUtf8(file.readAll());
    const auto files =
        QRegularExpression(QStringLiteral("\\*\\*\\* (\\d+) files were created\\. \\*\\*\\*"))
            .match(log);
    const auto totals =
        QRegularExpression(
            QStringLiteral("Finished Updates with (\\d+) errors and (\\d+) warnings"))
            .match(log);
    return {files.captured(1), totals.captured(1), totals.captured(2)};
}

struct Message {
    QMessageBox::Icon Icon;
    QString Text;
};

} // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        Temp = std::make_unique<QTemporaryDir>();
        QVERIFY(Temp->isValid());
        Root = Temp->path();
        StartDir = Root + QStringLiteral("/start");
        SourceDir = Root + QStringLiteral("/scores");
        LogDir = Root + QStringLiteral("/logs");
        for (const QString &dir : {StartDir, SourceDir, LogDir})
            QVERIFY(QDir().mkpath(dir));
        Messages.clear();
        Form = std::make_unique<MainForm>(StartDir);
        Form->setMessageBoxHook([this](QMessageBox::Icon icon, const QString &text) {
            Messages.push_back({icon, text});
        });
    }

    void cleanup() {
        Form.reset();
        Temp.reset();
    }

    void windowShapeAndFocus() {
        QCOMPARE(Form->windowTitle(), QStringLiteral("Quillmark 75 Converter"));
        QCOMPARE(Form->layoutScale(), 1.0); // the test screen has room for the whole layout
        QCOMPARE(Form->minimumSize(), QSize(440, 562));
        QCOMPARE(Form->maximumSize(), QSize(440, 562));
        QVERIFY(!(Form->windowFlags() & Qt::WindowMaximizeButtonHint));
        for (const char *name : {"ModifiedBox", "ErrorBox", "WarningBox"})
            QCOMPARE(box(name)->text(), QStringLiteral("0"));
        // A first start without a configuration shows the start directory on both sides.
        QCOMPARE(sourceList()->directory(), StartDir);
        QCOMPARE(logList()->directory(), StartDir);

        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(QApplication::focusWidget(), button("GoButton"));
        QCOMPARE(button("GoButton")->nextInFocusChain(),
                 Form->findChild<QWidget *>(QStringLiteral("SourceDriveBox")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("SourceDriveBox"));
    }

    void directoryListShowsPathDownThenSubdirectories() {
        const QString dir = Root + QStringLiteral("/a");
        for (const char *sub : {"Zeta", "alpha", "Beta", ".hidden"}) {
            QVERIFY(QDir(dir).mkpath(QString::fromLatin1(sub)));
        }
        DirectoryList list;
        QVERIFY(list.setDirectory(dir));
        const int current = list.itemIndex();
        QCOMPARE(list.getItemPath(current), dir);
        QCOMPARE(list.getItemPath(0), QDir::rootPath());
        QCOMPARE(list.getItemPath(current - 1), Root);
        // Hidden directories too: a run walks them.
        QCOMPARE(list.count(), current + 5);
        QCOMPARE(list.item(current + 1)->text(), QStringLiteral(".hidden"));
        QCOMPARE(list.item(current + 2)->text(), QStringLiteral("alpha"));
        QCOMPARE(list.item(current + 3)->text(), QStringLiteral("Beta"));
        QCOMPARE(list.item(current + 4)->text(), QStringLiteral("Zeta"));

        QSignalSpy changed(&list, &DirectoryList::changed);
        list.setCurrentRow(current + 3);
        list.openSelected();
        QCOMPARE(list.directory(), dir + QStringLiteral("/Beta"));
        QCOMPARE(changed.count(), 1);
        list.setCurrentRow(list.itemIndex());
        list.openSelected(); // the current entry: nothing moves
        QCOMPARE(changed.count(), 1);
        list.setCurrentRow(list.itemIndex() - 1);
        list.openSelected();
        QCOMPARE(list.directory(), dir);

        // An entry whose directory went away is dropped, and the list stays where it was.
        QVERIFY(QDir(dir).rmdir(QStringLiteral("Zeta")));
        list.setCurrentRow(list.itemIndex() + 4);
        list.openSelected();
        QCOMPARE(list.directory(), dir);
        QCOMPARE(list.count(), list.itemIndex() + 4);
        // A current directory that went away gives way to its parent.
        QVERIFY(list.setDirectory(dir + QStringLiteral("/alpha")));
        QVERIFY(QDir(dir).rmdir(QStringLiteral("alpha")));
        list.rebuild();
        QCOMPARE(list.directory(), dir);
        QVERIFY(!list.setDirectory(dir + QStringLiteral("/missing")));
        QCOMPARE(list.directory(), dir);
    }

    void fileListShowsNwFilesWithoutRegardToCase() {
        for (const char *name :
             {"b.NW", "a.nw", "C.nw", ".hidden.nw", "x.nwc", "y.nw.bak", "z.txt"}) {
            writeBytes(SourceDir + QLatin1Char('/') + QString::fromLatin1(name), "x");
        }
        QVERIFY(QDir(SourceDir).mkdir(QStringLiteral("dir.nw")));
        QVERIFY(::mkfifo(QFile::encodeName(SourceDir + QStringLiteral("/pipe.nw")).constData(),
                         0600) == 0);
        sourceList()->setDirectory(SourceDir);
        QCOMPARE(Form->findChild<FileList *>(QStringLiteral("SourceFileBox"))->names(),
                 QStringList({".hidden.nw", "a.nw", "b.NW", "C.nw"}));
    }

    void runConvertsTreeAndCountBoxesShowItsFigures() {
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        writeScore(SourceDir + QStringLiteral("/B.NW"));
        writeBytes(SourceDir + QStringLiteral("/sub/broken.nw"), "not a score");
        writeScore(SourceDir + QStringLiteral("/sub/deeper/d.nw"));
        writeBytes(SourceDir + QStringLiteral("/notes.txt"), "text");
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        Form->show();

        QSignalSpy progress(&Form->runWorker(), &RunWorker::progressed);
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        QTest::mouseClick(button("GoButton"), Qt::LeftButton);
        QVERIFY(Form->isRunning());
        for (const char *control :
             {"GoButton", "SourceDirBox", "SourceDriveBox", "LogFileBox", "LogFileDrive"}) {
            QVERIFY2(!Form->findChild<QWidget *>(QLatin1String(control))->isEnabled(), control);
        }
        // Counts stay readable, and Help and Quit stay at hand.
        for (const char *control :
             {"ModifiedBox", "ErrorBox", "WarningBox", "HelpButton", "CloseButton"}) {
            QVERIFY2(Form->findChild<QWidget *>(QLatin1String(control))->isEnabled(), control);
        }
        QVERIFY(finished.wait(RunTimeoutMs));

        QVERIFY(button("GoButton")->isEnabled());
        QVERIFY(Messages.empty());
        for (const char *output : {"a.nwc", "B.nwc", "sub/broken.nwc", "sub/deeper/d.nwc"}) {
            QVERIFY2(QFileInfo::exists(SourceDir + QLatin1Char('/') + QLatin1String(output)),
                     output);
        }
        const Figures figures = figuresFromLog(LogDir);
        QCOMPARE(figures.Files, QStringLiteral("4"));
        QVERIFY(figures.Errors.toInt() >= 1); // the broken file at least
        QCOMPARE(box("ModifiedBox")->text(), figures.Files);
        QCOMPARE(box("ErrorBox")->text(), figures.Errors);
        QCOMPARE(box("WarningBox")->text(), figures.Warnings);
        // The counts travelled live while the run went on, ending at the run's figures.
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toString(), figures.Files);
        QCOMPARE(progress.last().at(1).toString(), figures.Errors);

        // The run saved both directories for the next start.
        const ConfigLines saved = readConfigFile(Form->configFilePath());
        QCOMPARE(saved.LogDir, std::optional<QString>(LogDir));
        QCOMPARE(saved.SourceDir, std::optional<QString>(SourceDir));

        // The status line says the run ended and links to its log, which the link opens.
        const QString logPath = LogDir + QStringLiteral("/Quillmark_0.log");
        QLabel *status = label("RunStatusLine");
        QVERIFY2(status->text().startsWith(QStringLiteral("Finished: 4 files, log <a href=\"") +
                                           QUrl::fromLocalFile(logPath).toString()),
                 qPrintable(status->text()));
        QStringList opened;
        Form->setOpenFileHook([&opened](const QString &path) { opened << path; });
        emit status->linkActivated(QUrl::fromLocalFile(logPath).toString());
        QCOMPARE(opened, QStringList({logPath}));
    }

    void musicXmlBoxAddsMusicXmlFilesAndIsRemembered() {
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        Form->show();
        auto *musicXml = Form->findChild<QCheckBox *>(QStringLiteral("MusicXmlBox"));
        QVERIFY(musicXml != nullptr);
        QCOMPARE(musicXml->text(), QStringLiteral("Also write MusicXML"));
        QVERIFY(!musicXml->isChecked());
        QTest::mouseClick(musicXml, Qt::LeftButton);
        QVERIFY(musicXml->isChecked());
        runAndWait();
        QVERIFY(QFileInfo::exists(SourceDir + QStringLiteral("/a.nwc")));
        // A file the MusicXML 4.0 schema accepts (xmllint comes with the test dependencies).
        QCOMPARE(QProcess::execute(QStringLiteral("xmllint"),
                                   {QStringLiteral("--noout"), QStringLiteral("--schema"),
                                    QStringLiteral(QUILLMARK_MUSICXML_SCHEMA),
                                    SourceDir + QStringLiteral("/a.musicxml")}),
                 0);
        QCOMPARE(readConfigFile(Form->configFilePath()).AlsoMusicXml, std::optional<bool>(true));

        // A saved "0" clears it; an older file of two lines leaves it as it is.
        writeBytes(Form->configFilePath(), (LogDir + "\n" + SourceDir + "\n0\n").toUtf8());
        Form->formActivate();
        QVERIFY(!musicXml->isChecked());
        musicXml->setChecked(true);
        writeBytes(Form->configFilePath(), (LogDir + "\n" + SourceDir + "\n").toUtf8());
        Form->formActivate();
        QVERIFY(musicXml->isChecked());
    }

    void sourceChangeResetsCountsLogChangeDoesNot() {
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        writeBytes(SourceDir + QStringLiteral("/sub/broken.nw"), "junk");
        QVERIFY(QDir(LogDir).mkdir(QStringLiteral("older")));
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        Form->show();
        runAndWait();
        const QString files = box("ModifiedBox")->text();
        const QString errors = box("ErrorBox")->text();
        QCOMPARE(files, QStringLiteral("2"));

        clickEntry(logList(), QStringLiteral("older"));
        QCOMPARE(logList()->directory(), LogDir + QStringLiteral("/older"));
        QCOMPARE(box("ModifiedBox")->text(), files);
        QCOMPARE(box("ErrorBox")->text(), errors);

        Form->logFileDriveChange();
        QCOMPARE(logList()->directory(), QDir::cleanPath(QStorageInfo(LogDir).rootPath()));
        QCOMPARE(box("ModifiedBox")->text(), files);

        clickEntry(sourceList(), QStringLiteral("sub"));
        QCOMPARE(sourceList()->directory(), SourceDir + QStringLiteral("/sub"));
        QCOMPARE(Form->findChild<FileList *>(QStringLiteral("SourceFileBox"))->names(),
                 QStringList({"broken.nw"}));
        for (const char *name : {"ModifiedBox", "ErrorBox", "WarningBox"}) {
            QCOMPARE(box(name)->text(), QStringLiteral("0"));
        }

        runAndWait();
        QCOMPARE(box("ModifiedBox")->text(), QStringLiteral("1"));
        Form->sourceDriveBoxChange();
        QCOMPARE(sourceList()->directory(), QDir::cleanPath(QStorageInfo(SourceDir).rootPath()));
        for (const char *name : {"ModifiedBox", "ErrorBox", "WarningBox"}) {
            QCOMPARE(box(name)->text(), QStringLiteral("0"));
        }
    }

    void activationLoadsConfiguration_data() {
        QTest::addColumn<QByteArray>("config"); // empty: no file
        QTest::addColumn<QString>("expectedLog");
        QTest::addColumn<QString>("expectedSource");
        QTest::newRow("both lines") << QByteArray("LOG\nSRC\n") << "LOG"
                                    << "SRC";
        QTest::newRow("CR LF") << QByteArray("LOG\r\nSRC\r\n") << "LOG"
                               << "SRC";
        QTest::newRow("no file") << QByteArray() << "START"
                                 << "START";
        QTest::newRow("no line end") << QByteArray("LOG\nSRC") << "LOG"
                                     << "SRC";
        QTest::newRow("one line") << QByteArray("LOG\n") << "LOG"
                                  << "START";
        QTest::newRow("deleted log dir") << QByteArray("GONE\nSRC\n") << "START"
                                         << "SRC";
        QTest::newRow("relative paths") << QByteArray("logs\nscores\n") << "START"
                                        << "START";
        QTest::newRow("a file, not a dir") << QByteArray("FILE\nFILE\n") << "START"
                                           << "START";
    }

    void activationLoadsConfiguration() {
        QFETCH(QByteArray, config);
        QFETCH(QString, expectedLog);
        QFETCH(QString, expectedSource);
        writeBytes(Root + QStringLiteral("/plain-file"), "x");
        const auto expand = [this](QString text) {
            return text.replace(QStringLiteral("START"), StartDir)
                .replace(QStringLiteral("LOG"), LogDir)
                .replace(QStringLiteral("SRC"), SourceDir)
                .replace(QStringLiteral("GONE"), Root + QStringLiteral("/gone"))
                .replace(QStringLiteral("FILE"), Root + QStringLiteral("/plain-file"));
        };
        if (!config.isEmpty()) writeBytes(Form->configFilePath(), expand(config).toUtf8());

        Form->formActivate();
        QCOMPARE(logList()->directory(), expand(expectedLog));
        QCOMPARE(sourceList()->directory(), expand(expectedSource));
        QCOMPARE(Form->findChild<FileList *>(QStringLiteral("SourceFileBox"))->directory(),
                 expand(expectedSource));
    }

    void returningFromHelpWindowRestoresSavedDirectories() {
        QVERIFY(QFile::copy(QStringLiteral(QUILLMARK_README_RTF),
                            StartDir + QStringLiteral("/ReadMe.rtf")));
        QVERIFY(writeConfigFile(Form->configFilePath(), LogDir, SourceDir));
        Form->show();
        // Showing loads it, whether or not the window manager makes the window active.
        QCOMPARE(sourceList()->directory(), SourceDir);
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));

        sourceList()->setDirectory(Root);
        Form->helpClick();
        QVERIFY(QTest::qWaitForWindowActive(Form->helpForm()));
        QCOMPARE(sourceList()->directory(), Root);
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(sourceList()->directory(), SourceDir);
        QCOMPARE(logList()->directory(), LogDir);
    }

    void helpTwiceShowsOneWindow() {
        const QString helpFile = StartDir + QStringLiteral("/ReadMe.rtf");
        QVERIFY(QFile::copy(QStringLiteral(QUILLMARK_README_RTF), helpFile));
        Form->show();
        Form->helpClick();
        HelpForm *help = Form->helpForm();
        QVERIFY(help->isVisible());
        QCOMPARE(help->windowTitle(), QStringLiteral("Quillmark Help"));
        QVERIFY(
            help->textBox()->toPlainText().startsWith(QStringLiteral("Quillmark 75 Converter")));
        QCOMPARE(help->textBox()->textCursor().position(), 0); // opens at the top

        writeBytes(helpFile, R"({\rtf1 Changed {\b text}})");
        QTest::mouseClick(button("HelpButton"), Qt::LeftButton);
        QCOMPARE(Form->helpForm(), help);
        QCOMPARE(help->textBox()->toPlainText(), QStringLiteral("Changed text")); // reloaded
        int helpWindows = 0;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<HelpForm *>(widget) != nullptr) ++helpWindows;
        }
        QCOMPARE(helpWindows, 1);
        QVERIFY(Messages.empty());
    }

    void missingHelpFileGivesMessageBox() {
        Form->helpClick();
        QCOMPARE(Messages.size(), std::size_t{1});
        QCOMPARE(Messages[0].Icon, QMessageBox::Critical);
        QCOMPARE(Messages[0].Text, QStringLiteral("Help file not found."));
        QVERIFY(!Form->helpForm()->isVisible());
        QCOMPARE(Form->helpForm()->textBox()->toPlainText(), QStringLiteral("HelpTextBox"));
    }

    // The program's own help file wins over any ReadMe.rtf of the start directory.
    void helpShowsTheProgramsOwnFile_data() {
        QTest::addColumn<QStringList>("present"); // where a ReadMe.rtf is: bin, share, start
        QTest::addColumn<QString>("shown");       // whose text Help shows; empty: none found
        QTest::newRow("beside the program") << QStringList{"bin", "share", "start"} << "bin";
        QTest::newRow("installed data dir") << QStringList{"share", "start"} << "share";
        QTest::newRow("start dir only") << QStringList{"start"} << "start";
        QTest::newRow("none") << QStringList{} << "";
    }

    void helpShowsTheProgramsOwnFile() {
        QFETCH(QStringList, present);
        QFETCH(QString, shown);
        const QMap<QString, QString> dirs{
            {"bin", Root + QStringLiteral("/prefix/bin")},
            {"share", Root + QStringLiteral("/prefix/share/quillmark")},
            {"start", StartDir}};
        for (const QString &where : present)
            writeBytes(dirs[where] + QStringLiteral("/ReadMe.rtf"),
                       QByteArray("{\\rtf1 help from ") + where.toLatin1() + "}");
        MainForm form(StartDir, dirs["bin"]);
        form.setMessageBoxHook([this](QMessageBox::Icon icon, const QString &text) {
            Messages.push_back({icon, text});
        });
        form.helpClick();
        if (shown.isEmpty()) {
            QCOMPARE(Messages.size(), std::size_t{1});
            QCOMPARE(Messages[0].Text, QStringLiteral("Help file not found."));
            return;
        }
        QVERIFY(Messages.empty());
        QVERIFY(form.helpForm()->isVisible());
        QCOMPARE(form.helpForm()->textBox()->toPlainText(), QStringLiteral("help from ") + shown);
    }

    void runThatCannotStartSaysSoAndKeepsTheSavedChoice() {
        const QString goneLog = Root + QStringLiteral("/gone");
        QVERIFY(QDir().mkpath(goneLog));
        QVERIFY(writeConfigFile(Form->configFilePath(), LogDir, SourceDir));
        sourceList()->setDirectory(Root);
        logList()->setDirectory(goneLog);
        QVERIFY(QDir(goneLog).removeRecursively());
        runAndWait();
        QCOMPARE(Messages.size(), std::size_t{1});
        QCOMPARE(Messages[0].Icon, QMessageBox::Critical);
        QVERIFY(!Messages[0].Text.isEmpty());
        QVERIFY(button("GoButton")->isEnabled());
        QCOMPARE(box("ModifiedBox")->text(), QStringLiteral("0"));
        QVERIFY(label("RunStatusLine")->text().startsWith(QStringLiteral("Stopped: ")));
        // No log, so the directories of the last good run stay saved.
        const ConfigLines saved = readConfigFile(Form->configFilePath());
        QCOMPARE(saved.LogDir, std::optional<QString>(LogDir));
        QCOMPARE(saved.SourceDir, std::optional<QString>(SourceDir));
    }

    void runOverNoScoresSaysSo() {
        writeBytes(SourceDir + QStringLiteral("/notes.txt"), "text");
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        runAndWait();
        QVERIFY2(label("RunStatusLine")->text().startsWith(QStringLiteral("No .nw files found")),
                 qPrintable(label("RunStatusLine")->text()));
        QVERIFY(QFileInfo::exists(LogDir + QStringLiteral("/Quillmark_0.log")));
        // A new choice of source clears the last run's line.
        clickRow(sourceList(), sourceList()->itemIndex() - 1);
        QCOMPARE(sourceList()->directory(), Root);
        QVERIFY(label("RunStatusLine")->text().startsWith(QStringLiteral("Ready")));
    }

    // Quit, the close box and Alt+F4 (both a close request) wait for the run, and say so.
    void quitDuringRunClosesWhenRunEnds_data() {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("Quit button") << true;
        QTest::newRow("close request") << false;
    }

    void quitDuringRunClosesWhenRunEnds() {
        QFETCH(bool, byButton);
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        Form->show();
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        Form->goButtonClick();
        QVERIFY(Form->isRunning());
        if (byButton)
            QTest::mouseClick(button("CloseButton"), Qt::LeftButton);
        else
            QVERIFY(!Form->close());
        QVERIFY(Form->isVisible());
        QVERIFY(Form->isQuitPending());
        QVERIFY(!button("CloseButton")->isEnabled());
        QVERIFY(label("RunStatusLine")->text().startsWith(QStringLiteral("Quit pending")));
        QVERIFY(finished.wait(RunTimeoutMs));
        QVERIFY(!Form->isVisible());
        QVERIFY(QFileInfo::exists(SourceDir + QStringLiteral("/a.nwc")));
        QVERIFY(Messages.empty());
    }

    // The keyboard moves a focus frame; the highlight stays on the chosen directory until
    // Enter chooses, and then the file box, tooltip and status line follow at once.
    void keyboardChoosesOnlyWithEnter() {
        for (const char *sub : {"one", "two"})
            QVERIFY(QDir(SourceDir).mkpath(QString::fromLatin1(sub)));
        writeScore(SourceDir + QStringLiteral("/two/t.nw"));
        sourceList()->setDirectory(SourceDir);
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        DirectoryList *list = sourceList();
        list->setFocus();
        const int chosen = list->itemIndex();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), chosen + 2);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(chosen)});
        QCOMPARE(list->directory(), SourceDir);
        QCOMPARE(fileBox()->directory(), SourceDir);

        // The focus frame can be seen: the entry looks different once the list loses focus.
        const QRect row = list->visualItemRect(list->item(chosen + 2));
        const QImage focused = list->viewport()->grab(row).toImage();
        button("GoButton")->setFocus();
        QCOMPARE(list->currentRow(), chosen); // a frame left behind would look like a choice
        QVERIFY(list->viewport()->grab(row).toImage() != focused);

        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        const QString two = SourceDir + QStringLiteral("/two");
        QCOMPARE(list->directory(), two);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(list->itemIndex())});
        QCOMPARE(fileBox()->names(), QStringList{"t.nw"});
        QVERIFY(list->toolTip().endsWith(two));
        QCOMPARE(label("SourcePathLine")->toolTip(), QStringLiteral("Source: ") + two);
        QCOMPARE(label("LogPathLine")->toolTip(), QStringLiteral("Log folder: ") + StartDir);

        // Only the chosen entry shows an open folder.
        const auto iconOf = [list](int index) {
            return list->item(index)->icon().pixmap(16).toImage();
        };
        const int current = list->itemIndex();
        QVERIFY(iconOf(current) != iconOf(current - 1));
        QCOMPARE(iconOf(current - 1), iconOf(0));
    }

    // Opening and closing a drive box's list is no trip to another window: the directories
    // chosen since the last run stay.
    void driveBoxDropDownKeepsTheChoice() {
        QVERIFY(writeConfigFile(Form->configFilePath(), LogDir, SourceDir));
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(sourceList()->directory(), SourceDir);
        clickRow(sourceList(), sourceList()->itemIndex() - 1);
        QCOMPARE(sourceList()->directory(), Root);
        for (const char *name : {"SourceDriveBox", "LogFileDrive"}) {
            auto *drives = Form->findChild<DriveSelector *>(QLatin1String(name));
            drives->showPopup();
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            // Under X the list takes the focus as a window of its own.
            QWindow *popup = QApplication::activePopupWidget()->windowHandle();
            popup->requestActivate();
            QTRY_COMPARE(QGuiApplication::focusWindow(), popup);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
            Form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(Form.get()));
            QTest::qWait(50);
            QCOMPARE(sourceList()->directory(), Root);
        }
    }

    // The lists show what a run walks: hidden directories, and links marked as not followed;
    // the file box lists only names a run converts.
    void listsShowWhatTheRunWalks() {
        const QString elsewhere = Root + QStringLiteral("/elsewhere");
        writeScore(SourceDir + QStringLiteral("/.hidden/h.nw"));
        writeScore(SourceDir + QStringLiteral("/plain/p.nw"));
        writeScore(elsewhere + QStringLiteral("/e.nw"));
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        writeScore(SourceDir + QStringLiteral("/a.nw.nw"));
        QVERIFY(QFile::link(elsewhere, SourceDir + QStringLiteral("/link")));
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        QCOMPARE(fileBox()->names(), QStringList{"a.nw"});

        QStringList walked;
        QStringList notFollowed;
        DirectoryList *list = sourceList();
        for (int i = list->itemIndex() + 1; i < list->count(); ++i)
            (list->isLinkEntry(i) ? notFollowed : walked) << list->getItemPath(i);
        QCOMPARE(walked, QStringList({SourceDir + "/.hidden", SourceDir + "/plain"}));
        QCOMPARE(notFollowed, QStringList({SourceDir + "/link"}));

        runAndWait();
        QCOMPARE(box("ModifiedBox")->text(), QStringLiteral("3"));
        for (const QString &dir : walked)
            QVERIFY2(!QDir(dir).entryList({QStringLiteral("*.nwc")}).isEmpty(), qPrintable(dir));
        QVERIFY(QDir(elsewhere).entryList({QStringLiteral("*.nwc")}).isEmpty());
        QVERIFY(!QFileInfo::exists(SourceDir + QStringLiteral("/a.nw.nwc")));
    }

    // Alt+G, Alt+H, F1 and Alt+Q do what the buttons do.
    void keysReachTheButtons() {
        QVERIFY(QFile::copy(QStringLiteral(QUILLMARK_README_RTF),
                            StartDir + QStringLiteral("/ReadMe.rtf")));
        sourceList()->setDirectory(SourceDir);
        logList()->setDirectory(LogDir);
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        for (const auto &[key, modifier] :
             {std::pair{Qt::Key_H, Qt::AltModifier}, std::pair{Qt::Key_F1, Qt::NoModifier}}) {
            Form->helpForm()->hide();
            Form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(Form.get()));
            QTest::keyClick(Form.get(), key, modifier);
            QTRY_VERIFY(Form->helpForm()->isVisible()); // a mnemonic animates the click first
        }
        Form->helpForm()->hide();
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        QTest::keyClick(Form.get(), Qt::Key_G, Qt::AltModifier);
        QVERIFY(finished.wait(RunTimeoutMs));
        QVERIFY(QFileInfo::exists(LogDir + QStringLiteral("/Quillmark_0.log")));
        QTest::keyClick(Form.get(), Qt::Key_Q, Qt::AltModifier);
        QTRY_VERIFY(!Form->isVisible());
    }

    void messageBoxesCarryTheWindowTitleAndOk() {
        for (const QMessageBox::Icon icon : {QMessageBox::Critical, QMessageBox::Warning}) {
            const auto messageBox = makeMessageBox(Form.get(), icon, QStringLiteral("text"));
            QCOMPARE(messageBox->windowTitle(), QStringLiteral("Quillmark 75 Converter"));
            QCOMPARE(messageBox->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(messageBox->icon(), icon);
        }
    }

private:
    QLineEdit *box(const char *name) const {
        return Form->findChild<QLineEdit *>(QLatin1String(name));
    }
    QPushButton *button(const char *name) const {
        return Form->findChild<QPushButton *>(QLatin1String(name));
    }
    QLabel *label(const char *name) const { return Form->findChild<QLabel *>(QLatin1String(name)); }
    FileList *fileBox() const {
        return Form->findChild<FileList *>(QStringLiteral("SourceFileBox"));
    }
    DirectoryList *sourceList() const {
        return Form->findChild<DirectoryList *>(QStringLiteral("SourceDirBox"));
    }
    DirectoryList *logList() const {
        return Form->findChild<DirectoryList *>(QStringLiteral("LogFileBox"));
    }

    void runAndWait() {
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        Form->goButtonClick();
        QVERIFY(finished.wait(RunTimeoutMs));
    }

    // Clicks the entry with the given text, as the mouse would.
    static void clickRow(DirectoryList *list, int row) {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }

    static void clickEntry(DirectoryList *list, const QString &text) {
        const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list->scrollToItem(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(found.first()).center());
    }

    std::unique_ptr<QTemporaryDir> Temp;
    QString Root;
    QString StartDir;
    QString SourceDir;
    QString LogDir;
    std::unique_ptr<MainForm> Form;
    std::vector<Message> Messages;
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"

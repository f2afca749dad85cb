// What only the Qt window shows: its shape, keyboard, names for screen readers, the focus frame
// of the lists, the drive boxes' pop-ups, the status line's link, the help window, and a run
// started and stopped from the keyboard. What the window does is tested through the model's
// fake view (tests/unit/window_model_test.cpp).
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "app/gui/directory_list.hpp"
#include "app/gui/drive_selector.hpp"
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

QString readText(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

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
    }

    void cleanup() {
        Form.reset();
        Temp.reset();
    }

    void shapeKeyboardAndNames() {
        QVERIFY(QDir(StartDir).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile::link(Root, StartDir + QStringLiteral("/up")));
        makeForm();
        QCOMPARE(Form->windowTitle(), QStringLiteral("Quillmark 75 Converter"));
        QCOMPARE(Form->layoutScale(), 1.0); // the test screen has room for the whole layout
        QCOMPARE(Form->minimumSize(), QSize(440, 580));
        QCOMPARE(Form->maximumSize(), QSize(440, 580));
        QVERIFY(!(Form->windowFlags() & Qt::WindowMaximizeButtonHint));
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(QApplication::focusWidget(), button("GoButton"));

        // Tab from "Go!" through the choices to the buttons; the count boxes are no stops, nor
        // is Stop while no run goes on.
        QStringList order;
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order,
                 QStringList({"SourceDriveBox", "SourceDirBox", "SourceFileBox", "LogFileDrive",
                              "LogFileBox", "MusicXmlBox", "HelpButton", "CloseButton"}));

        // Each control a screen reader meets has a name of its own, and a link says in words
        // that a run does not follow it.
        QStringList names;
        for (const char *name : {"SourceDriveBox", "SourceDirBox", "SourceFileBox", "LogFileDrive",
                                 "LogFileBox", "ModifiedBox", "ErrorBox", "WarningBox"})
            names << child<QWidget>(name)->accessibleName();
        QVERIFY(!names.contains(QString()));
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        auto *list = child<DirectoryList>("SourceDirBox");
        QCOMPARE(
            list->findItems(QStringLiteral("up (link, not followed)"), Qt::MatchExactly).size(), 1);

        // Mnemonics: the labels lead to their lists, Alt+M ticks the MusicXML box.
        QTest::keyClick(Form.get(), Qt::Key_L, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("LogFileBox"));
        QTest::keyClick(Form.get(), Qt::Key_S, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("SourceDirBox"));
        QTest::keyClick(Form.get(), Qt::Key_M, Qt::AltModifier);
        QTRY_VERIFY(child<QCheckBox>("MusicXmlBox")->isChecked());
        QVERIFY(Form->model().alsoMusicXml());

        // Only the focused button is drawn as the default one.
        button("HelpButton")->setFocus();
        QVERIFY(button("HelpButton")->isDefault());
        QVERIFY(!button("GoButton")->isDefault());
        button("GoButton")->setFocus();
        QVERIFY(!button("HelpButton")->isDefault());
        QVERIFY(button("GoButton")->isDefault());
    }

    // The keyboard moves a focus frame; the highlight stays on the chosen directory until
    // Enter chooses, and then the file box, tooltip and status line follow at once.
    void keyboardChoosesOnlyWithEnter() {
        for (const char *sub : {"one", "two"})
            QVERIFY(QDir(StartDir).mkpath(QString::fromLatin1(sub)));
        writeScore(StartDir + QStringLiteral("/two/t.nw"));
        makeForm();
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        DirectoryList *list = child<DirectoryList>("SourceDirBox");
        list->setFocus();
        const int chosen = list->itemIndex();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), chosen + 2);
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(chosen)});

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
        const QString two = StartDir + QStringLiteral("/two");
        QCOMPARE(list->selectedItems(), QList<QListWidgetItem *>{list->item(list->itemIndex())});
        QCOMPARE(list->item(list->itemIndex())->text(), QStringLiteral("two"));
        QCOMPARE(child<QListWidget>("SourceFileBox")->item(0)->text(), QStringLiteral("t.nw"));
        QVERIFY(list->toolTip().endsWith(two));
        QCOMPARE(label("SourcePathLine")->toolTip(), QStringLiteral("Source: ") + two);

        // Only the chosen entry shows an open folder.
        const auto iconOf = [list](int index) {
            return list->item(index)->icon().pixmap(16).toImage();
        };
        const int current = list->itemIndex();
        QVERIFY(iconOf(current) != iconOf(current - 1));
        QCOMPARE(iconOf(current - 1), iconOf(0));
    }

    // Opening and closing a drive box's list is no trip to another window, and choosing the
    // drive it already shows is no change: the directories chosen since stay.
    void driveBoxesKeepTheChoice() {
        writeConfig(LogDir, SourceDir);
        makeForm();
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(Form->model().directory(qm::window::Side::Source).string(),
                 SourceDir.toStdString());
        auto *list = child<DirectoryList>("SourceDirBox");
        clickRow(list, list->itemIndex() - 1);
        const std::string root = Root.toStdString();
        QCOMPARE(Form->model().directory(qm::window::Side::Source).string(), root);
        for (const char *name : {"SourceDriveBox", "LogFileDrive"}) {
            auto *drives = child<DriveSelector>(name);
            drives->showPopup();
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            // Under X the list takes the focus as a window of its own.
            QWindow *popup = QApplication::activePopupWidget()->windowHandle();
            popup->requestActivate();
            QTRY_COMPARE(QGuiApplication::focusWindow(), popup);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
            emit drives->activated(drives->currentIndex()); // the same drive, chosen again
            Form->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(Form.get()));
            QTest::qWait(50);
            QCOMPARE(Form->model().directory(qm::window::Side::Source).string(), root);
            QCOMPARE(Form->model().directory(qm::window::Side::Log).string(), LogDir.toStdString());
        }
    }

    void runShowsProgressFiguresAndTheLogLink() {
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        writeScore(SourceDir + QStringLiteral("/sub/b.nw"));
        writeConfig(LogDir, SourceDir);
        makeForm();
        Form->show();
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        QTest::mouseClick(button("GoButton"), Qt::LeftButton);
        QVERIFY(Form->isRunning());
        QVERIFY(child<QProgressBar>("ProgressBar")->isVisible());
        QVERIFY(button("StopButton")->isEnabled());
        QVERIFY(!button("GoButton")->isEnabled());
        QVERIFY(finished.wait(RunTimeoutMs));

        QVERIFY(!child<QProgressBar>("ProgressBar")->isVisible());
        const QString logPath = LogDir + QStringLiteral("/Quillmark_0.log");
        const QString log = readText(logPath);
        const auto files =
            QRegularExpression(QStringLiteral("\\*\\*\\* (\\d+) files were created")).match(log);
        const auto totals =
            QRegularExpression(QStringLiteral("with (\\d+) errors and (\\d+) warnings")).match(log);
        QCOMPARE(box("ModifiedBox")->text(), files.captured(1));
        QCOMPARE(box("ErrorBox")->text(), totals.captured(1));
        QCOMPARE(box("WarningBox")->text(), totals.captured(2));
        QCOMPARE(box("ModifiedBox")->text(), QStringLiteral("2"));

        // The status line links to the log, which the link opens.
        QLabel *status = label("RunStatusLine");
        QVERIFY2(
            status->text().startsWith(QStringLiteral("Finished: 2 files created, log <a href=\"") +
                                      QUrl::fromLocalFile(logPath).toString()),
            qPrintable(status->text()));
        QStringList opened;
        Form->setOpenFileHook([&opened](const QString &path) {
            opened << path;
            return true;
        });
        emit status->linkActivated(QUrl::fromLocalFile(logPath).toString());
        QCOMPARE(opened, QStringList({logPath}));
    }

    // Escape ends the run after the file in hand; the log says it was interrupted.
    void escapeStopsTheRun() {
        for (int i = 0; i < 1500; ++i)
            writeScore(SourceDir + QStringLiteral("/s%1.nw").arg(i));
        writeConfig(LogDir, SourceDir);
        makeForm();
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        QTest::keyClick(Form.get(), Qt::Key_G, Qt::AltModifier);
        QTRY_VERIFY(Form->isRunning());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!button("StopButton")->isEnabled());
        QVERIFY(finished.wait(RunTimeoutMs));
        QVERIFY2(label("RunStatusLine")->text().startsWith(QStringLiteral("Stopped after ")),
                 qPrintable(label("RunStatusLine")->text()));
        QVERIFY(readText(LogDir + QStringLiteral("/Quillmark_0.log"))
                    .contains(QStringLiteral("*** Run interrupted after ")));
        QVERIFY(Messages.empty());
    }

    // The close box and Alt+F4 wait for the run, and the window closes when it ends.
    void closeDuringRunWaitsForIt() {
        writeScore(SourceDir + QStringLiteral("/a.nw"));
        writeConfig(LogDir, SourceDir);
        makeForm();
        Form->show();
        QSignalSpy finished(Form.get(), &MainForm::runFinished);
        button("GoButton")->click();
        QVERIFY(!Form->close());
        QVERIFY(Form->isVisible());
        QVERIFY(!button("CloseButton")->isEnabled());
        QVERIFY(label("RunStatusLine")->text().startsWith(QStringLiteral("Quit pending")));
        QVERIFY(finished.wait(RunTimeoutMs));
        QTRY_VERIFY(!Form->isVisible());
        QVERIFY(QFileInfo::exists(SourceDir + QStringLiteral("/a.nwc")));
    }

    // Help shows the RTF file at the top, in one window however often it is asked for; Escape
    // closes it; coming back from it puts the lists where the last run left them.
    void helpWindow() {
        const QString helpFile = StartDir + QStringLiteral("/ReadMe.rtf");
        QVERIFY(QFile::copy(QStringLiteral(QUILLMARK_README_RTF), helpFile));
        writeConfig(LogDir, SourceDir);
        makeForm();
        Form->show();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        auto *list = child<DirectoryList>("SourceDirBox");
        clickRow(list, list->itemIndex() - 1);
        QCOMPARE(Form->model().directory(qm::window::Side::Source).string(), Root.toStdString());

        QTest::keyClick(Form.get(), Qt::Key_F1);
        HelpForm *help = Form->helpForm();
        QVERIFY(QTest::qWaitForWindowActive(help));
        QCOMPARE(help->windowTitle(), QStringLiteral("Quillmark Help"));
        QVERIFY(
            help->textBox()->toPlainText().startsWith(QStringLiteral("Quillmark 75 Converter")));
        QCOMPARE(help->textBox()->textCursor().position(), 0);
        writeBytes(helpFile, R"({\rtf1 Changed {\b text}})");
        Form->helpClick();
        QCOMPARE(help->textBox()->toPlainText(), QStringLiteral("Changed text"));
        int helpWindows = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            helpWindows += qobject_cast<HelpForm *>(top) != nullptr;
        QCOMPARE(helpWindows, 1);

        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(help, Qt::Key_Escape);
        QVERIFY(!help->isVisible());
        Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form.get()));
        QCOMPARE(Form->model().directory(qm::window::Side::Source).string(),
                 SourceDir.toStdString());
        QVERIFY(Messages.empty());
    }

    void messageBoxesCarryTheWindowTitleAndOk() {
        makeForm();
        for (const QMessageBox::Icon icon : {QMessageBox::Critical, QMessageBox::Warning}) {
            const auto messageBox = makeMessageBox(Form.get(), icon, QStringLiteral("text"));
            QCOMPARE(messageBox->windowTitle(), QStringLiteral("Quillmark 75 Converter"));
            QCOMPARE(messageBox->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QCOMPARE(messageBox->icon(), icon);
        }
    }

private:
    void makeForm() {
        Form = std::make_unique<MainForm>(StartDir);
        Form->setMessageBoxHook(
            [this](QMessageBox::Icon, const QString &text) { Messages.push_back(text); });
    }
    void writeConfig(const QString &log, const QString &source) {
        writeBytes(StartDir + QStringLiteral("/Quillmark.cfg"),
                   (log + "\n" + source + "\n").toUtf8());
    }
    template <class T> T *child(const char *name) const {
        return Form->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *box(const char *name) const { return child<QLineEdit>(name); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }
    QLabel *label(const char *name) const { return child<QLabel>(name); }

    // Clicks an entry, as the mouse would.
    static void clickRow(DirectoryList *list, int row) {
        list->scrollToItem(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    }

    std::unique_ptr<QTemporaryDir> Temp;
    QString Root;
    QString StartDir;
    QString SourceDir;
    QString LogDir;
    std::unique_ptr<MainForm> Form;
    std::vector<QString> Messages;
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"

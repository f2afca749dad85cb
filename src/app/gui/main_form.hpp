// The main window: source and log directory choosers, the three count boxes, the Help, Go! and
// Quit buttons, and a status strip with the chosen paths and the state of the run. A run goes
// on a worker thread while the choosers are disabled.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "app/gui/directory_list.hpp"
#include "app/gui/drive_selector.hpp"
#include "app/gui/file_list.hpp"
#include "app/gui/help_form.hpp"
#include "app/gui/run_worker.hpp"

namespace qm::gui {

// A modal message box of this program: the main window's title and a single OK button.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &text);

class MainForm : public QWidget {
    Q_OBJECT

public:
    // Shows a modal message box; tests replace it with one that only records.
    using MessageBoxHook = std::function<void(QMessageBox::Icon icon, const QString &text)>;
    // Opens a finished run's log in the desktop's viewer; tests replace it.
    using OpenFileHook = std::function<void(const QString &path)>;

    // startDir: the directory current at start, home of the configuration file.
    // programDir: the program's own directory, where the help file is looked for first.
    explicit MainForm(QString startDir, QString programDir = {}, QWidget *parent = nullptr);
    ~MainForm() override;

    void setMessageBoxHook(MessageBoxHook hook) { ShowMessage = std::move(hook); }
    void setOpenFileHook(OpenFileHook hook) { OpenFile = std::move(hook); }
    HelpForm *helpForm() const { return Help.get(); }
    bool isRunning() const { return Worker.isRunning(); }
    bool isQuitPending() const { return CloseAfterRun; }
    RunWorker &runWorker() { return Worker; }
    QString configFilePath() const;
    // The help file Help shows: the program's own, else one in the start directory.
    QString helpFilePath() const;
    // The scale the layout is drawn at (1 unless the screen is too small for it).
    double layoutScale() const { return Scale; }

    // Event handlers, public so that tests can drive the window the way a user does.
    void formActivate();
    void sourceDriveBoxChange();
    void sourceDirBoxChange();
    void logFileDriveChange();
    void logFileBoxChange();
    void goButtonClick();
    void helpClick();
    void closeButtonClick() { close(); }

    // Counters and count boxes to 0, focus to "Go!".
    void resetAll();
    // true loads the configuration file, false saves it; both fail quietly.
    void configFile(bool load);
    // Scales the layout down where the screen is too small and places the window on it:
    // centred, or where it is but moved inside the screen.
    void fitToScreen(bool centre = true);

signals:
    // A run ended, its figures shown and the controls enabled again.
    void runFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    enum class RunPhase { Idle, Running, Finished, Stopped };

    // A child at its designed place and font size, before any scaling.
    struct Placed {
        QWidget *Widget;
        QRect Design;
        int FontPixels;
    };

    void createSourceControls();
    void createLogControls();
    void createCountControls();
    void createButtons();
    void createFormatControls();
    void createStatusLines();
    void place(QWidget *widget, QRect design);
    void applyScale(double scale);
    void connectHandlers();
    void watchActivation();
    bool isOwnOtherWindow(const QWindow *window) const;

    void showCounts(int filesCreated, int errorCount, int warningCount);
    void showProgress(int filesCreated, int errorCount, int warningCount,
                      const QString &currentFile);
    void setControlsEnabled(bool enabled);
    void logCreated(const QString &logPath);
    void finishRun();
    void reportRunProblems(const RunOutcome &outcome);
    void showMessage(QMessageBox::Icon icon, const QString &text);
    void refreshStatus();
    QString runStatusText() const;
    void openLog(const QString &link);
    void keepHelpOnScreen();

    QString StartDir;
    QString ProgramDir;
    MessageBoxHook ShowMessage;
    OpenFileHook OpenFile;

    DriveSelector *SourceDriveBox = nullptr;
    DirectoryList *SourceDirBox = nullptr;
    FileList *SourceFileBox = nullptr;
    DriveSelector *LogFileDrive = nullptr;
    DirectoryList *LogFileBox = nullptr;
    QLineEdit *ModifiedBox = nullptr;
    QLineEdit *ErrorBox = nullptr;
    QLineEdit *WarningBox = nullptr;
    QCheckBox *MusicXmlBox = nullptr;
    QPushButton *HelpButton = nullptr;
    QPushButton *GoButton = nullptr;
    QPushButton *CloseButton = nullptr;
    QLabel *SourcePathLine = nullptr;
    QLabel *LogPathLine = nullptr;
    QLabel *RunStatusLine = nullptr;

    std::vector<Placed> Layout;
    double Scale = 1.0;
    bool ScreenWatched = false;

    std::unique_ptr<HelpForm> Help;
    RunWorker Worker;
    bool Activated = false;
    bool LastFocusWasOwnWindow = false;
    bool CloseAfterRun = false;

    RunPhase Phase = RunPhase::Idle;
    QString CurrentFile;
    QString RunLogPath;
    int RunFiles = 0;
    int RunFailures = 0;
    QString RunFailure;
};

} // namespace qm::gui

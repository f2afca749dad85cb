// The main window: source and log directory choosers, the three count boxes, and the Help,
// Go! and Quit buttons. A run goes on a worker thread while the controls are disabled.
#pragma once

#include <functional>
#include <memory>

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

class MainForm : public QWidget {
    Q_OBJECT

public:
    // Shows a modal message box; tests replace it with one that only records.
    using MessageBoxHook = std::function<void(QMessageBox::Icon icon, const QString &text)>;

    // startDir: the directory current at start, home of the configuration and help files.
    // programDir: where else to look for the help file (the program's own directory), or empty.
    explicit MainForm(QString startDir, QString programDir = {}, QWidget *parent = nullptr);
    ~MainForm() override;

    void setMessageBoxHook(MessageBoxHook hook) { ShowMessage = std::move(hook); }
    HelpForm *helpForm() const { return Help.get(); }
    bool isRunning() const { return Worker.isRunning(); }
    RunWorker &runWorker() { return Worker; }
    QString configFilePath() const;

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

signals:
    // A run ended, its figures shown and the controls enabled again.
    void runFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createSourceControls();
    void createLogControls();
    void createCountControls();
    void createButtons();
    void connectHandlers();
    void watchActivation();

    void showCounts(int filesCreated, int errorCount, int warningCount);
    void setControlsEnabled(bool enabled);
    void finishRun();
    void reportRunProblems(const RunOutcome &outcome);
    void showMessage(QMessageBox::Icon icon, const QString &text);
    QString helpFilePath() const;

    QString StartDir;
    QString ProgramDir;
    MessageBoxHook ShowMessage;

    DriveSelector *SourceDriveBox = nullptr;
    DirectoryList *SourceDirBox = nullptr;
    FileList *SourceFileBox = nullptr;
    DriveSelector *LogFileDrive = nullptr;
    DirectoryList *LogFileBox = nullptr;
    QLineEdit *ModifiedBox = nullptr;
    QLineEdit *ErrorBox = nullptr;
    QLineEdit *WarningBox = nullptr;
    QPushButton *HelpButton = nullptr;
    QPushButton *GoButton = nullptr;
    QPushButton *CloseButton = nullptr;

    std::unique_ptr<HelpForm> Help;
    RunWorker Worker;
    bool Activated = false;
    bool LastFocusWasOwnWindow = false;
    bool CloseAfterRun = false;
};

} // namespace qm::gui

#include "app/gui/main_form.hpp"

#include <filesystem>
#include <type_traits>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QWindow>

#include "app/batch/workers.hpp"
#include "app/gui/config_file.hpp"

namespace qm::gui {
namespace {

constexpr int ClientWidth = 440;
constexpr int ClientHeight = 514;
constexpr const char *HelpFileName = "ReadMe.rtf";

std::filesystem::path toPath(const QString &path) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
        return std::filesystem::path(path.toStdWString());
    } else {
        return std::filesystem::path(QFile::encodeName(path).toStdString());
    }
}

QString fromPath(const std::filesystem::path &path) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
        return QString::fromStdWString(path.wstring());
    } else {
        return QFile::decodeName(QByteArray::fromStdString(path.string()));
    }
}

bool isUsableDirectory(const QString &path) {
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QFileInfo(path).isDir();
}

// Labels keep their place; one whose text needs more room grows away from the box it names.
QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, const QString &hint,
                  QRect place, Qt::Alignment align) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setToolTip(hint);
    QFont font = label->font();
    font.setPixelSize(16);
    label->setFont(font);
    label->setAlignment(align | Qt::AlignVCenter);
    const int needed = label->sizeHint().width();
    if (needed > place.width()) {
        if (align & Qt::AlignRight)
            place.setLeft(place.right() + 1 - needed);
        else
            place.setWidth(needed);
    }
    label->setGeometry(place);
    return label;
}

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &text,
                        const QString &hint, QRect place, int pixelSize) {
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(pixelSize);
    button->setFont(font);
    button->setGeometry(place);
    return button;
}

QLineEdit *makeCountBox(QWidget *parent, const QString &name, const QString &text,
                        const QString &hint, QRect place) {
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setToolTip(hint);
    box->setReadOnly(true); // the program writes these; there is nothing to type
    box->setGeometry(place);
    return box;
}

} // namespace

MainForm::MainForm(QString startDir, QString programDir, QWidget *parent)
    : QWidget(parent), StartDir(std::move(startDir)), ProgramDir(std::move(programDir)),
      Help(std::make_unique<HelpForm>()) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quillmark 75 Converter"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    setToolTip(QStringLiteral("Reads NW files from Source dir & subdirs and creates NWC files "
                              "from them, with log file of any problems"));

    // The buttons come first so that "Go!" leads the tab order.
    createButtons();
    createSourceControls();
    createLogControls();
    createCountControls();
    QWidget *previous = GoButton;
    for (QWidget *next : std::initializer_list<QWidget *>{
             SourceDriveBox, SourceDirBox, SourceFileBox, LogFileDrive, LogFileBox, ModifiedBox,
             ErrorBox, WarningBox, HelpButton, CloseButton}) {
        setTabOrder(previous, next);
        previous = next;
    }

    // A first start without a configuration shows the start directory on both sides.
    SourceDirBox->setDirectory(StartDir);
    SourceFileBox->setDirectory(SourceDirBox->directory());
    SourceDriveBox->showDriveOf(SourceDirBox->directory());
    LogFileBox->setDirectory(StartDir);
    LogFileDrive->showDriveOf(LogFileBox->directory());

    connectHandlers();
    watchActivation();
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

MainForm::~MainForm() = default;

void MainForm::createSourceControls() {
    makeLabel(this, QStringLiteral("LabelA"), QStringLiteral("Source Directory"),
              QStringLiteral("Source directory to be converted"), {16, 8, 118, 20}, Qt::AlignLeft);
    SourceDriveBox = new DriveSelector(this);
    SourceDriveBox->setObjectName(QStringLiteral("SourceDriveBox"));
    SourceDriveBox->setToolTip(QStringLiteral("Disk drive containing source files for conversion"));
    SourceDriveBox->setGeometry(16, 32, 201, 22);

    SourceDirBox = new DirectoryList(this);
    SourceDirBox->setObjectName(QStringLiteral("SourceDirBox"));
    SourceDirBox->setToolTip(QStringLiteral("Source directory to be converted"));
    SourceDirBox->setGeometry(16, 56, 201, 257);

    SourceFileBox = new FileList(QStringLiteral("*.nw"), this);
    SourceFileBox->setObjectName(QStringLiteral("SourceFileBox"));
    SourceFileBox->setToolTip(QStringLiteral("Files for converting in Source Directory"));
    SourceFileBox->setSelectionMode(QAbstractItemView::NoSelection);
    SourceFileBox->setGeometry(16, 320, 201, 113);
}

void MainForm::createLogControls() {
    makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Log file location:"),
              QStringLiteral("Location of log file and temporary files"), {224, 8, 114, 20},
              Qt::AlignLeft);
    LogFileDrive = new DriveSelector(this);
    LogFileDrive->setObjectName(QStringLiteral("LogFileDrive"));
    LogFileDrive->setToolTip(QStringLiteral("Drive in which log file is to be stored."));
    LogFileDrive->setGeometry(224, 32, 201, 22);

    LogFileBox = new DirectoryList(this);
    LogFileBox->setObjectName(QStringLiteral("LogFileBox"));
    LogFileBox->setToolTip(QStringLiteral("Location of log file and temporary files"));
    LogFileBox->setGeometry(224, 56, 201, 257);
}

void MainForm::createCountControls() {
    const QString modifiedHint =
        QStringLiteral("Total number of files which have been modified/newly created");
    const QString errorHint = QStringLiteral("Number of error messages written to file");
    const QString warningHint = QStringLiteral("Number of warning messages written to file");
    makeLabel(this, QStringLiteral("Label4"), QStringLiteral("#Files Modified:"), modifiedHint,
              {240, 324, 110, 20}, Qt::AlignRight);
    ModifiedBox = makeCountBox(this, QStringLiteral("ModifiedBox"), QStringLiteral("0"),
                               modifiedHint, {360, 320, 65, 28});
    makeLabel(this, QStringLiteral("Label5"), QStringLiteral("#Errors"), errorHint,
              {296, 356, 52, 20}, Qt::AlignRight);
    ErrorBox =
        makeCountBox(this, QStringLiteral("ErrorBox"), QString(), errorHint, {360, 352, 65, 28});
    makeLabel(this, QStringLiteral("Label6"), QStringLiteral("#Warnings"), warningHint,
              {272, 388, 76, 20}, Qt::AlignRight);
    WarningBox = makeCountBox(this, QStringLiteral("WarningBox"), QString(), warningHint,
                              {360, 384, 65, 28});
}

void MainForm::createButtons() {
    GoButton = makeButton(this, QStringLiteral("GoButton"), QStringLiteral("Go!"),
                          QStringLiteral("Start creating NWC files from NW files in Source dir."),
                          {232, 440, 89, 65}, 24);
    HelpButton =
        makeButton(this, QStringLiteral("HelpButton"), QStringLiteral("Help"),
                   QStringLiteral("Description of what the software does."), {16, 440, 89, 65}, 21);
    CloseButton =
        makeButton(this, QStringLiteral("CloseButton"), QStringLiteral("Quit"),
                   QStringLiteral("Terminates program after completing the file creation"),
                   {336, 440, 89, 65}, 24);
    GoButton->setDefault(true);
}

void MainForm::connectHandlers() {
    connect(SourceDriveBox, &DriveSelector::driveChanged, this, &MainForm::sourceDriveBoxChange);
    connect(SourceDirBox, &DirectoryList::changed, this, &MainForm::sourceDirBoxChange);
    connect(SourceDirBox, &DirectoryList::clicked, this, &MainForm::sourceDirBoxChange);
    connect(LogFileDrive, &DriveSelector::driveChanged, this, &MainForm::logFileDriveChange);
    connect(LogFileBox, &DirectoryList::changed, this, &MainForm::logFileBoxChange);
    connect(LogFileBox, &DirectoryList::clicked, this, &MainForm::logFileBoxChange);
    connect(GoButton, &QPushButton::clicked, this, &MainForm::goButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &MainForm::helpClick);
    connect(CloseButton, &QPushButton::clicked, this, &MainForm::closeButtonClick);
    connect(&Worker, &RunWorker::progressed, this, &MainForm::showCounts);
    connect(&Worker, &RunWorker::finished, this, &MainForm::finishRun);
}

// The configuration is reloaded when the main window becomes active: at the first activation,
// and afterwards only when another window of this program (help, a message box) had been
// active, not when the user comes back from another program.
void MainForm::watchActivation() {
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *window) {
        const bool mainIsActive = window != nullptr && window == windowHandle();
        if (mainIsActive && (!Activated || LastFocusWasOwnWindow)) formActivate();
        LastFocusWasOwnWindow = window != nullptr && !mainIsActive;
    });
}

QString MainForm::configFilePath() const {
    return QDir(StartDir).filePath(QString::fromLatin1(ConfigFileName));
}

void MainForm::formActivate() {
    Activated = true;
    if (isRunning()) return; // the lists must not move under a run
    GoButton->setFocus();
    configFile(true);
}

void MainForm::sourceDriveBoxChange() {
    SourceDirBox->setDrive(SourceDriveBox->drive());
    resetAll();
}

void MainForm::sourceDirBoxChange() {
    {
        // Opening the entry moves the list, which would call this handler again.
        const QSignalBlocker blocker(SourceDirBox);
        SourceDirBox->openSelected();
    }
    SourceFileBox->setDirectory(SourceDirBox->directory());
    SourceDriveBox->showDriveOf(SourceDirBox->directory());
    resetAll();
}

void MainForm::logFileDriveChange() { LogFileBox->setDrive(LogFileDrive->drive()); }

void MainForm::logFileBoxChange() {
    {
        const QSignalBlocker blocker(LogFileBox);
        LogFileBox->openSelected();
    }
    LogFileDrive->showDriveOf(LogFileBox->directory());
    GoButton->setFocus();
}

void MainForm::resetAll() {
    showCounts(0, 0, 0);
    GoButton->setFocus();
}

void MainForm::showCounts(int filesCreated, int errorCount, int warningCount) {
    ModifiedBox->setText(QString::number(filesCreated));
    ErrorBox->setText(QString::number(errorCount));
    WarningBox->setText(QString::number(warningCount));
}

void MainForm::configFile(bool load) {
    if (!load) {
        writeConfigFile(configFilePath(), LogFileBox->directory(), SourceDirBox->directory());
        return;
    }
    const ConfigLines lines = readConfigFile(configFilePath());
    // setDirectory fires the list's change handling when it moves the list.
    if (lines.LogDir && isUsableDirectory(*lines.LogDir)) LogFileBox->setDirectory(*lines.LogDir);
    if (lines.SourceDir && isUsableDirectory(*lines.SourceDir)) {
        SourceDirBox->setDirectory(*lines.SourceDir);
    }
}

void MainForm::goButtonClick() {
    if (isRunning()) return;
    resetAll();
    CloseButton->setFocus();
    configFile(false);

    batch::RunOptions options;
    options.Source = toPath(SourceDirBox->directory());
    options.LogDir = toPath(LogFileBox->directory());
    options.Jobs = batch::defaultJobs();
    setControlsEnabled(false);
    Worker.start(std::move(options));
}

void MainForm::finishRun() {
    const RunOutcome &outcome = Worker.outcome();
    if (outcome.Result) {
        showCounts(outcome.Result->FilesCreated, outcome.Result->Counts.ErrorCount,
                   outcome.Result->Counts.WarningCount);
    }
    setControlsEnabled(true);
    CloseButton->setFocus();
    SourceFileBox->reread();
    emit runFinished();
    reportRunProblems(outcome);
    if (CloseAfterRun) close();
}

// A run that stopped, or files it had to leave out, are told at once: nobody reads a log that
// they do not know has something to say.
void MainForm::reportRunProblems(const RunOutcome &outcome) {
    if (!outcome.Result) {
        showMessage(QMessageBox::Critical, outcome.Failure);
        return;
    }
    const auto failures = outcome.Result->IoFailures.size();
    if (failures == 0) return;
    showMessage(QMessageBox::Warning,
                QStringLiteral("%1 file(s) could not be converted. The log file %2 says why.")
                    .arg(failures)
                    .arg(QDir::toNativeSeparators(fromPath(outcome.Result->LogPath))));
}

void MainForm::setControlsEnabled(bool enabled) {
    for (QWidget *control : std::initializer_list<QWidget *>{
             SourceDriveBox, SourceDirBox, SourceFileBox, LogFileDrive, LogFileBox, ModifiedBox,
             ErrorBox, WarningBox, HelpButton, GoButton, CloseButton}) {
        control->setEnabled(enabled);
    }
}

QString MainForm::helpFilePath() const {
    for (const QString &dir : {StartDir, ProgramDir}) {
        if (dir.isEmpty()) continue;
        const QString path = QDir(dir).filePath(QString::fromLatin1(HelpFileName));
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

void MainForm::helpClick() {
    const QString path = helpFilePath();
    if (path.isEmpty()) {
        showMessage(QMessageBox::Critical, QStringLiteral("Help file not found."));
        return;
    }
    if (!Help->loadFile(path)) {
        showMessage(QMessageBox::Critical, QStringLiteral("Help file could not be read."));
        return;
    }
    Help->show();
    Help->raise();
    Help->activateWindow();
}

void MainForm::showMessage(QMessageBox::Icon icon, const QString &text) {
    if (ShowMessage) {
        ShowMessage(icon, text);
        return;
    }
    const bool error = icon == QMessageBox::Critical;
    QMessageBox box(icon, error ? QStringLiteral("Error") : QCoreApplication::applicationName(),
                    text, error ? QMessageBox::Cancel : QMessageBox::Ok, this);
    box.exec();
}

// The first showing counts as the first activation: without a window manager, or with one that
// keeps new windows from taking the focus, the window may never become active by itself.
void MainForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!Activated) formActivate();
}

void MainForm::closeEvent(QCloseEvent *event) {
    if (isRunning()) {
        // Quit waits for the files being created; the window closes when the run ends.
        CloseAfterRun = true;
        event->ignore();
        return;
    }
    Help->close();
    event->accept();
}

} // namespace qm::gui

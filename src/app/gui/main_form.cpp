#include "app/gui/main_form.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <type_traits>

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/batch/naming.hpp"
#include "app/batch/workers.hpp"
#include "app/gui/config_file.hpp"
#include "app/gui/window_fit.hpp"

namespace qm::gui {
namespace {

constexpr int ClientWidth = 440;
constexpr int ClientHeight = 562; // the designed 514, and the status strip under the buttons
constexpr int StatusLineHeight = 16;
constexpr int StatusTop = 512;
constexpr const char *HelpFileName = "ReadMe.rtf";
constexpr const char *WindowTitle = "Quillmark 75 Converter";
// Until the window manager has framed the window: a title bar and thin borders.
constexpr QMargins AssumedFrame(4, 30, 4, 4);

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

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text, const QString &hint,
                  Qt::Alignment align, int pixelSize) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setToolTip(hint);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    label->setFont(font);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

// A label keeps its place; one whose text needs more room grows away from the box it names.
QRect grownToFit(const QLabel *label, QRect place) {
    const int needed = label->sizeHint().width();
    if (needed <= place.width()) return place;
    if (label->alignment() & Qt::AlignRight)
        place.setLeft(place.right() + 1 - needed);
    else
        place.setWidth(needed);
    return place;
}

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &text,
                        const QString &hint, int pixelSize) {
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    font.setPixelSize(pixelSize);
    button->setFont(font);
    return button;
}

QLineEdit *makeCountBox(QWidget *parent, const QString &name, const QString &hint) {
    auto *box = new QLineEdit(QStringLiteral("0"), parent);
    box->setObjectName(name);
    box->setToolTip(hint);
    box->setReadOnly(true); // the program writes these; there is nothing to type
    return box;
}

// Shortens `text` in the middle to fit `label`, keeping both ends of a path readable.
QString elided(const QLabel *label, const QString &text, int reserved = 0) {
    return label->fontMetrics().elidedText(text, Qt::ElideMiddle,
                                           std::max(0, label->width() - reserved));
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &text) {
    const QString title =
        parent != nullptr ? parent->window()->windowTitle() : QString::fromLatin1(WindowTitle);
    return std::make_unique<QMessageBox>(icon, title, text, QMessageBox::Ok, parent);
}

MainForm::MainForm(QString startDir, QString programDir, QWidget *parent)
    : QWidget(parent), StartDir(std::move(startDir)), ProgramDir(std::move(programDir)),
      Help(std::make_unique<HelpForm>()) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QString::fromLatin1(WindowTitle));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setToolTip(QStringLiteral("Reads NW files from Source dir & subdirs and creates NWC files "
                              "from them, with log file of any problems"));

    // The buttons come first so that "Go!" leads the tab order.
    createButtons();
    createSourceControls();
    createLogControls();
    createCountControls();
    createFormatControls();
    createStatusLines();
    QWidget *previous = GoButton;
    for (QWidget *next : std::initializer_list<QWidget *>{
             SourceDriveBox, SourceDirBox, SourceFileBox, LogFileDrive, LogFileBox, ModifiedBox,
             ErrorBox, WarningBox, HelpButton, CloseButton}) {
        setTabOrder(previous, next);
        previous = next;
    }
    applyScale(1.0);

    // A first start without a configuration shows the start directory on both sides.
    SourceDirBox->setDirectory(StartDir);
    SourceFileBox->setDirectory(SourceDirBox->directory());
    SourceDriveBox->showDriveOf(SourceDirBox->directory());
    LogFileBox->setDirectory(StartDir);
    LogFileDrive->showDriveOf(LogFileBox->directory());

    connectHandlers();
    watchActivation();
    refreshStatus();
    fitToScreen();
}

MainForm::~MainForm() = default;

void MainForm::place(QWidget *widget, QRect design) {
    Layout.push_back({widget, design, QFontInfo(widget->font()).pixelSize()});
}

void MainForm::createSourceControls() {
    auto *label = makeLabel(this, QStringLiteral("LabelA"), QStringLiteral("Source Directory"),
                            QStringLiteral("Source directory to be converted"), Qt::AlignLeft, 16);
    place(label, grownToFit(label, {16, 8, 118, 20}));
    SourceDriveBox = new DriveSelector(this);
    SourceDriveBox->setObjectName(QStringLiteral("SourceDriveBox"));
    SourceDriveBox->setToolTip(QStringLiteral("Disk drive containing source files for conversion"));
    place(SourceDriveBox, {16, 32, 201, 22});

    SourceDirBox = new DirectoryList(this);
    SourceDirBox->setObjectName(QStringLiteral("SourceDirBox"));
    place(SourceDirBox, {16, 56, 201, 257});

    SourceFileBox = new FileList(QStringLiteral("*.nw"), this);
    SourceFileBox->setObjectName(QStringLiteral("SourceFileBox"));
    SourceFileBox->setSelectionMode(QAbstractItemView::NoSelection);
    // Only what a run converts: "a.nw.nw" matches the mask but is not an NW file name.
    SourceFileBox->setFilter([](const QString &name) {
        return batch::okFileName(QFile::encodeName(name).toStdString());
    });
    place(SourceFileBox, {16, 320, 201, 113});
}

void MainForm::createLogControls() {
    auto *label =
        makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Log file location:"),
                  QStringLiteral("Location of log file and temporary files"), Qt::AlignLeft, 16);
    place(label, grownToFit(label, {224, 8, 114, 20}));
    LogFileDrive = new DriveSelector(this);
    LogFileDrive->setObjectName(QStringLiteral("LogFileDrive"));
    LogFileDrive->setToolTip(QStringLiteral("Drive in which log file is to be stored."));
    place(LogFileDrive, {224, 32, 201, 22});

    LogFileBox = new DirectoryList(this);
    LogFileBox->setObjectName(QStringLiteral("LogFileBox"));
    place(LogFileBox, {224, 56, 201, 257});
}

void MainForm::createCountControls() {
    struct CountRow {
        const char *LabelName;
        const char *LabelText;
        QRect LabelPlace;
        const char *BoxName;
        QRect BoxPlace;
        const char *Hint;
        QLineEdit *MainForm::*Box;
    };
    static constexpr std::array<CountRow, 3> Rows{{
        {"Label4",
         "#Files Created:",
         {240, 324, 110, 20},
         "ModifiedBox",
         {360, 320, 65, 28},
         "Total number of NWC files which have been created",
         &MainForm::ModifiedBox},
        {"Label5",
         "#Errors",
         {296, 356, 52, 20},
         "ErrorBox",
         {360, 352, 65, 28},
         "Number of error messages written to file",
         &MainForm::ErrorBox},
        {"Label6",
         "#Warnings",
         {272, 388, 76, 20},
         "WarningBox",
         {360, 384, 65, 28},
         "Number of warning messages written to file",
         &MainForm::WarningBox},
    }};
    for (const CountRow &row : Rows) {
        const QString hint = QString::fromLatin1(row.Hint);
        auto *label = makeLabel(this, QString::fromLatin1(row.LabelName),
                                QString::fromLatin1(row.LabelText), hint, Qt::AlignRight, 16);
        place(label, grownToFit(label, row.LabelPlace));
        this->*row.Box = makeCountBox(this, QString::fromLatin1(row.BoxName), hint);
        place(this->*row.Box, row.BoxPlace);
    }
}

// Under the counts: whether each score also gets a MusicXML file beside its NWC file.
void MainForm::createFormatControls() {
    MusicXmlBox = new QCheckBox(QStringLiteral("Also write MusicXML"), this);
    MusicXmlBox->setObjectName(QStringLiteral("MusicXmlBox"));
    MusicXmlBox->setToolTip(
        QStringLiteral("Write a MusicXML file beside each NWC file, for other notation programs"));
    place(MusicXmlBox, {224, 414, 201, 22});
}

void MainForm::createButtons() {
    GoButton =
        makeButton(this, QStringLiteral("GoButton"), QStringLiteral("&Go!"),
                   QStringLiteral("Start creating NWC files from NW files in Source dir."), 24);
    HelpButton = makeButton(this, QStringLiteral("HelpButton"), QStringLiteral("&Help"),
                            QStringLiteral("Description of what the software does."), 21);
    CloseButton =
        makeButton(this, QStringLiteral("CloseButton"), QStringLiteral("&Quit"),
                   QStringLiteral("Terminates program after completing the file creation"), 24);
    place(GoButton, {232, 440, 89, 65});
    place(HelpButton, {16, 440, 89, 65});
    place(CloseButton, {336, 440, 89, 65});
    GoButton->setDefault(true);
    auto *helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, &MainForm::helpClick);
}

// Three lines under the buttons: the chosen source, the chosen log directory, and the run.
void MainForm::createStatusLines() {
    const auto makeLine = [this](const char *name, int row) {
        auto *line =
            makeLabel(this, QString::fromLatin1(name), QString(), QString(), Qt::AlignLeft, 12);
        place(line, {16, StatusTop + row * StatusLineHeight, 409, StatusLineHeight});
        return line;
    };
    SourcePathLine = makeLine("SourcePathLine", 0);
    LogPathLine = makeLine("LogPathLine", 1);
    // A directory may be named like markup; it is shown as it is.
    SourcePathLine->setTextFormat(Qt::PlainText);
    LogPathLine->setTextFormat(Qt::PlainText);
    RunStatusLine = makeLine("RunStatusLine", 2);
    RunStatusLine->setTextFormat(Qt::RichText);
    RunStatusLine->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                           Qt::LinksAccessibleByKeyboard);
    connect(RunStatusLine, &QLabel::linkActivated, this, &MainForm::openLog);
}

void MainForm::applyScale(double scale) {
    Scale = scale;
    const auto scaled = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
    for (const Placed &item : Layout) {
        QFont font = item.Widget->font();
        font.setPixelSize(std::max(6, scaled(item.FontPixels)));
        item.Widget->setFont(font);
        const QRect &r = item.Design;
        item.Widget->setGeometry(scaled(r.x()), scaled(r.y()), scaled(r.width()),
                                 scaled(r.height()));
    }
    // Fixed size, neither resizable nor maximisable: the layout is drawn for this one size.
    setFixedSize(scaled(ClientWidth), scaled(ClientHeight));
    refreshStatus();
}

void MainForm::fitToScreen(bool centre) {
    const QScreen *screen = windowHandle() != nullptr ? windowHandle()->screen() : nullptr;
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    QMargins frame = AssumedFrame;
    if (isVisible() && frameGeometry() != geometry()) {
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    }
    const WindowFit fit =
        fitWindow({ClientWidth, ClientHeight}, frame, screen->availableGeometry());
    if (std::abs(fit.Scale - Scale) > 1e-6) applyScale(fit.Scale);
    if (centre) {
        move(fit.FramePos);
        return;
    }
    // Moved to another screen by the user: stay where it was put, only inside the screen.
    const QRect usable = screen->availableGeometry();
    const QSize outer(width() + frame.left() + frame.right(),
                      height() + frame.top() + frame.bottom());
    const QPoint at = frameGeometry().topLeft();
    move(std::clamp(at.x(), usable.left(),
                    std::max(usable.left(), usable.right() + 1 - outer.width())),
         std::clamp(at.y(), usable.top(),
                    std::max(usable.top(), usable.bottom() + 1 - outer.height())));
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
    connect(&Worker, &RunWorker::logCreated, this, &MainForm::logCreated);
    connect(&Worker, &RunWorker::progressed, this, &MainForm::showProgress);
    connect(&Worker, &RunWorker::finished, this, &MainForm::finishRun);
}

// The configuration is reloaded when the main window becomes active: at the first activation,
// and afterwards only when another window of this program (help, a message box) had been
// active, not when the user comes back from another program. A pop-up (a drive box's list, a
// menu) is part of the window it opened from and changes nothing.
void MainForm::watchActivation() {
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow *window) {
        if (window != nullptr && window->type() == Qt::Popup) return;
        const bool mainIsActive = window != nullptr && window == windowHandle();
        if (mainIsActive && (!Activated || LastFocusWasOwnWindow)) formActivate();
        LastFocusWasOwnWindow = isOwnOtherWindow(window);
    });
}

bool MainForm::isOwnOtherWindow(const QWindow *window) const {
    if (window == nullptr || window == windowHandle()) return false;
    if (Help->windowHandle() == window) return true;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->windowHandle() == window) return qobject_cast<const QDialog *>(widget);
    }
    return false;
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
    refreshStatus();
}

void MainForm::resetAll() {
    showCounts(0, 0, 0);
    if (!isRunning()) Phase = RunPhase::Idle; // the last run's line belongs to its source
    refreshStatus();
    GoButton->setFocus();
}

void MainForm::showCounts(int filesCreated, int errorCount, int warningCount) {
    ModifiedBox->setText(QString::number(filesCreated));
    ErrorBox->setText(QString::number(errorCount));
    WarningBox->setText(QString::number(warningCount));
}

void MainForm::showProgress(int filesCreated, int errorCount, int warningCount,
                            const QString &currentFile) {
    showCounts(filesCreated, errorCount, warningCount);
    CurrentFile = currentFile;
    refreshStatus();
}

void MainForm::configFile(bool load) {
    if (!load) {
        writeConfigFile(configFilePath(), LogFileBox->directory(), SourceDirBox->directory(),
                        MusicXmlBox->isChecked());
        return;
    }
    const ConfigLines lines = readConfigFile(configFilePath());
    if (lines.AlsoMusicXml) MusicXmlBox->setChecked(*lines.AlsoMusicXml);
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

    batch::RunOptions options;
    options.Source = toPath(SourceDirBox->directory());
    options.LogDir = toPath(LogFileBox->directory());
    options.Jobs = batch::defaultJobs();
    options.Formats.MusicXml = MusicXmlBox->isChecked();
    setControlsEnabled(false);
    Phase = RunPhase::Running;
    CurrentFile.clear();
    RunLogPath.clear();
    refreshStatus();
    Worker.start(std::move(options));
}

// The directories are saved once the run has its log, so a run that could not start leaves
// the saved choice as it was.
void MainForm::logCreated(const QString &logPath) {
    RunLogPath = logPath;
    configFile(false);
    refreshStatus();
}

void MainForm::finishRun() {
    const RunOutcome &outcome = Worker.outcome();
    if (outcome.Result) {
        showCounts(outcome.Result->FilesCreated, outcome.Result->Counts.ErrorCount,
                   outcome.Result->Counts.WarningCount);
        Phase = RunPhase::Finished;
        RunLogPath = fromPath(outcome.Result->LogPath);
        RunFiles = outcome.Result->FilesCreated;
        RunFailures = static_cast<int>(outcome.Result->IoFailures.size());
    } else {
        Phase = RunPhase::Stopped;
        RunFailure = outcome.Failure;
    }
    CurrentFile.clear();
    setControlsEnabled(true);
    CloseButton->setFocus();
    SourceFileBox->reread();
    refreshStatus();
    emit runFinished();
    if (CloseAfterRun) {
        close();
        return;
    }
    reportRunProblems(outcome);
}

// A run that stopped, or files it had to leave out, are told at once: nobody reads a log that
// they do not know has something to say.
void MainForm::reportRunProblems(const RunOutcome &outcome) {
    if (!outcome.Result) {
        showMessage(QMessageBox::Critical, outcome.Failure);
        return;
    }
    const auto failures =
        outcome.Result->IoFailures.size() + outcome.Result->DirectoryFailures.size();
    if (failures == 0) return;
    showMessage(QMessageBox::Warning,
                QStringLiteral("%1 file(s) could not be converted. The log file %2 says why.")
                    .arg(failures)
                    .arg(native(fromPath(outcome.Result->LogPath))));
}

// The count boxes, Help and Quit stay usable during a run: the counts must stay readable, and
// Quit ends the program once the run is over.
void MainForm::setControlsEnabled(bool enabled) {
    for (QWidget *control :
         std::initializer_list<QWidget *>{SourceDriveBox, SourceDirBox, SourceFileBox, LogFileDrive,
                                          LogFileBox, MusicXmlBox, GoButton}) {
        control->setEnabled(enabled);
    }
    CloseButton->setEnabled(!CloseAfterRun);
}

void MainForm::refreshStatus() {
    if (SourcePathLine == nullptr || SourceDirBox == nullptr || LogFileBox == nullptr) return;
    const QString source = native(SourceDirBox->directory());
    const QString logDir = native(LogFileBox->directory());
    SourceDirBox->setToolTip(QStringLiteral("Source directory to be converted:\n") + source);
    SourceFileBox->setToolTip(QStringLiteral("Files for converting in Source Directory:\n") +
                              source);
    LogFileBox->setToolTip(QStringLiteral("Location of log file and temporary files:\n") + logDir);
    const QString sourceText = QStringLiteral("Source: ") + source;
    const QString logText = QStringLiteral("Log folder: ") + logDir;
    SourcePathLine->setText(elided(SourcePathLine, sourceText));
    SourcePathLine->setToolTip(sourceText);
    LogPathLine->setText(elided(LogPathLine, logText));
    LogPathLine->setToolTip(logText);
    RunStatusLine->setText(runStatusText());
}

QString MainForm::runStatusText() const {
    const auto logLink = [this](const QString &lead) {
        const QString shown = elided(RunStatusLine, native(RunLogPath),
                                     RunStatusLine->fontMetrics().horizontalAdvance(lead));
        return lead.toHtmlEscaped() +
               QStringLiteral("<a href=\"%1\">%2</a>")
                   .arg(QUrl::fromLocalFile(RunLogPath).toString(QUrl::FullyEncoded),
                        shown.toHtmlEscaped());
    };
    switch (Phase) {
    case RunPhase::Idle: return QStringLiteral("Ready: press Go! to convert the source directory.");
    case RunPhase::Running:
        if (CloseAfterRun)
            return QStringLiteral("Quit pending: the program ends when this run finishes.");
        return elided(RunStatusLine, QStringLiteral("Converting ") +
                                         (CurrentFile.isEmpty() ? native(SourceDirBox->directory())
                                                                : native(CurrentFile)))
            .toHtmlEscaped();
    case RunPhase::Finished:
        if (RunFiles == 0 && RunFailures == 0)
            return logLink(QStringLiteral("No .nw files found; log "));
        if (RunFailures > 0)
            return logLink(QStringLiteral("Finished: %1 files, %2 not converted, log ")
                               .arg(RunFiles)
                               .arg(RunFailures));
        return logLink(QStringLiteral("Finished: %1 files, log ").arg(RunFiles));
    case RunPhase::Stopped:
        return elided(RunStatusLine, QStringLiteral("Stopped: ") + RunFailure).toHtmlEscaped();
    }
    return {};
}

void MainForm::openLog(const QString &link) {
    const QString path = QUrl(link).toLocalFile();
    if (OpenFile) {
        OpenFile(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// The program's own help file: beside the program, then in the data directory of the
// installation it belongs to; the start directory only when neither has one.
QString MainForm::helpFilePath() const {
    QStringList dirs;
    if (!ProgramDir.isEmpty()) {
        dirs << ProgramDir << QDir(ProgramDir).filePath(QStringLiteral("../share/quillmark"));
    }
    dirs << StartDir;
    for (const QString &dir : dirs) {
        if (dir.isEmpty()) continue;
        const QString path = QDir::cleanPath(QDir(dir).filePath(QString::fromLatin1(HelpFileName)));
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
    keepHelpOnScreen();
    Help->show();
    Help->raise();
    Help->activateWindow();
}

// The help window keeps its size and place where the screen has room, and shrinks and moves
// onto the screen of the main window where it has not.
void MainForm::keepHelpOnScreen() {
    const QScreen *shown = screen();
    if (shown == nullptr) return;
    const QRect usable = shown->availableGeometry();
    const QSize frame(AssumedFrame.left() + AssumedFrame.right(),
                      AssumedFrame.top() + AssumedFrame.bottom());
    Help->resize(Help->size().boundedTo(usable.size() - frame));
    const QSize outer = Help->size() + frame;
    const QPoint place(std::clamp(Help->x(), usable.left(), usable.right() + 1 - outer.width()),
                       std::clamp(Help->y(), usable.top(), usable.bottom() + 1 - outer.height()));
    Help->move(place);
}

void MainForm::showMessage(QMessageBox::Icon icon, const QString &text) {
    if (ShowMessage) {
        ShowMessage(icon, text);
        return;
    }
    makeMessageBox(this, icon, text)->exec();
}

// The first showing counts as the first activation: without a window manager, or with one that
// keeps new windows from taking the focus, the window may never become active by itself.
void MainForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!ScreenWatched && windowHandle() != nullptr) {
        ScreenWatched = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { fitToScreen(false); });
        // Once the window manager has framed the window, its real frame is known.
        QTimer::singleShot(0, this, [this] { fitToScreen(); });
        fitToScreen();
    }
    if (!Activated) formActivate();
}

void MainForm::closeEvent(QCloseEvent *event) {
    if (isRunning()) {
        // Quit, the close box and Alt+F4 all wait for the run; the window closes when it ends.
        CloseAfterRun = true;
        CloseButton->setEnabled(false);
        refreshStatus();
        event->ignore();
        return;
    }
    Help->close();
    event->accept();
}

} // namespace qm::gui

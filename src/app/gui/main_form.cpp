#include "app/gui/main_form.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "app/gui/directory_list.hpp"
#include "app/gui/drive_selector.hpp"
#include "app/gui/window_fit.hpp"
#include "app/window/directory_entries.hpp"

namespace qm::gui {
namespace {

using window::Control;
using window::ControlKind;
using window::Side;

// Until the window manager has framed the window: a title bar and thin borders.
constexpr QMargins AssumedFrame(4, 30, 4, 4);

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::filesystem::path toPath(const QString &path) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>)
        return std::filesystem::path(path.toStdWString());
    else
        return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const std::filesystem::path &path) {
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>)
        return QString::fromStdWString(path.wstring());
    else
        return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

Control sideControl(Side side, Control source, Control log) {
    return side == Side::Source ? source : log;
}

QLabel *makeLabel(QWidget *parent, const window::ControlLayout &layout) {
    auto *label = new QLabel(text(layout.Caption), parent);
    label->setAlignment((layout.RightAligned ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
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

// Only the focused button looks like the default one, and Enter presses it.
QPushButton *makeButton(QWidget *parent, const window::ControlLayout &layout) {
    auto *button = new QPushButton(text(layout.Caption), parent);
    button->setAutoDefault(true);
    QFont font(QStringLiteral("Arial"));
    font.setBold(true);
    button->setFont(font);
    return button;
}

// Shortens `text` in the middle to fit `label`, keeping both ends of a path readable.
QString elided(const QLabel *label, const QString &text, int reserved = 0) {
    return label->fontMetrics().elidedText(text, Qt::ElideMiddle,
                                           std::max(0, label->width() - reserved));
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &message) {
    const QString title =
        parent != nullptr ? parent->window()->windowTitle() : text(window::WindowCaption);
    return std::make_unique<QMessageBox>(icon, title, message, QMessageBox::Ok, parent);
}

MainForm::MainForm(QString startDir, QString programDir, QWidget *parent)
    : QWidget(parent), Help(std::make_unique<HelpForm>()),
      Model(*this, {toPath(startDir),
                    programDir.isEmpty() ? std::filesystem::path() : toPath(programDir),
                    {}}) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(text(window::WindowCaption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setToolTip(text(window::WindowHint));
    createControls();
    applyScale(1.0);
    connectHandlers();
    Model.start();
    watchActivation();
    fitToScreen();
}

MainForm::~MainForm() = default;

void MainForm::createControls() {
    for (const window::ControlLayout &layout : window::controls()) {
        QWidget *control = createControl(layout);
        control->setObjectName(text(layout.Name));
        if (!layout.Hint.empty()) control->setToolTip(text(layout.Hint));
        if (!layout.Accessible.empty()) control->setAccessibleName(text(layout.Accessible));
        if (layout.FontPixels > 0) {
            QFont font = control->font();
            font.setPixelSize(layout.FontPixels);
            control->setFont(font);
        }
        QRect place(layout.Place.Left, layout.Place.Top, layout.Place.Width, layout.Place.Height);
        if (layout.Kind == ControlKind::Label)
            place = grownToFit(static_cast<QLabel *>(control), place);
        Layout.push_back({control, place, QFontInfo(control->font()).pixelSize()});
        Widgets[static_cast<std::size_t>(layout.Id)] = control;
    }
    for (const window::ControlLayout &layout : window::controls()) {
        if (layout.Kind == ControlKind::Label)
            widget<QLabel>(layout.Id)->setBuddy(Widgets[static_cast<std::size_t>(layout.Buddy)]);
    }
    for (std::size_t i = 1; i < window::TabOrder.size(); ++i)
        setTabOrder(Widgets[static_cast<std::size_t>(window::TabOrder[i - 1])],
                    Widgets[static_cast<std::size_t>(window::TabOrder[i])]);
}

QWidget *MainForm::createControl(const window::ControlLayout &layout) {
    switch (layout.Kind) {
    case ControlKind::Label: return makeLabel(this, layout);
    case ControlKind::DriveBox: return new DriveSelector(this);
    case ControlKind::DirectoryList: return new DirectoryList(this);
    case ControlKind::FileList: {
        auto *files = new QListWidget(this);
        files->setSelectionMode(QAbstractItemView::NoSelection);
        return files;
    }
    case ControlKind::CountBox: {
        auto *box = new QLineEdit(QStringLiteral("0"), this);
        box->setReadOnly(true); // the program writes these; there is nothing to type
        box->setFocusPolicy(Qt::NoFocus);
        return box;
    }
    case ControlKind::CheckBox: return new QCheckBox(text(layout.Caption), this);
    case ControlKind::Button: return makeButton(this, layout);
    case ControlKind::StatusLine: {
        auto *line = makeLabel(this, layout);
        // A directory may be named like markup; it is shown as it is. The run's line alone
        // holds a link.
        line->setTextFormat(layout.Id == Control::RunStatus ? Qt::RichText : Qt::PlainText);
        if (layout.Id == Control::RunStatus)
            line->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                          Qt::LinksAccessibleByKeyboard);
        return line;
    }
    case ControlKind::ProgressBar: {
        auto *bar = new QProgressBar(this);
        bar->setTextVisible(false);
        bar->hide();
        return bar;
    }
    }
    return new QWidget(this);
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
    setFixedSize(scaled(window::ClientWidth), scaled(window::ClientHeight));
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
        fitWindow({window::ClientWidth, window::ClientHeight}, frame, screen->availableGeometry());
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
    for (const Side side : {Side::Source, Side::Log}) {
        auto *drives =
            widget<DriveSelector>(sideControl(side, Control::SourceDrive, Control::LogDrive));
        connect(drives, &DriveSelector::driveChanged, this,
                [this, side](const QString &root) { Model.driveChosen(side, toPath(root)); });
        auto *dirs =
            widget<DirectoryList>(sideControl(side, Control::SourceDirs, Control::LogDirs));
        connect(dirs, &DirectoryList::chosen, this,
                [this, side](int index) { Model.entryChosen(side, index); });
    }
    connect(widget<QCheckBox>(Control::MusicXml), &QCheckBox::toggled, this,
            [this](bool checked) { Model.musicXmlToggled(checked); });
    const auto onClick = [this](Control button, void (window::MainWindow::*action)()) {
        connect(widget<QPushButton>(button), &QPushButton::clicked, this,
                [this, action] { (Model.*action)(); });
    };
    onClick(Control::Go, &window::MainWindow::goClicked);
    onClick(Control::Stop, &window::MainWindow::stopClicked);
    onClick(Control::Help, &window::MainWindow::helpClicked);
    onClick(Control::Quit, &window::MainWindow::quitClicked);
    connect(widget<QLabel>(Control::RunStatus), &QLabel::linkActivated, this,
            [this] { Model.logLinkClicked(); });
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this,
            [this] { Model.helpClicked(); });
    // Escape ends a run after the file in hand, as Ctrl+C does on the command line.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            [this] { Model.stopClicked(); });
    Model.setRunFinishedHook([this] { emit runFinished(); });
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
    for (const QWidget *top : QApplication::topLevelWidgets()) {
        if (top->windowHandle() == window) return qobject_cast<const QDialog *>(top);
    }
    return false;
}

void MainForm::formActivate() {
    Activated = true;
    Model.activated();
}

void MainForm::showCount(window::CountBox box, std::string_view value) {
    static constexpr Control Boxes[] = {Control::FilesBox, Control::ErrorsBox,
                                        Control::WarningsBox};
    widget<QLineEdit>(Boxes[static_cast<int>(box)])->setText(text(value));
}

void MainForm::enable(Control control, bool enabled) {
    widget<QWidget>(control)->setEnabled(enabled);
}

void MainForm::focus(Control control) { widget<QWidget>(control)->setFocus(); }

void MainForm::setChecked(Control control, bool checked) {
    auto *box = widget<QCheckBox>(control);
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

void MainForm::showDirectory(Side side, const window::DirectoryEntries &entries) {
    widget<DirectoryList>(sideControl(side, Control::SourceDirs, Control::LogDirs))
        ->showEntries(entries);
}

void MainForm::showDrive(Side side, const std::filesystem::path &root) {
    widget<DriveSelector>(sideControl(side, Control::SourceDrive, Control::LogDrive))
        ->showDrive(fromPath(root));
}

// The volume of the nearest directory up the path whose name Qt can carry unchanged.
std::filesystem::path MainForm::driveOf(const std::filesystem::path &path) {
    for (std::filesystem::path at = path; !at.empty(); at = at.parent_path()) {
        if (toPath(fromPath(at)) == at) {
            const QStorageInfo volume(fromPath(at));
            if (volume.isValid()) return toPath(volume.rootPath());
        }
        if (at == at.root_path()) break;
    }
    return path.root_path();
}

void MainForm::showFiles(const std::vector<std::string> &names) {
    auto *files = widget<QListWidget>(Control::SourceFiles);
    files->clear();
    for (const std::string &name : names)
        files->addItem(text(name));
}

void MainForm::showProgress(const window::ProgressShown &progress) {
    auto *bar = widget<QProgressBar>(Control::ProgressBar);
    bar->setVisible(progress.Visible);
    if (progress.Percent < 0) {
        bar->setRange(0, 0); // busy
    } else {
        bar->setRange(0, 100);
        bar->setValue(progress.Percent);
    }
    widget<QLabel>(Control::ProgressText)->setText(text(progress.Text));
}

void MainForm::showStatus(const window::StatusShown &status) {
    Status = status;
    refreshStatus();
}

void MainForm::refreshStatus() {
    if (Widgets[static_cast<std::size_t>(Control::RunStatus)] == nullptr) return;
    const QString source = text(Status.SourcePath);
    const QString log = text(Status.LogPath);
    for (const auto &[control, line] :
         {std::pair{Control::SourcePath, source}, std::pair{Control::LogPath, log}}) {
        auto *label = widget<QLabel>(control);
        label->setText(elided(label, line));
        label->setToolTip(line);
    }
    for (const auto &[control, line] :
         {std::pair{Control::SourceDirs, source}, std::pair{Control::SourceFiles, source},
          std::pair{Control::LogDirs, log}}) {
        widget<QWidget>(control)->setToolTip(text(window::layoutOf(control).Hint) +
                                             QStringLiteral("\n") + line);
    }
    auto *run = widget<QLabel>(Control::RunStatus);
    const QString lead = text(Status.Run);
    if (Status.LogLink.empty()) {
        run->setText(elided(run, lead).toHtmlEscaped());
        return;
    }
    const QString shown = elided(run, text(window::displayPath(Status.LogLink)),
                                 run->fontMetrics().horizontalAdvance(lead));
    run->setText(
        lead.toHtmlEscaped() +
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(QUrl::fromLocalFile(fromPath(Status.LogLink)).toString(QUrl::FullyEncoded),
                 shown.toHtmlEscaped()));
}

void MainForm::showMessage(window::MessageKind kind, std::string_view message) {
    const QMessageBox::Icon icon = kind == window::MessageKind::Error ? QMessageBox::Critical
                                   : kind == window::MessageKind::Warning
                                       ? QMessageBox::Warning
                                       : QMessageBox::Information;
    if (ShowMessage) {
        ShowMessage(icon, text(message));
        return;
    }
    makeMessageBox(this, icon, text(message))->exec();
}

bool MainForm::showHelp(const std::filesystem::path &rtfFile) {
    if (!Help->loadFile(fromPath(rtfFile))) return false;
    keepHelpOnScreen();
    Help->show();
    Help->raise();
    Help->activateWindow();
    return true;
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

// QDesktopServices says false when no program could be started to show the file (on Linux,
// when xdg-open is missing).
bool MainForm::openFile(const std::filesystem::path &path) {
    if (OpenFile) return OpenFile(fromPath(path));
    return QDesktopServices::openUrl(QUrl::fromLocalFile(fromPath(path)));
}

void MainForm::post(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
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

// Quit, the close box and Alt+F4 all wait for a run; the window closes when it ends.
void MainForm::closeEvent(QCloseEvent *event) {
    if (!Model.closeRequested()) {
        event->ignore();
        return;
    }
    Help->close();
    event->accept();
}

} // namespace qm::gui

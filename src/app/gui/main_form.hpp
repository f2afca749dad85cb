// The main window drawn with Qt: the controls of the window model's table at their designed
// places, scaled down on screens too small for them, and the help window. What the window does
// is the model's (app/window); this class draws what it is told and hands the model the user's
// actions.
#pragma once

#include <array>
#include <functional>
#include <memory>

#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QWidget>

#include "app/gui/help_form.hpp"
#include "app/window/main_window.hpp"
#include "app/window/view.hpp"

namespace qm::gui {

// A modal message box of this program: the main window's title and a single OK button.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, QMessageBox::Icon icon,
                                            const QString &text);

class MainForm : public QWidget, public window::View {
    Q_OBJECT

public:
    // Shows a modal message box; tests replace it with one that only records.
    using MessageBoxHook = std::function<void(QMessageBox::Icon icon, const QString &text)>;
    // Opens a finished run's log in the desktop's viewer; tests replace it.
    using OpenFileHook = std::function<bool(const QString &path)>;

    // startDir: the directory current at start, home of the configuration file.
    // programDir: the program's own directory, where the help file is looked for first.
    explicit MainForm(QString startDir, QString programDir = {}, QWidget *parent = nullptr);
    ~MainForm() override;

    void setMessageBoxHook(MessageBoxHook hook) { ShowMessage = std::move(hook); }
    void setOpenFileHook(OpenFileHook hook) { OpenFile = std::move(hook); }
    HelpForm *helpForm() const { return Help.get(); }
    window::MainWindow &model() { return Model; }
    bool isRunning() const { return Model.isRunning(); }
    void helpClick() { Model.helpClicked(); }
    // The scale the layout is drawn at (1 unless the screen is too small for it).
    double layoutScale() const { return Scale; }
    // Scales the layout down where the screen is too small and places the window on it:
    // centred, or where it is but moved inside the screen.
    void fitToScreen(bool centre = true);

    // What the model shows.
    void showCount(window::CountBox box, std::string_view text) override;
    void enable(window::Control control, bool enabled) override;
    void focus(window::Control control) override;
    void setChecked(window::Control control, bool checked) override;
    void showDirectory(window::Side side, const window::DirectoryEntries &entries) override;
    void showDrive(window::Side side, const std::filesystem::path &root) override;
    std::filesystem::path driveOf(const std::filesystem::path &path) override;
    void showFiles(const std::vector<std::string> &names) override;
    void showProgress(const window::ProgressShown &progress) override;
    void showStatus(const window::StatusShown &status) override;
    void showMessage(window::MessageKind kind, std::string_view text) override;
    bool showHelp(const std::filesystem::path &rtfFile) override;
    bool openFile(const std::filesystem::path &path) override;
    void closeWindow() override { close(); }
    void post(std::function<void()> task) override;

signals:
    // A run ended and its figures are shown.
    void runFinished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // A child at its designed place and font size, before any scaling.
    struct Placed {
        QWidget *Widget;
        QRect Design;
        int FontPixels;
    };

    void createControls();
    QWidget *createControl(const window::ControlLayout &layout);
    template <class T> T *widget(window::Control id) const {
        return static_cast<T *>(Widgets[static_cast<std::size_t>(id)]);
    }
    void applyScale(double scale);
    void connectHandlers();
    void watchActivation();
    bool isOwnOtherWindow(const QWindow *window) const;
    void formActivate();
    void refreshStatus();
    void keepHelpOnScreen();

    MessageBoxHook ShowMessage;
    OpenFileHook OpenFile;
    std::array<QWidget *, window::ControlCount> Widgets{};
    std::vector<Placed> Layout;
    double Scale = 1.0;
    bool ScreenWatched = false;
    bool Activated = false;
    bool LastFocusWasOwnWindow = false;
    window::StatusShown Status;
    std::unique_ptr<HelpForm> Help;
    window::MainWindow Model; // last: it goes first, waiting for a run still going
};

} // namespace qm::gui

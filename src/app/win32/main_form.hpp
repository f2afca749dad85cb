// The main window drawn with Windows' own controls: the controls of the window model's table at
// their designed places, scaled to the monitor's DPI, with their hints as tooltips, and the
// help window. What the window does is the model's (app/window); this class draws what it is
// told and hands the model the user's actions.
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "app/win32/help_window.hpp"
#include "app/win32/lists.hpp"
#include "app/window/main_window.hpp"
#include "app/window/view.hpp"

namespace qm::win32 {

class MainForm : public window::View {
public:
    static constexpr const wchar_t *ClassName = L"QuillmarkMain";

    explicit MainForm(window::Places places);
    ~MainForm() override;

    bool create(HINSTANCE instance, int show);
    HWND handle() const { return Window; }
    // The keyboard of both windows, before a message is dispatched: Tab, mnemonics and the
    // default button, Enter in a directory list, F1, and Escape in Help.
    bool preTranslate(MSG &message);

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
    void closeWindow() override;
    void post(std::function<void()> task) override;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void command(int id, int code);
    void createControls();
    void orderForTab();
    void addHints();
    void applyScale();
    void fitLabel(const window::ControlLayout &layout, HFONT font, double scale);
    HFONT makeFont(int pixels, bool bold, bool arial);
    void runPosted();
    HWND item(window::Control control) const;
    DirectoryList &list(window::Side side) { return Lists[side == window::Side::Source ? 0 : 1]; }
    DriveBox &drives(window::Side side) { return Drives[side == window::Side::Source ? 0 : 1]; }

    HINSTANCE Instance = nullptr;
    HWND Window = nullptr;
    HWND Tooltip = nullptr;
    std::array<HWND, window::ControlCount> Controls{};
    std::vector<HFONT> Fonts;
    HFONT ListFont = nullptr;
    HFONT ListChosenFont = nullptr;
    std::array<DirectoryList, 2> Lists;
    std::array<DriveBox, 2> Drives;
    HelpWindow Help;
    bool Activated = false;

    // Tasks posted from any thread, run in order on the window's; declared before the model,
    // whose run may post until the model has joined it.
    std::mutex PostedMutex;
    std::deque<std::function<void()>> Posted;
    window::MainWindow Model;
};

} // namespace qm::win32

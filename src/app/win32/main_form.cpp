#include "app/win32/main_form.hpp"

#include <commctrl.h>
#include <initguid.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <algorithm>

#include "app/win32/control_ids.hpp"
#include "app/win32/dpi.hpp"
#include "app/win32/wide_text.hpp"

namespace qm::win32 {

namespace {

using window::Control;
using window::ControlKind;
using window::ControlLayout;
using window::Side;

constexpr DWORD WindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD WindowExStyle = WS_EX_CONTROLPARENT;
// Posted to run the tasks of post().
constexpr UINT RunPostedMessage = WM_APP + 1;
// Height of a directory list's entry, and the room a drive box's list drops down to.
constexpr int ListItemHeight = 18;
constexpr int DropDownHeight = 200;
// The count boxes' figures, as large as the labels beside them.
constexpr int CountPixels = 16;

Side sideOf(Control control) {
    return control == Control::LogDrive || control == Control::LogDirs ? Side::Log : Side::Source;
}

struct Made {
    const wchar_t *Class;
    DWORD Style;
    DWORD ExStyle;
};

// The Windows control for each kind of the model's table.
Made madeFor(const ControlLayout &layout) {
    constexpr DWORD List = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
    switch (layout.Kind) {
    case ControlKind::Label:
        return {WC_STATICW,
                static_cast<DWORD>(SS_NOTIFY | (layout.RightAligned ? SS_RIGHT : SS_LEFT)), 0};
    case ControlKind::DriveBox:
        return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::DirectoryList:
        return {WC_LISTBOXW, List | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, WS_EX_CLIENTEDGE};
    case ControlKind::FileList: return {WC_LISTBOXW, List | LBS_NOSEL, WS_EX_CLIENTEDGE};
    case ControlKind::CountBox:
        return {WC_EDITW, ES_READONLY | ES_RIGHT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::CheckBox: return {WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP, 0};
    case ControlKind::Button:
        return {WC_BUTTONW,
                static_cast<DWORD>((layout.Id == Control::Go ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) |
                                   WS_TABSTOP),
                0};
    case ControlKind::StatusLine:
        // The run's line carries the log's link.
        if (layout.Id == Control::RunStatus) return {WC_LINK, 0, 0};
        return {WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS | SS_NOTIFY, 0};
    case ControlKind::ProgressBar: return {PROGRESS_CLASSW, PBS_SMOOTH, 0};
    }
    return {WC_STATICW, 0, 0};
}

// The run's line: its text, then the log's path as a link (a link control reads "<a>" as
// markup; the rest is shown as it is), the path shortened in the middle to fit the line.
std::wstring linkMarkup(HWND line, const std::string &text, const std::filesystem::path &link) {
    std::wstring markup = wide(text);
    if (link.empty()) return markup;
    RECT room{};
    ::GetClientRect(line, &room);
    const HDC dc = ::GetDC(line);
    const HGDIOBJ previous =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(line, WM_GETFONT, 0, 0)));
    SIZE used{};
    ::GetTextExtentPoint32W(dc, markup.c_str(), static_cast<int>(markup.size()), &used);
    std::wstring shown = link.native();
    shown.resize(std::max<std::size_t>(shown.size(), MAX_PATH) + 1, L'\0');
    ::PathCompactPathW(dc, shown.data(), static_cast<UINT>(std::max(0L, room.right - used.cx - 4)));
    shown.resize(wcslen(shown.c_str()));
    ::SelectObject(dc, previous);
    ::ReleaseDC(line, dc);
    return markup + L"<a>" + shown + L"</a>";
}

} // namespace

MainForm::MainForm(window::Places places) : Model(*this, std::move(places)) {}

MainForm::~MainForm() {
    for (HFONT font : Fonts)
        ::DeleteObject(font);
}

HWND MainForm::item(Control control) const { return Controls[static_cast<std::size_t>(control)]; }

bool MainForm::create(HINSTANCE instance, int show) {
    Instance = instance;
    // A dialog's keyboard handling (Tab, mnemonics, the default button) on a window of our own
    // class: the class reserves the dialog's extra bytes and falls back on DefDlgProc.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    if (::RegisterClassExW(&windowClass) == 0) return false;
    Window = ::CreateWindowExW(WindowExStyle, ClassName, wide(window::WindowCaption).c_str(),
                               WindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, window::ClientWidth,
                               window::ClientHeight, nullptr, nullptr, instance, this);
    if (Window == nullptr) return false;
    Help.create(instance, wide(window::HelpCaption));
    createControls();
    orderForTab();
    addHints();
    applyScale();

    // Centred on the work area of its screen.
    RECT outer{};
    ::GetWindowRect(Window, &outer);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(Window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &work = monitor.rcWork;
    const LONG width = outer.right - outer.left;
    const LONG height = outer.bottom - outer.top;
    RECT place{work.left + (work.right - work.left - width) / 2,
               work.top + (work.bottom - work.top - height) / 2, 0, 0};
    place.right = place.left + width;
    place.bottom = place.top + height;
    place = keptOnScreen(place, Window);
    ::SetWindowPos(Window, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    Model.start();
    ::SendMessageW(Window, DM_SETDEFID, controlId(Control::Go), 0);
    ::ShowWindow(Window, show);
    ::UpdateWindow(Window);
    return true;
}

void MainForm::createControls() {
    // Screen readers announce each control by the model's name for it.
    IAccPropServices *accessibility = nullptr;
    ::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                       reinterpret_cast<void **>(&accessibility));
    for (const ControlLayout &layout : window::controls()) {
        const Made made = madeFor(layout);
        const HWND control = ::CreateWindowExW(
            made.ExStyle, made.Class, wide(layout.Caption).c_str(),
            WS_CHILD | WS_VISIBLE | made.Style, 0, 0, 0, 0, Window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(layout.Id))), Instance, nullptr);
        Controls[static_cast<std::size_t>(layout.Id)] = control;
        if (accessibility != nullptr && !layout.Accessible.empty())
            accessibility->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                          PROPID_ACC_NAME, wide(layout.Accessible).c_str());
    }
    if (accessibility != nullptr) accessibility->Release();
    Lists[0].attach(item(Control::SourceDirs));
    Lists[1].attach(item(Control::LogDirs));
    Drives[0].attach(item(Control::SourceDrive));
    Drives[1].attach(item(Control::LogDrive));
    ::SendMessageW(item(Control::ProgressBar), PBM_SETRANGE32, 0, 100);
}

// Tab follows the z-order: the model's Tab order, each control right after the labels that
// name it (a label's mnemonic moves to the next stop after it), then what Tab never reaches.
void MainForm::orderForTab() {
    std::vector<Control> order;
    for (const Control stop : window::TabOrder) {
        for (const ControlLayout &layout : window::controls())
            if (layout.Kind == ControlKind::Label && layout.Buddy == stop)
                order.push_back(layout.Id);
        order.push_back(stop);
    }
    for (const ControlLayout &layout : window::controls())
        if (std::find(order.begin(), order.end(), layout.Id) == order.end())
            order.push_back(layout.Id);
    HWND previous = HWND_TOP;
    for (const Control control : order) {
        ::SetWindowPos(item(control), previous, 0, 0, 0, 0,
                       SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = item(control);
    }
}

void MainForm::addHints() {
    Tooltip =
        ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                          WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, Window, nullptr, Instance, nullptr);
    const auto addTool = [this](HWND control, std::string_view hint) {
        std::wstring text = wide(hint);
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Window;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = text.data(); // copied by the tooltip control
        ::SendMessageW(Tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    };
    for (const ControlLayout &layout : window::controls())
        if (!layout.Hint.empty()) addTool(item(layout.Id), layout.Hint);
    addTool(Window, window::WindowHint);
    ::SendMessageW(Tooltip, TTM_SETMAXTIPWIDTH, 0, 480);
}

HFONT MainForm::makeFont(int pixels, bool bold, bool arial) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96);
    LOGFONTW font = metrics.lfMessageFont;
    const double scale = scaleOf(Window);
    font.lfHeight = pixels > 0 ? -scaled(pixels, scale) : scaled(font.lfHeight, scale);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    if (arial) wcscpy_s(font.lfFaceName, L"Arial");
    const HFONT made = ::CreateFontIndirectW(&font);
    Fonts.push_back(made);
    return made;
}

// Places every control and sizes every font for the monitor's scale; again when it changes.
void MainForm::applyScale() {
    const double scale = scaleOf(Window);
    std::vector<HFONT> old;
    old.swap(Fonts);
    for (const ControlLayout &layout : window::controls()) {
        const window::Rect &r = layout.Place;
        const int height =
            layout.Kind == ControlKind::DriveBox ? r.Height + DropDownHeight : r.Height;
        ::SetWindowPos(item(layout.Id), nullptr, scaled(r.Left, scale), scaled(r.Top, scale),
                       scaled(r.Width, scale), scaled(height, scale),
                       SWP_NOZORDER | SWP_NOACTIVATE);
        // The buttons' large captions in Arial bold, as designed; the counts as large as
        // their labels.
        const bool button = layout.Kind == ControlKind::Button;
        const int pixels = layout.Kind == ControlKind::CountBox ? CountPixels : layout.FontPixels;
        const HFONT font = makeFont(pixels, button, button);
        ::SendMessageW(item(layout.Id), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        if (layout.Kind == ControlKind::Label) fitLabel(layout, font, scale);
    }
    ListFont = makeFont(0, false, false);
    ListChosenFont = makeFont(0, true, false);
    for (const Control control : {Control::SourceDirs, Control::LogDirs})
        ::SendMessageW(item(control), LB_SETITEMHEIGHT, 0, scaled(ListItemHeight, scale));
    RECT outer{0, 0, scaled(window::ClientWidth, scale), scaled(window::ClientHeight, scale)};
    ::AdjustWindowRectExForDpi(&outer, WindowStyle, FALSE, WindowExStyle,
                               ::GetDpiForWindow(Window));
    ::SetWindowPos(Window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HFONT font : old)
        ::DeleteObject(font);
}

// A label keeps its place; one whose text needs more room in this font grows away from the
// box it names.
void MainForm::fitLabel(const ControlLayout &layout, HFONT font, double scale) {
    std::wstring text = wide(layout.Caption);
    std::erase(text, L'&');
    const HWND label = item(layout.Id);
    const HDC dc = ::GetDC(label);
    const HGDIOBJ previous = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(label, dc);
    const window::Rect &r = layout.Place;
    const int width = scaled(r.Width, scale);
    if (size.cx <= width) return;
    const int left =
        layout.RightAligned ? scaled(r.Left + r.Width, scale) - size.cx : scaled(r.Left, scale);
    ::SetWindowPos(label, nullptr, left, scaled(r.Top, scale), size.cx, scaled(r.Height, scale),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

bool MainForm::preTranslate(MSG &message) {
    const HWND help = Help.handle();
    const bool inHelp = help != nullptr && (message.hwnd == help || ::IsChild(help, message.hwnd));
    if (message.message == WM_KEYDOWN) {
        if (inHelp && message.wParam == VK_ESCAPE) {
            Help.hide();
            ::SetForegroundWindow(Window);
            return true;
        }
        // Enter chooses the entry under a directory list's frame.
        for (const Side side : {Side::Source, Side::Log}) {
            if (message.wParam == VK_RETURN && message.hwnd == list(side).handle()) {
                Model.entryChosen(side, list(side).selectedIndex());
                return true;
            }
        }
        if (message.wParam == VK_F1 && !inHelp) {
            Model.helpClicked();
            return true;
        }
    }
    if (inHelp) return false;
    return ::IsDialogMessageW(Window, &message) != FALSE;
}

LRESULT CALLBACK MainForm::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto *self =
            static_cast<MainForm *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        self->Window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<MainForm *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return ::DefDlgProcW(window, message, wParam, lParam);
    return self->handleMessage(message, wParam, lParam);
}

LRESULT MainForm::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND: command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_NOTIFY: {
        const auto *header = reinterpret_cast<const NMHDR *>(lParam);
        if (static_cast<int>(header->idFrom) == controlId(Control::RunStatus) &&
            (header->code == NM_CLICK || header->code == NM_RETURN))
            Model.logLinkClicked();
        return 0;
    }
    case WM_DRAWITEM: {
        const auto *draw = reinterpret_cast<const DRAWITEMSTRUCT *>(lParam);
        for (const Side side : {Side::Source, Side::Log})
            if (draw->hwndItem == list(side).handle())
                list(side).draw(*draw, ListFont, ListChosenFont);
        return TRUE;
    }
    case WM_ACTIVATE:
        // The model restores the saved directories at the first activation and whenever the
        // user comes back from another window of this program (Help, a message box).
        if (LOWORD(wParam) != WA_INACTIVE) {
            const HWND previous = reinterpret_cast<HWND>(lParam);
            const bool fromOwnWindow =
                previous != nullptr &&
                ::GetWindowThreadProcessId(previous, nullptr) == ::GetCurrentThreadId();
            if (!Activated || fromOwnWindow) {
                Activated = true;
                Model.activated();
                return 0;
            }
        }
        break;
    case WM_DPICHANGED: {
        const RECT *suggested = reinterpret_cast<const RECT *>(lParam);
        ::SetWindowPos(Window, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        applyScale();
        return 0;
    }
    case RunPostedMessage: runPosted(); return 0;
    case WM_CLOSE:
        if (Model.closeRequested()) closeWindow();
        return 0;
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: break;
    }
    return ::DefDlgProcW(Window, message, wParam, lParam);
}

void MainForm::command(int id, int code) {
    if (id == IDCANCEL) { // Escape
        Model.stopClicked();
        return;
    }
    const int index = id - FirstControlId;
    if (index < 0 || static_cast<std::size_t>(index) >= window::ControlCount) return;
    const auto control = static_cast<Control>(index);
    switch (control) {
    case Control::Go: Model.goClicked(); break;
    case Control::Stop: Model.stopClicked(); break;
    case Control::Help: Model.helpClicked(); break;
    case Control::Quit: Model.quitClicked(); break;
    case Control::MusicXml:
        Model.musicXmlToggled(Button_GetCheck(item(control)) == BST_CHECKED);
        break;
    case Control::SourceDrive:
    case Control::LogDrive:
        if (code == CBN_SELCHANGE)
            Model.driveChosen(sideOf(control), drives(sideOf(control)).chosenRoot());
        break;
    case Control::SourceDirs:
    case Control::LogDirs: {
        // A click (or a double click) chooses the entry; the arrow keys only move the frame.
        const bool click = code == LBN_DBLCLK ||
                           (code == LBN_SELCHANGE && (::GetKeyState(VK_LBUTTON) & 0x8000) != 0);
        if (click) Model.entryChosen(sideOf(control), list(sideOf(control)).selectedIndex());
        break;
    }
    default: break;
    }
}

void MainForm::showCount(window::CountBox box, std::string_view text) {
    const Control control = box == window::CountBox::FilesCreated ? Control::FilesBox
                            : box == window::CountBox::Errors     ? Control::ErrorsBox
                                                                  : Control::WarningsBox;
    ::SetWindowTextW(item(control), wide(text).c_str());
    ::UpdateWindow(item(control));
}

void MainForm::enable(Control control, bool enabled) { ::EnableWindow(item(control), enabled); }

void MainForm::focus(Control control) {
    // Through the dialog manager, so that only the focused button looks like the default one.
    ::SendMessageW(Window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item(control)), TRUE);
}

void MainForm::setChecked(Control control, bool checked) {
    Button_SetCheck(item(control), checked ? BST_CHECKED : BST_UNCHECKED);
}

void MainForm::showDirectory(Side side, const window::DirectoryEntries &entries) {
    list(side).show(entries);
}

void MainForm::showDrive(Side side, const std::filesystem::path &root) { drives(side).show(root); }

std::filesystem::path MainForm::driveOf(const std::filesystem::path &path) {
    return driveRootOf(path);
}

void MainForm::showFiles(const std::vector<std::string> &names) {
    fillList(item(Control::SourceFiles), names);
}

void MainForm::showProgress(const window::ProgressShown &progress) {
    const HWND bar = item(Control::ProgressBar);
    const HWND text = item(Control::ProgressText);
    ::ShowWindow(bar, progress.Visible ? SW_SHOWNA : SW_HIDE);
    ::ShowWindow(text, progress.Visible ? SW_SHOWNA : SW_HIDE);
    ::SetWindowTextW(text, wide(progress.Text).c_str());
    // Without a total the bar only shows that the run goes on.
    const bool busy = progress.Visible && progress.Percent < 0;
    const auto style = ::GetWindowLongPtrW(bar, GWL_STYLE);
    const bool marquee = (style & PBS_MARQUEE) != 0;
    if (busy != marquee) {
        ::SetWindowLongPtrW(bar, GWL_STYLE, busy ? style | PBS_MARQUEE : style & ~PBS_MARQUEE);
        ::SendMessageW(bar, PBM_SETMARQUEE, busy, 30);
    }
    if (!busy)
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(std::max(progress.Percent, 0)), 0);
}

void MainForm::showStatus(const window::StatusShown &status) {
    ::SetWindowTextW(item(Control::SourcePath), wide(status.SourcePath).c_str());
    ::SetWindowTextW(item(Control::LogPath), wide(status.LogPath).c_str());
    ::SetWindowTextW(item(Control::RunStatus),
                     linkMarkup(item(Control::RunStatus), status.Run, status.LogLink).c_str());
    // A path too long for its line is shown whole in the line's tooltip.
    for (const auto &[control, text] : {std::pair{Control::SourcePath, status.SourcePath},
                                        std::pair{Control::LogPath, status.LogPath}}) {
        std::wstring tip = wide(text);
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Window;
        tool.uId = reinterpret_cast<UINT_PTR>(item(control));
        tool.lpszText = tip.data();
        ::SendMessageW(Tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SendMessageW(Tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void MainForm::showMessage(window::MessageKind kind, std::string_view text) {
    const UINT icon = kind == window::MessageKind::Error     ? MB_ICONERROR
                      : kind == window::MessageKind::Warning ? MB_ICONWARNING
                                                             : MB_ICONINFORMATION;
    ::MessageBoxW(Window, wide(text).c_str(), wide(window::WindowCaption).c_str(), MB_OK | icon);
}

bool MainForm::showHelp(const std::filesystem::path &rtfFile) {
    if (Help.handle() == nullptr || !Help.load(rtfFile.native())) return false;
    Help.show();
    return true;
}

bool MainForm::openFile(const std::filesystem::path &path) {
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(Window, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

void MainForm::closeWindow() {
    if (Help.handle() != nullptr) ::DestroyWindow(Help.handle());
    ::DestroyWindow(Window);
}

void MainForm::post(std::function<void()> task) {
    bool first = false;
    {
        const std::lock_guard lock(PostedMutex);
        first = Posted.empty();
        Posted.push_back(std::move(task));
    }
    if (first) ::PostMessageW(Window, RunPostedMessage, 0, 0);
}

void MainForm::runPosted() {
    for (;;) {
        std::function<void()> task;
        {
            const std::lock_guard lock(PostedMutex);
            if (Posted.empty()) return;
            task = std::move(Posted.front());
            Posted.pop_front();
        }
        task();
    }
}

} // namespace qm::win32

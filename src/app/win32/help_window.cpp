#include "app/win32/help_window.hpp"

#include <richedit.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/win32/dpi.hpp"

namespace qm::win32 {

namespace {

// The designed place and size of the help window, and the margin around its text.
constexpr RECT DesignedPlace{194, 253, 194 + 932, 253 + 544};
constexpr int Margin = 8;
// ReadMe.rtf is a few kilobytes; anything far larger is not our help file.
constexpr std::streamsize MaxHelpBytes = 4 * 1024 * 1024;

struct StreamSource {
    const std::string *Bytes;
    std::size_t Offset;
};

DWORD CALLBACK readChunk(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG *given) {
    auto *source = reinterpret_cast<StreamSource *>(cookie);
    const std::size_t left = source->Bytes->size() - source->Offset;
    const std::size_t count = std::min(left, static_cast<std::size_t>(wanted));
    std::copy_n(source->Bytes->data() + source->Offset, count, buffer);
    source->Offset += count;
    *given = static_cast<LONG>(count);
    return 0;
}

} // namespace

bool HelpWindow::create(HINSTANCE instance, const std::wstring &caption) {
    if (::LoadLibraryW(L"Msftedit.dll") == nullptr) return false;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = ClassName;
    ::RegisterClassExW(&windowClass);
    Window = ::CreateWindowExW(0, ClassName, caption.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 932, 544, nullptr, nullptr, instance, this);
    if (Window == nullptr) return false;
    TextBox = ::CreateWindowExW(WS_EX_CLIENTEDGE, MSFTEDIT_CLASS, L"HelpTextBox",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE |
                                    ES_READONLY | ES_AUTOVSCROLL,
                                0, 0, 0, 0, Window, nullptr, instance, nullptr);
    if (TextBox == nullptr) return false;
    ::SendMessageW(TextBox, EM_SHOWSCROLLBAR, SB_VERT, TRUE);
    layout();
    return true;
}

bool HelpWindow::load(const std::wstring &path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) return false;
    std::string bytes;
    char chunk[16384];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (static_cast<std::streamsize>(bytes.size()) > MaxHelpBytes) return false;
    }
    if (in.bad()) return false;
    StreamSource source{&bytes, 0};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = readChunk;
    ::SendMessageW(TextBox, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    ::SendMessageW(TextBox, EM_SETSEL, 0, 0);
    ::SendMessageW(TextBox, EM_SCROLLCARET, 0, 0);
    return stream.dwError == 0;
}

void HelpWindow::show() {
    // At its designed place the first time, kept inside the screen's work area.
    if (!::IsWindowVisible(Window)) {
        const double scale = scaleOf(Window);
        RECT place{scaled(DesignedPlace.left, scale), scaled(DesignedPlace.top, scale),
                   scaled(DesignedPlace.right, scale), scaled(DesignedPlace.bottom, scale)};
        place = keptOnScreen(place, Window);
        ::SetWindowPos(Window, nullptr, place.left, place.top, place.right - place.left,
                       place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::ShowWindow(Window, SW_SHOWNORMAL);
    ::SetForegroundWindow(Window);
    ::SetFocus(TextBox);
}

void HelpWindow::layout() {
    RECT client{};
    ::GetClientRect(Window, &client);
    const int margin = scaled(Margin, scaleOf(Window));
    ::MoveWindow(TextBox, margin, margin, std::max(0L, client.right - 2 * margin),
                 std::max(0L, client.bottom - 2 * margin), TRUE);
}

LRESULT CALLBACK HelpWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto *self =
            static_cast<HelpWindow *>(reinterpret_cast<CREATESTRUCTW *>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto *self = reinterpret_cast<HelpWindow *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_SIZE:
        if (self != nullptr && self->TextBox != nullptr) self->layout();
        return 0;
    case WM_DPICHANGED: {
        const RECT *suggested = reinterpret_cast<const RECT *>(lParam);
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLOSE: ::ShowWindow(window, SW_HIDE); return 0;
    case WM_SETFOCUS:
        if (self != nullptr) ::SetFocus(self->TextBox);
        return 0;
    default: break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace qm::win32

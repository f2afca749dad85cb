// The help window: Windows' rich-edit control showing ReadMe.rtf as the file is written, with a
// vertical scroll bar. Created hidden once; Help loads the file again and brings it forward.
// Escape or the close box hides it.
#pragma once

#include <windows.h>

#include <string>

namespace qm::win32 {

class HelpWindow {
public:
    static constexpr const wchar_t *ClassName = L"QuillmarkHelp";

    // Registers the class and creates the window, hidden. False when Windows has no rich-edit
    // control to offer.
    bool create(HINSTANCE instance, const std::wstring &caption);
    // Replaces the text with the RTF file's. False when the file cannot be read.
    bool load(const std::wstring &path);
    // Shows the window where the screen has room for it, in front.
    void show();
    void hide() { ::ShowWindow(Window, SW_HIDE); }
    HWND handle() const { return Window; }
    HWND textBox() const { return TextBox; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void layout();

    HWND Window = nullptr;
    HWND TextBox = nullptr;
};

} // namespace qm::win32

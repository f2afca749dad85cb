// The drive boxes, directory lists and file list on Windows' own controls: a drop-down list of
// the machine's drives, and owner-drawn list boxes that show the window model's entries
// indented by depth with a folder each (open for the chosen directory).
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/window/view.hpp"

namespace qm::win32 {

// The roots of the machine's drives ("C:\"), in the order Windows gives them.
std::vector<std::wstring> driveRoots();
// The text of a drive's entry: "c:" and, for a fixed drive, its volume label in brackets.
std::wstring driveCaption(const std::wstring &root);
// The root of the drive or share that holds `path`, its letter in capitals ("C:\").
std::filesystem::path driveRootOf(const std::filesystem::path &path);

class DriveBox {
public:
    void attach(HWND combo) { Combo = combo; }
    // Lists the drives again and shows `root` (added when it is no drive, as a share is).
    void show(const std::filesystem::path &root);
    // The root of the chosen entry; empty when none is.
    std::filesystem::path chosenRoot() const;

private:
    HWND Combo = nullptr;
    std::vector<std::wstring> Roots;
};

class DirectoryList {
public:
    void attach(HWND listBox) { Box = listBox; }
    HWND handle() const { return Box; }
    void show(const window::DirectoryEntries &entries);
    // The entry under the selection (the keyboard's frame), or -1.
    int selectedIndex() const;
    void draw(const DRAWITEMSTRUCT &item, HFONT font, HFONT chosenFont) const;

private:
    HWND Box = nullptr;
    window::DirectoryEntries Shown;
};

void fillList(HWND listBox, const std::vector<std::string> &names);

} // namespace qm::win32

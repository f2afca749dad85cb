// The drive box, directory list and file list of the window, on Windows' own controls: a
// drop-down list of the machine's drives, an owner-drawn list box that shows the way down from
// the drive's root to the chosen directory and then its subdirectories, and a list box of the
// NW files a run converts. Directories are read through the batch layer, so the lists show
// exactly what a run walks: hidden entries included, links to directories not followed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qm::win32 {

// The roots of the machine's drives ("C:\"), in the order Windows gives them.
std::vector<std::wstring> driveRoots();
// The text of a drive's entry: "c:" and, for a fixed drive, its volume label in brackets.
std::wstring driveCaption(const std::wstring &root);
// The root of the drive (or share) that holds `path`.
std::wstring driveRootOf(const std::wstring &path);

class DriveBox {
public:
    void attach(HWND combo) { Combo = combo; }
    // Lists the drives again and shows the one that holds `path`.
    void showDriveOf(const std::wstring &path);
    // The root of the chosen entry.
    std::wstring chosenRoot() const;
    // What the box showed before the last choice: a choice of the same drive changes nothing.
    const std::wstring &shownRoot() const { return Shown; }
    void acceptChoice() { Shown = chosenRoot(); }

private:
    HWND Combo = nullptr;
    std::vector<std::wstring> Roots;
    std::wstring Shown;
};

class DirectoryList {
public:
    struct Entry {
        std::wstring Path;
        std::wstring Name;
        int Depth = 0;
        bool Chosen = false;
    };

    void attach(HWND listBox) { Box = listBox; }
    HWND handle() const { return Box; }
    // Makes `path` the chosen directory and lists it again; false, changing nothing, when it
    // cannot be opened as a directory.
    bool setDirectory(const std::wstring &path);
    const std::wstring &directory() const { return Current; }
    // The entry of the chosen directory, and the path of any entry.
    int itemIndex() const { return CurrentIndex; }
    std::wstring itemPath(int index) const;
    int count() const { return static_cast<int>(Entries.size()); }
    // The entry under the selection (the keyboard's frame), or -1.
    int selectedIndex() const;
    // Re-reads the disk; moves up when the chosen directory has gone.
    void rebuild();
    void draw(const DRAWITEMSTRUCT &item, HFONT font, HFONT chosenFont) const;

private:
    HWND Box = nullptr;
    std::vector<Entry> Entries;
    std::wstring Current;
    int CurrentIndex = -1;
};

// The NW files of a directory that a run converts, sorted as the run takes them. Returns
// false when the directory cannot be read (the list is then empty).
bool fillFileList(HWND listBox, const std::wstring &dir);

} // namespace qm::win32

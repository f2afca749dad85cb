#include "app/win32/lists.hpp"

#include <windowsx.h>

#include <filesystem>

#include "app/batch/files.hpp"
#include "app/batch/naming.hpp"
#include "app/win32/dpi.hpp"
#include "app/win32/wide_text.hpp"

namespace qm::win32 {

namespace {

// Indent of one level of the directory list, at 96 dots per inch.
constexpr int IndentStep = 10;

constexpr int FolderWidth = 14;

// A folder 14 x 10 at 96 dots per inch, its middle at `middle`: closed, or open (a lighter
// front lifted off the back).
void drawFolder(HDC dc, int left, int middle, double scale, bool open) {
    const auto px = [scale](int value) { return scaled(value, scale); };
    const int top = middle - px(5);
    const HPEN pen = ::CreatePen(PS_SOLID, 1, RGB(122, 90, 16));
    const HBRUSH back = ::CreateSolidBrush(RGB(222, 178, 72));
    const HBRUSH front = ::CreateSolidBrush(open ? RGB(250, 226, 150) : RGB(240, 200, 96));
    const HGDIOBJ oldPen = ::SelectObject(dc, pen);
    const HGDIOBJ oldBrush = ::SelectObject(dc, back);
    ::Rectangle(dc, left, top, left + px(6), top + px(3));                    // the tab
    ::Rectangle(dc, left, top + px(2), left + px(FolderWidth), top + px(10)); // the back
    ::SelectObject(dc, front);
    if (open) {
        const POINT lid[] = {{left + px(3), top + px(4)},
                             {left + px(FolderWidth + 1), top + px(4)},
                             {left + px(FolderWidth - 2), top + px(10)},
                             {left, top + px(10)}};
        ::Polygon(dc, lid, 4);
    } else {
        ::Rectangle(dc, left, top + px(4), left + px(FolderWidth), top + px(10));
    }
    ::SelectObject(dc, oldBrush);
    ::SelectObject(dc, oldPen);
    ::DeleteObject(front);
    ::DeleteObject(back);
    ::DeleteObject(pen);
}

bool listDirectory(const std::wstring &path, batch::DirectoryListing &listing) {
    int error = 0;
    const batch::Directory dir = batch::Directory::open(std::filesystem::path(path), error);
    return dir.valid() && batch::listDirectory(dir, listing) == 0;
}

// A full path without the trailing separator (kept on a drive's root).
std::wstring withoutTrailingSeparator(std::wstring path) {
    const std::size_t rootLength = driveRootOf(path).size();
    while (path.size() > rootLength && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path;
}

std::wstring fullPath(const std::wstring &path) {
    std::string text;
    if (batch::displayPath(std::filesystem::path(path), text) != 0) return {};
    return wide(text);
}

} // namespace

std::vector<std::wstring> driveRoots() {
    std::vector<std::wstring> roots;
    wchar_t buffer[512];
    const DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer)), buffer);
    if (length == 0 || length > std::size(buffer)) return roots;
    for (const wchar_t *root = buffer; *root != L'\0'; root += wcslen(root) + 1)
        roots.emplace_back(root);
    return roots;
}

std::wstring driveCaption(const std::wstring &root) {
    std::wstring caption = root.substr(0, 2);
    if (!caption.empty()) caption[0] = static_cast<wchar_t>(towlower(caption[0]));
    // Only fixed drives are asked for their label: an empty removable drive would be waited for.
    if (::GetDriveTypeW(root.c_str()) != DRIVE_FIXED) return caption;
    wchar_t label[MAX_PATH + 1] = L"";
    if (::GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                                nullptr, 0) &&
        label[0] != L'\0')
        caption += std::wstring(L" [") + label + L"]";
    return caption;
}

std::wstring driveRootOf(const std::wstring &path) {
    const std::filesystem::path root = std::filesystem::path(path).root_path();
    std::wstring text = root.native();
    if (!text.empty() && text.back() != L'\\') text += L'\\';
    return text;
}

void DriveBox::showDriveOf(const std::wstring &path) {
    Roots = driveRoots();
    const std::wstring root = driveRootOf(path);
    // A share or a path on no listed drive gets an entry of its own.
    const auto same = [&root](const std::wstring &r) {
        return _wcsicmp(r.c_str(), root.c_str()) == 0;
    };
    if (!root.empty() && std::find_if(Roots.begin(), Roots.end(), same) == Roots.end())
        Roots.push_back(root);
    ComboBox_ResetContent(Combo);
    int shown = -1;
    for (std::size_t i = 0; i < Roots.size(); ++i) {
        const std::wstring caption =
            Roots[i].size() <= 3 ? driveCaption(Roots[i]) : withoutTrailingSeparator(Roots[i]);
        ComboBox_AddString(Combo, caption.c_str());
        if (same(Roots[i])) shown = static_cast<int>(i);
    }
    ComboBox_SetCurSel(Combo, shown);
    Shown = shown >= 0 ? Roots[static_cast<std::size_t>(shown)] : std::wstring();
}

std::wstring DriveBox::chosenRoot() const {
    const int chosen = ComboBox_GetCurSel(Combo);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= Roots.size()) return {};
    return Roots[static_cast<std::size_t>(chosen)];
}

bool DirectoryList::setDirectory(const std::wstring &path) {
    const std::wstring full = withoutTrailingSeparator(fullPath(path));
    batch::DirectoryListing listing;
    if (full.empty() || !listDirectory(full, listing)) return false;
    Current = full;
    Entries.clear();
    // STEP 1: the way down: the root, then every directory on the path to the chosen one.
    const std::wstring root = driveRootOf(full);
    Entries.push_back({root, withoutTrailingSeparator(root), 0, false});
    std::wstring walked = root;
    for (const std::filesystem::path &part : std::filesystem::path(full).relative_path()) {
        walked = joined(walked, part.native());
        Entries.push_back({walked, part.native(), static_cast<int>(Entries.size()), false});
    }
    CurrentIndex = static_cast<int>(Entries.size()) - 1;
    Entries.back().Chosen = true;
    // STEP 2: its subdirectories, in the order a run walks them.
    const int depth = Entries.back().Depth + 1;
    for (const std::string &name : listing.Subdirectories)
        Entries.push_back({joined(full, wide(name)), wide(name), depth, false});
    // STEP 3: the control's entries, the chosen one selected and in view.
    ::SendMessageW(Box, WM_SETREDRAW, FALSE, 0);
    ListBox_ResetContent(Box);
    for (const Entry &entry : Entries)
        ListBox_AddString(Box, entry.Name.c_str());
    ListBox_SetCurSel(Box, CurrentIndex);
    ::SendMessageW(Box, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(Box, nullptr, TRUE);
    return true;
}

std::wstring DirectoryList::itemPath(int index) const {
    if (index < 0 || index >= count()) return {};
    return Entries[static_cast<std::size_t>(index)].Path;
}

int DirectoryList::selectedIndex() const { return ListBox_GetCurSel(Box); }

void DirectoryList::rebuild() {
    for (std::wstring path = Current; !path.empty();) {
        if (setDirectory(path)) return;
        const std::wstring parent = std::filesystem::path(path).parent_path().native();
        if (parent == path) return;
        path = parent;
    }
}

void DirectoryList::draw(const DRAWITEMSTRUCT &item, HFONT font, HFONT chosenFont) const {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const auto index = static_cast<std::size_t>(item.itemID);
    if (index >= Entries.size()) return;
    const Entry &entry = Entries[index];
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = ::IsWindowEnabled(Box) != FALSE;
    ::FillRect(item.hDC, &item.rcItem,
               ::GetSysColorBrush(selected && enabled ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetBkMode(item.hDC, TRANSPARENT);
    ::SetTextColor(item.hDC, ::GetSysColor(!enabled   ? COLOR_GRAYTEXT
                                           : selected ? COLOR_HIGHLIGHTTEXT
                                                      : COLOR_WINDOWTEXT));
    // The chosen directory in bold, with an open folder; the others closed.
    const HGDIOBJ previous = ::SelectObject(item.hDC, entry.Chosen ? chosenFont : font);
    const double scale = scaleOf(Box);
    RECT text = item.rcItem;
    text.left += scaled(4 + IndentStep * entry.Depth, scale);
    drawFolder(item.hDC, text.left, (item.rcItem.top + item.rcItem.bottom) / 2, scale,
               entry.Chosen);
    text.left += scaled(FolderWidth + 4, scale);
    const std::wstring &shown = entry.Name;
    ::DrawTextW(item.hDC, shown.c_str(), static_cast<int>(shown.size()), &text,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SelectObject(item.hDC, previous);
    if ((item.itemState & ODS_FOCUS) != 0) ::DrawFocusRect(item.hDC, &item.rcItem);
}

bool fillFileList(HWND listBox, const std::wstring &dir) {
    ::SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);
    ListBox_ResetContent(listBox);
    batch::DirectoryListing listing;
    const bool read = listDirectory(dir, listing);
    if (read) {
        for (const std::string &name : listing.Files)
            if (batch::okFileName(name)) ListBox_AddString(listBox, wide(name).c_str());
    }
    ::SendMessageW(listBox, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(listBox, nullptr, TRUE);
    return read;
}

} // namespace qm::win32

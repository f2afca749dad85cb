#include "app/win32/lists.hpp"

#include <windowsx.h>

#include <algorithm>

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

std::filesystem::path driveRootOf(const std::filesystem::path &path) {
    std::wstring root = path.root_path().native();
    if (root.size() >= 2 && root[1] == L':') root[0] = static_cast<wchar_t>(towupper(root[0]));
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    return std::filesystem::path(root);
}

void DriveBox::show(const std::filesystem::path &root) {
    Roots = driveRoots();
    const auto same = [&root](const std::wstring &r) {
        return _wcsicmp(r.c_str(), root.c_str()) == 0;
    };
    if (!root.empty() && std::none_of(Roots.begin(), Roots.end(), same))
        Roots.push_back(root.native());
    ComboBox_ResetContent(Combo);
    int shown = -1;
    for (std::size_t i = 0; i < Roots.size(); ++i) {
        std::wstring caption = Roots[i];
        if (caption.size() <= 3) {
            caption = driveCaption(caption);
        } else if (caption.back() == L'\\') {
            caption.pop_back(); // a share: \\server\share
        }
        ComboBox_AddString(Combo, caption.c_str());
        if (same(Roots[i])) shown = static_cast<int>(i);
    }
    ComboBox_SetCurSel(Combo, shown);
}

std::filesystem::path DriveBox::chosenRoot() const {
    const int chosen = ComboBox_GetCurSel(Combo);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= Roots.size()) return {};
    return std::filesystem::path(Roots[static_cast<std::size_t>(chosen)]);
}

void DirectoryList::show(const window::DirectoryEntries &entries) {
    Shown = entries;
    ::SendMessageW(Box, WM_SETREDRAW, FALSE, 0);
    ListBox_ResetContent(Box);
    // The texts are there for screen readers and for finding an entry; drawing is ours.
    for (const window::DirectoryEntry &entry : Shown.Entries)
        ListBox_AddString(Box, wide(entry.Text).c_str());
    ListBox_SetCurSel(Box, Shown.ChosenIndex);
    ::SendMessageW(Box, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(Box, nullptr, TRUE);
}

int DirectoryList::selectedIndex() const { return ListBox_GetCurSel(Box); }

void DirectoryList::draw(const DRAWITEMSTRUCT &item, HFONT font, HFONT chosenFont) const {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const auto index = static_cast<std::size_t>(item.itemID);
    if (index >= Shown.Entries.size()) return;
    const window::DirectoryEntry &entry = Shown.Entries[index];
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool enabled = ::IsWindowEnabled(Box) != FALSE;
    ::FillRect(item.hDC, &item.rcItem,
               ::GetSysColorBrush(selected && enabled ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    ::SetBkMode(item.hDC, TRANSPARENT);
    // A link, which a run does not follow, is grey as well as marked in words.
    ::SetTextColor(item.hDC, ::GetSysColor(selected && enabled      ? COLOR_HIGHLIGHTTEXT
                                           : !enabled || entry.Link ? COLOR_GRAYTEXT
                                                                    : COLOR_WINDOWTEXT));
    // The chosen directory in bold, with an open folder; the others closed.
    const HGDIOBJ previous = ::SelectObject(item.hDC, entry.Chosen ? chosenFont : font);
    const double scale = scaleOf(Box);
    RECT text = item.rcItem;
    text.left += scaled(4 + IndentStep * entry.Depth, scale);
    drawFolder(item.hDC, text.left, (item.rcItem.top + item.rcItem.bottom) / 2, scale,
               entry.Chosen);
    text.left += scaled(FolderWidth + 4, scale);
    const std::wstring shown = wide(entry.Text);
    ::DrawTextW(item.hDC, shown.c_str(), static_cast<int>(shown.size()), &text,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    ::SelectObject(item.hDC, previous);
    if ((item.itemState & ODS_FOCUS) != 0) ::DrawFocusRect(item.hDC, &item.rcItem);
}

void fillList(HWND listBox, const std::vector<std::string> &names) {
    ::SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);
    ListBox_ResetContent(listBox);
    for (const std::string &name : names)
        ListBox_AddString(listBox, wide(name).c_str());
    ::SendMessageW(listBox, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(listBox, nullptr, TRUE);
}

} // namespace qm::win32

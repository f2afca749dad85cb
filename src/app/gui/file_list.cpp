#include "app/gui/file_list.hpp"

#include <algorithm>

#include <QDir>

namespace qm::gui {
namespace {

bool caseInsensitiveLess(const QString &a, const QString &b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

FileList::FileList(QString mask, QWidget *parent) : QListWidget(parent), Mask(std::move(mask)) {}

void FileList::setDirectory(const QString &path) {
    Directory = path;
    reread();
}

void FileList::reread() {
    clear();
    if (Directory.isEmpty()) return;
    // Regular and hidden files; QDir matches name filters without regard to case unless told.
    QStringList found = QDir(Directory).entryList({Mask}, QDir::Files | QDir::Hidden, QDir::NoSort);
    if (Accept) found.removeIf([this](const QString &name) { return !Accept(name); });
    std::sort(found.begin(), found.end(), caseInsensitiveLess);
    addItems(found);
}

QStringList FileList::names() const {
    QStringList result;
    for (int i = 0; i < count(); ++i)
        result << item(i)->text();
    return result;
}

} // namespace qm::gui

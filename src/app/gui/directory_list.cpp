#include "app/gui/directory_list.hpp"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace qm::gui {
namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int DepthRole = Qt::UserRole + 1;
constexpr int IndentPerLevel = 10;

// Shifts each entry right by its depth, so the list reads as a path down from the root.
class IndentingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(shifted.rect.left() + indentOf(index));
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += indentOf(index);
        return size;
    }

private:
    static int indentOf(const QModelIndex &index) {
        return index.data(DepthRole).toInt() * IndentPerLevel;
    }
};

QString cleanAbsolute(const QString &path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The directory and its ancestors, the root first.
QStringList pathDownFromRoot(const QString &path) {
    QStringList chain;
    QDir dir(path);
    while (true) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp()) break;
    }
    return chain;
}

QString entryName(const QString &path) {
    const QFileInfo info(path);
    return QDir(path).isRoot() ? QDir::toNativeSeparators(path) : info.fileName();
}

} // namespace

DirectoryList::DirectoryList(QWidget *parent) : QListWidget(parent) {
    setItemDelegate(new IndentingDelegate(this));
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this, [this] { emit clicked(); });
    connect(this, &QListWidget::itemActivated, this, [this] { emit clicked(); });
}

bool DirectoryList::setDirectory(const QString &path) {
    if (path.isEmpty() || !QFileInfo(path).isDir()) return false;
    const QString target = cleanAbsolute(path);
    const bool moved = target != Current;
    Current = target;
    rebuild();
    if (moved) emit changed();
    return true;
}

QString DirectoryList::getItemPath(int index) const {
    const QListWidgetItem *entry = item(index);
    return entry == nullptr ? QString() : entry->data(PathRole).toString();
}

void DirectoryList::openSelected() {
    const QString path = getItemPath(currentRow());
    if (path.isEmpty()) return;
    if (!setDirectory(path)) rebuild();
}

void DirectoryList::rebuild() {
    QString existing = Current;
    while (!existing.isEmpty() && !QFileInfo(existing).isDir()) {
        const QString parent = QFileInfo(existing).absolutePath();
        existing = parent == existing ? QString() : parent;
    }
    if (existing != Current && !existing.isEmpty()) {
        setDirectory(existing);
        return;
    }

    clear();
    const QStringList chain = pathDownFromRoot(Current);
    for (qsizetype i = 0; i < chain.size(); ++i) {
        addEntry(chain[i], entryName(chain[i]), static_cast<int>(i), true);
    }
    CurrentIndex = count() - 1;

    const QDir dir(Current);
    const QStringList subdirs =
        dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : subdirs) {
        addEntry(dir.filePath(name), name, static_cast<int>(chain.size()), false);
    }
    setCurrentRow(CurrentIndex);
}

void DirectoryList::addEntry(const QString &path, const QString &name, int depth, bool open) {
    auto *entry = new QListWidgetItem(name, this);
    entry->setData(PathRole, path);
    entry->setData(DepthRole, depth);
    entry->setIcon(style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon));
}

} // namespace qm::gui

#include "app/gui/directory_list.hpp"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyledItemDelegate>

namespace qm::gui {
namespace {

constexpr int DepthRole = Qt::UserRole;
constexpr int IndentPerLevel = 10;

// Shifts each entry right by its depth, so the list reads as a path down from the root, and
// draws the focus frame itself: styles differ on whether an item view shows one at all.
class IndentingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(shifted.rect.left() + indentOf(index));
        const bool focused = shifted.state.testFlag(QStyle::State_HasFocus);
        shifted.state.setFlag(QStyle::State_HasFocus, false);
        QStyledItemDelegate::paint(painter, shifted, index);
        if (!focused) return;
        painter->save();
        const bool selected = shifted.state.testFlag(QStyle::State_Selected);
        painter->setPen(
            QPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 1,
                 Qt::DotLine));
        painter->drawRect(shifted.rect.adjusted(0, 0, -1, -1));
        painter->restore();
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

// Folder icons drawn here rather than taken from the icon theme, where the open and the closed
// folder often look alike.
QIcon folderIcon(bool open) {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        painter.setPen(QPen(QColor(0x7a, 0x5a, 0x10), 1));
        painter.setBrush(QColor(0xd9, 0xa8, 0x30));
        QPainterPath back;
        back.moveTo(1.5, 3.5);
        back.lineTo(6, 3.5);
        back.lineTo(7.5, 5);
        back.lineTo(14.5, 5);
        back.lineTo(14.5, 13.5);
        back.lineTo(1.5, 13.5);
        back.closeSubpath();
        painter.drawPath(back);
        if (open) {
            // The front flap tipped forward shows the folder's inside.
            painter.setBrush(QColor(0xff, 0xe0, 0x8a));
            painter.drawPolygon(QPolygonF({{4, 7.5}, {15.5, 7.5}, {12.5, 13.5}, {1, 13.5}}));
        } else {
            painter.setBrush(QColor(0xf0, 0xc0, 0x48));
            painter.drawRect(QRectF(1.5, 6.5, 13, 7));
        }
        // The same colours when highlighted: a tinted folder is hard to tell open from closed.
        icon.addPixmap(pixmap, QIcon::Normal);
        icon.addPixmap(pixmap, QIcon::Selected);
    }
    return icon;
}

} // namespace

DirectoryList::DirectoryList(QWidget *parent)
    : QListWidget(parent), OpenFolder(folderIcon(true)), ClosedFolder(folderIcon(false)) {
    setItemDelegate(new IndentingDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *entry) { emit chosen(row(entry)); });
    connect(this, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *entry) { emit chosen(row(entry)); });
}

void DirectoryList::showEntries(const window::DirectoryEntries &entries) {
    clear();
    for (const window::DirectoryEntry &shown : entries.Entries) {
        auto *entry = new QListWidgetItem(QString::fromStdString(shown.Text), this);
        entry->setData(DepthRole, shown.Depth);
        entry->setIcon(shown.Chosen ? OpenFolder : ClosedFolder);
        if (shown.Link) {
            entry->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
            entry->setToolTip(QStringLiteral("A link to another directory: converting this "
                                             "directory does not follow it. Open it to convert "
                                             "it on its own."));
        }
    }
    ChosenIndex = entries.ChosenIndex;
    markChosenEntry();
}

// Highlight and focus frame both on the chosen directory.
void DirectoryList::markChosenEntry() {
    const QModelIndex chosen = model()->index(ChosenIndex, 0);
    selectionModel()->setCurrentIndex(chosen, QItemSelectionModel::NoUpdate);
    selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect);
    scrollTo(chosen);
}

// The user never moves the highlight: it marks the chosen directory and follows only a choice.
QItemSelectionModel::SelectionFlags DirectoryList::selectionCommand(const QModelIndex &,
                                                                    const QEvent *) const {
    return QItemSelectionModel::NoUpdate;
}

// A focus frame left on an entry that was not chosen would suggest a choice that was not made.
void DirectoryList::focusOutEvent(QFocusEvent *event) {
    QListWidget::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason && ChosenIndex >= 0) {
        selectionModel()->setCurrentIndex(model()->index(ChosenIndex, 0),
                                          QItemSelectionModel::NoUpdate);
    }
}

} // namespace qm::gui

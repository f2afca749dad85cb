// A directory chooser as the window model fills it: the ancestors of the chosen directory from
// the root down, the chosen directory itself, then its subdirectories, each entry indented by
// its depth.
//
// The highlight always marks the chosen directory, whose entry alone has an open-folder icon.
// The keyboard moves a visible focus frame; Enter (or a click) chooses the entry under it.
#pragma once

#include <QIcon>
#include <QListWidget>

#include "app/window/view.hpp"

namespace qm::gui {

class DirectoryList : public QListWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget *parent = nullptr);

    // Replaces the entries; the highlight goes to the chosen one.
    void showEntries(const window::DirectoryEntries &entries);
    // The entry of the chosen directory.
    int itemIndex() const { return ChosenIndex; }

signals:
    // An entry was clicked, or opened with Enter or a double click.
    void chosen(int index);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void markChosenEntry();

    QIcon OpenFolder;
    QIcon ClosedFolder;
    int ChosenIndex = -1;
};

} // namespace qm::gui

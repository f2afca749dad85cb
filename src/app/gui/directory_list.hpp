// A directory chooser: the ancestors of the current directory from the root down, the current
// directory itself, then its subdirectories, each entry indented by its depth.
//
// The highlight always marks the chosen directory, whose entry alone has an open-folder icon.
// The keyboard moves a visible focus frame; Enter (or a click) chooses the entry under it.
// Subdirectories are listed as a run walks them: hidden ones included, and a link to a
// directory marked as one that a run over this directory does not follow.
#pragma once

#include <QIcon>
#include <QListWidget>
#include <QString>

namespace qm::gui {

class DirectoryList : public QListWidget {
    Q_OBJECT

public:
    explicit DirectoryList(QWidget *parent = nullptr);

    QString directory() const { return Current; }

    // Makes `path` the current directory and rebuilds the entries. Emits changed() when the
    // directory moved. Returns false, changing nothing, when `path` is not a directory.
    bool setDirectory(const QString &path);

    // Moves to the root of a volume.
    void setDrive(const QString &rootPath) { setDirectory(rootPath); }

    // The entry of the current directory.
    int itemIndex() const { return CurrentIndex; }
    QString getItemPath(int index) const;
    // Whether the entry is a link to a directory (listed, but not walked by a run).
    bool isLinkEntry(int index) const;

    // Makes the directory of the entry under the focus frame the current one. An entry whose
    // directory has gone is dropped by re-reading the disk.
    void openSelected();

    // Re-reads the subdirectories; moves up when the current directory itself has gone.
    void rebuild();

signals:
    void changed();
    // An entry was clicked, or opened with Enter or a double click.
    void clicked();

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event) const override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void addEntry(const QString &path, const QString &name, int depth, bool open, bool link);
    void markChosenEntry();

    QIcon OpenFolder;
    QIcon ClosedFolder;
    QString Current;
    int CurrentIndex = -1;
};

} // namespace qm::gui

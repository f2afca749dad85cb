// A directory chooser: the ancestors of the current directory from the root down, the current
// directory itself, then its subdirectories, each entry indented by its depth.
#pragma once

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

    // Makes the directory of the selected entry the current one. An entry whose directory has
    // gone is dropped by re-reading the disk.
    void openSelected();

    // Re-reads the subdirectories; moves up when the current directory itself has gone.
    void rebuild();

signals:
    void changed();
    // An entry was clicked, or opened with Enter or a double click.
    void clicked();

private:
    void addEntry(const QString &path, const QString &name, int depth, bool open);

    QString Current;
    int CurrentIndex = -1;
};

} // namespace qm::gui

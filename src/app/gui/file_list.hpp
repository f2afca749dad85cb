// The files of one directory whose names match a mask (without regard to case), sorted
// alphabetically without regard to case. Display only; re-read on request.
#pragma once

#include <functional>

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace qm::gui {

class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QString mask, QWidget *parent = nullptr);

    // Lists only the names that match the mask and pass `accept` too.
    void setFilter(std::function<bool(const QString &name)> accept) { Accept = std::move(accept); }

    QString directory() const { return Directory; }
    // Points the list at `path` and re-reads it.
    void setDirectory(const QString &path);
    void reread();
    QStringList names() const;

private:
    QString Mask;
    std::function<bool(const QString &)> Accept;
    QString Directory;
};

} // namespace qm::gui

// The files of one directory whose names match a mask (without regard to case), sorted
// alphabetically without regard to case. Display only; re-read on request.
#pragma once

#include <QListWidget>
#include <QString>
#include <QStringList>

namespace qm::gui {

class FileList : public QListWidget {
    Q_OBJECT

public:
    explicit FileList(QString mask, QWidget *parent = nullptr);

    QString directory() const { return Directory; }
    // Points the list at `path` and re-reads it.
    void setDirectory(const QString &path);
    void reread();
    QStringList names() const;

private:
    QString Mask;
    QString Directory;
};

} // namespace qm::gui

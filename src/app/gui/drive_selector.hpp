// The mounted volumes to choose from, by their root paths (drive letters on Windows).
#pragma once

#include <QComboBox>
#include <QString>

namespace qm::gui {

class DriveSelector : public QComboBox {
    Q_OBJECT

public:
    explicit DriveSelector(QWidget *parent = nullptr);

    // Re-reads the mounted volumes, keeping the choice where it still exists.
    void refresh();
    // The root path of the chosen volume.
    QString drive() const;
    // Shows the volume whose root is `rootPath`, without emitting driveChanged.
    void showDrive(const QString &rootPath);

signals:
    // The user chose a volume, perhaps the one already shown.
    void driveChanged(const QString &rootPath);

private:
    int addVolume(const QString &rootPath, const QString &name);
};

} // namespace qm::gui

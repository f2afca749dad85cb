#include "app/gui/drive_selector.hpp"

#include <QDir>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStorageInfo>

namespace qm::gui {

DriveSelector::DriveSelector(QWidget *parent) : QComboBox(parent) {
    refresh();
    connect(this, &QComboBox::activated, this, [this] { emit driveChanged(drive()); });
}

void DriveSelector::refresh() {
    const QString chosen = drive();
    const QSignalBlocker blocker(this);
    clear();
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &volume : volumes) {
        // Bind mounts of single files are not places to choose.
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(volume.rootPath()).isDir()) {
            continue;
        }
        addVolume(volume.rootPath(), volume.name());
    }
    model()->sort(0);
    const int index = findData(chosen);
    setCurrentIndex(index >= 0 ? index : 0);
}

QString DriveSelector::drive() const { return currentData().toString(); }

void DriveSelector::showDrive(const QString &rootPath) {
    const QSignalBlocker blocker(this);
    int index = findData(rootPath);
    if (index < 0) index = addVolume(rootPath, QStorageInfo(rootPath).name());
    setCurrentIndex(index);
}

int DriveSelector::addVolume(const QString &rootPath, const QString &name) {
    QString text = QDir::toNativeSeparators(rootPath);
    if (!name.isEmpty()) text += QStringLiteral(" [%1]").arg(name);
    addItem(text, rootPath);
    return count() - 1;
}

} // namespace qm::gui

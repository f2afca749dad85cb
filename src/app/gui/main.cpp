// quillmark-gui: the desktop window of the converter.
#include <QApplication>
#include <QDir>

#include "app/gui/main_form.hpp"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark Updater"));
    qm::gui::MainForm form(QDir::currentPath(), QCoreApplication::applicationDirPath());
    form.show();
    return QApplication::exec();
}

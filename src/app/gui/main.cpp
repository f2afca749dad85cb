// quillmark-gui: the desktop window of the converter.
#include <QApplication>
#include <QDir>
#include <QIcon>

#include "app/gui/main_form.hpp"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark Updater"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMARK_VERSION));
    // The installed desktop entry and icon carry this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmark"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillmark")));
    qm::gui::MainForm form(QDir::currentPath(), QCoreApplication::applicationDirPath());
    form.show();
    return QApplication::exec();
}

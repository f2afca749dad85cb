// quillmark-gui: the desktop window of the converter.
#include <cstdio>
#include <string_view>

#include <QApplication>
#include <QDir>
#include <QIcon>

#include "app/gui/main_form.hpp"
#include "app/window/controls.hpp"

int main(int argc, char *argv[]) {
    // Answered before the window system is needed, so it works without a display too.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("quillmark-gui %s\n", QUILLMARK_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(
        QString::fromUtf8(qm::window::ApplicationTitle.data(),
                          static_cast<qsizetype>(qm::window::ApplicationTitle.size())));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMARK_VERSION));
    // The installed desktop entry and icon carry this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmark"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillmark")));
    qm::gui::MainForm form(QDir::currentPath(), QCoreApplication::applicationDirPath());
    form.show();
    return QApplication::exec();
}

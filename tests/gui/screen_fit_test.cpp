// The main window on screens too small for its layout: it scales down and stays on the screen.
// Runs on an offscreen screen of 1280 x 800 pixels at scale 2, a usual laptop setting.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "app/gui/main_form.hpp"
#include "app/gui/window_fit.hpp"

using namespace qm::gui;

class ScreenFitTest : public QObject {
    Q_OBJECT

private slots:
    void fitWindow_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("framePos");
        const QSize client(440, 562);
        // frame 4, 30, 4, 4: the window with its frame is 448 x 596 at scale 1.
        QTest::newRow("room to spare") << QRect(0, 0, 1280, 800) << 1.0 << QPoint(416, 102);
        QTest::newRow("exactly enough") << QRect(0, 0, 448, 596) << 1.0 << QPoint(0, 0);
        QTest::newRow("1280x800 at 2x, panel on top")
            << QRect(0, 14, 640, 386) << (386.0 - 34) / 562 << QPoint(178, 14);
        QTest::newRow("narrow and tall") << QRect(0, 0, 228, 2000) << 0.5 << QPoint(0, 842);
        QTest::newRow("second screen")
            << QRect(1920, -200, 1024, 768) << 1.0 << QPoint(1920 + 288, -200 + 86);
        QTest::newRow("tiny: never below half") << QRect(10, 10, 100, 100) << 0.5 << QPoint(10, 10);
    }

    void fitWindow() {
        QFETCH(QRect, available);
        QFETCH(double, scale);
        QFETCH(QPoint, framePos);
        const WindowFit fit = qm::gui::fitWindow({440, 562}, {4, 30, 4, 4}, available);
        QVERIFY2(qAbs(fit.Scale - scale) < 1e-9, qPrintable(QString::number(fit.Scale)));
        QCOMPARE(fit.FramePos, framePos);
    }

    // The shown window, its frame and every control lie within the screen's usable area.
    void windowFitsScaledScreen() {
        QTemporaryDir start;
        QVERIFY(start.isValid());
        const QScreen *screen = QGuiApplication::primaryScreen();
        QCOMPARE(screen->geometry().size(), QSize(640, 400));
        MainForm form(start.path());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.layoutScale() < 1.0);
        const QRect usable = screen->availableGeometry();
        QVERIFY2(usable.contains(form.frameGeometry()),
                 qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                .arg(form.frameGeometry().x())
                                .arg(form.frameGeometry().y())
                                .arg(form.frameGeometry().width())
                                .arg(form.frameGeometry().height())));
        for (const QWidget *child : form.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisible()) continue;
            const QRect global(child->mapToGlobal(QPoint(0, 0)), child->size());
            QVERIFY2(usable.contains(global), qPrintable(child->objectName()));
        }

        // The screenshot shows the buttons drawn where they are, at the screen's pixel density.
        const QImage shot = form.grab().toImage();
        QCOMPARE(shot.size(), form.size() * 2);
        const auto *go = form.findChild<QPushButton *>(QStringLiteral("GoButton"));
        const QImage goPixels = shot.copy(QRect(go->geometry().topLeft() * 2, go->size() * 2));
        QVERIFY(goPixels.convertToFormat(QImage::Format_Grayscale8) !=
                QImage(goPixels.size(), QImage::Format_Grayscale8)); // not blank
        // Kept beside the test program for a look by eye.
        shot.save(QDir(QCoreApplication::applicationDirPath())
                      .filePath(QStringLiteral("screen_fit_1280x800_scale2.png")));

        // The help window, far larger than this screen, comes up on it too.
        QFile help(start.filePath(QStringLiteral("ReadMe.rtf")));
        QVERIFY(help.open(QIODevice::WriteOnly));
        help.write("{\\rtf1 Help}");
        help.close();
        form.helpClick();
        QVERIFY(QTest::qWaitForWindowExposed(form.helpForm()));
        QVERIFY(usable.contains(form.helpForm()->frameGeometry()));
    }
};

int main(int argc, char *argv[]) {
    QTemporaryDir configDir;
    const QString config = configDir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return 2;
    file.write(R"({"windowFrameMargins": true, "screens": [{"name": "laptop", "x": 0, "y": 0,
                 "width": 1280, "height": 800, "logicalDpi": 96, "logicalBaseDpi": 96}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ScreenFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "screen_fit_test.moc"

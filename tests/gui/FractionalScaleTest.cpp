// The view at a fractional screen scale: the viewport, the size used for the aspect ratio
// and picking, and the framebuffer are one size.
#include "GuiTestSupport.h"
#include "app/MainWindow.h"
#include "app/Application.h"
#include "app/qt/ViewWidget.h"

#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

class FractionalScaleTest : public QObject {
    Q_OBJECT
private slots:
    void viewportFillsTheFramebufferAtEveryWidth()
    {
        QStandardPaths::setTestModeEnabled(true);
        QTemporaryDir dir;
        Application app(AppOptions{std::filesystem::path(QFile::encodeName(dir.filePath("orrisk.ini")).toStdString()),
                                  dir.filePath("profile.ini")});
        QVERIFY(app.Start({ORRISK_SAMPLE_SCENE}));
        QVERIFY(guitest::ShowActive(*app.Window()));
        ViewWidget* view = app.ViewWindow();
        QCOMPARE(view->devicePixelRatioF(), 1.25);

        // Widths whose scaled size has a fraction of one half or more are where truncating
        // and rounding differ.
        int checked = 0;
        for (int grow = 0; grow < 4; ++grow) {
            app.Window()->resize(1001 + grow, 701 + grow);
            QApplication::processEvents();
            const QImage frame = view->grabFramebuffer();
            view->makeCurrent();
            GLint viewport[4] = {};
            glGetIntegerv(GL_VIEWPORT, viewport);
            const ClientSize size = app.Desktop().ViewClientSize();
            QCOMPARE(size.width, frame.width());
            QCOMPARE(size.height, frame.height());
            QCOMPARE(viewport[2], frame.width());
            QCOMPARE(viewport[3], frame.height());
            checked += view->width() % 4 >= 2 ? 1 : 0;
        }
        QVERIFY(checked > 0);
        app.Window()->close();
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "1.25");
    QApplication application(argc, argv);
    FractionalScaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FractionalScaleTest.moc"

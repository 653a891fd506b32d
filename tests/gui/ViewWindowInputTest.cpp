// The view window as the user drives it: what Alt, double clicks and the wheel reach, and
// the axis gizmo's lines in a real window.
#include "GuiTestSupport.h"
#include "app/MainWindow.h"
#include "app/Application.h"
#include "app/qt/ViewWidget.h"
#include "view/SceneView.h"

#include <QImage>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <memory>

class ViewWindowInputTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Application> m_app;

    bool Start(const QStringList& arguments)
    {
        const QString settings = m_dir->filePath("orrisk.ini");
        m_app = std::make_unique<Application>(
            AppOptions{std::filesystem::path(QFile::encodeName(settings).toStdString()), m_dir->filePath("profile.ini")});
        return m_app->Start(arguments) && guitest::ShowActive(*m_app->Window());
    }
    ViewWidget* Window() const { return m_app->ViewWindow(); }
    SceneView& View() const { return Window()->View(); }

    void SendWheel(QPoint angleDelta, Qt::KeyboardModifiers modifiers) const
    {
        const QPoint centre = Window()->rect().center();
        QWheelEvent wheel(centre, Window()->mapToGlobal(centre), QPoint(), angleDelta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Window(), &wheel);
    }
    void SendMouse(QEvent::Type type, Qt::MouseButton button, QPoint at) const
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, at, Window()->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(Window(), &event);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        if (m_app && m_app->Window())
            m_app->Window()->close();
        m_app.reset();
        m_dir.reset();
    }

    void altLettersBelongToTheMenus()
    {
        QVERIFY(Start({ORRISK_SAMPLE_SCENE}));
        const Eigen::Quaternionf before = View().Camera().orientation;
        const auto projection = View().Camera().projection;
        QTest::keyClick(Window(), Qt::Key_X, Qt::AltModifier);
        QTest::keyClick(Window(), Qt::Key_P, Qt::AltModifier);
        QTest::keyClick(Window(), Qt::Key_Tab, Qt::AltModifier);
        QVERIFY(View().Camera().orientation.isApprox(before));
        QCOMPARE(View().Camera().projection, projection);
        QVERIFY(View().Camera().navMode == Orbit);
        // Without Alt the same letter turns the view.
        QTest::keyClick(Window(), Qt::Key_X);
        QVERIFY(!View().Camera().orientation.isApprox(before));
    }

    void altWheelZoomsAndHorizontalScrollingDoesNot()
    {
        QVERIFY(Start({ORRISK_SAMPLE_SCENE}));
        const float distance = View().Camera().distance;
        SendWheel(QPoint(120, 0), Qt::NoModifier);
        QCOMPARE(View().Camera().distance, distance);
        // X11 delivers Alt+wheel as horizontal scrolling.
        SendWheel(QPoint(120, 0), Qt::AltModifier);
        QCOMPARE(View().Camera().distance, distance * 0.9f);
    }

    void secondPressOfARightOrMiddleDoubleClickDoesNothing()
    {
        QVERIFY(Start({ORRISK_SAMPLE_SCENE}));
        const QPoint centre = Window()->rect().center();
        for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            const Eigen::Quaternionf orientation = View().Camera().orientation;
            const Eigen::Vector3f target = View().Camera().target;
            SendMouse(QEvent::MouseButtonPress, button, centre);
            SendMouse(QEvent::MouseButtonRelease, button, centre);
            // Widgets get the second press of a double click as the double-click event.
            SendMouse(QEvent::MouseButtonDblClick, button, centre);
            QCOMPARE(View().Controller().dragMode, DragMode::Idle);
            QVERIFY(!Window()->HasMouseCapture());
            SendMouse(QEvent::MouseMove, button, centre + QPoint(80, 30));
            SendMouse(QEvent::MouseButtonRelease, button, centre + QPoint(80, 30));
            QVERIFY(View().Camera().orientation.isApprox(orientation));
            QVERIFY(View().Camera().target.isApprox(target));
        }
    }

    void gizmoLinesAreAsWideInTheWindowAsInTheRenderTool()
    {
        QVERIFY(Start({}));
        const QImage image = Window()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        // The gizmo's square is 120 pixels with a 10-pixel margin in the top right corner; in
        // the starting view its X axis runs to the right from the centre.
        const QPoint centre(image.width() - 70, 70);
        const auto red = [&](int x, int y) {
            const QColor c = image.pixelColor(x, y);
            return c.red() > c.green() + 60 && c.red() > c.blue() + 60;
        };
        for (int dx : {15, 25}) {
            int thickness = 0;
            for (int y = centre.y() - 20; y <= centre.y() + 20; ++y)
                thickness += red(centre.x() + dx, y) ? 1 : 0;
            QCOMPARE(thickness, 3);
        }
    }
};

QTEST_MAIN(ViewWindowInputTest)
#include "ViewWindowInputTest.moc"

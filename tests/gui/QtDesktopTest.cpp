#include "GuiTestSupport.h"

#include "app/SettingsDialog.h"
#include "app/MainWindow.h"
#include "app/qt/QtDesktop.h"
#include "settings/AppSettings.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

class QtDesktopTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fileDialogFiltersInQtsForm()
    {
        QCOMPARE(QtFileDialogFilter({{"Camera pose file (*.json)", "*.json"}, {"All Files (*.*)", "*.*"}}),
                 QString("Camera pose file (*.json);;All Files (*)"));
        QCOMPARE(QtFileDialogFilter({{"Scenes", "*.ply"}}), QString("Scenes (*.ply)"));
        QCOMPARE(QtFileDialogFilter({}), QString());
    }

    void withoutFrameOrViewNothingHappens()
    {
        QtDesktop desktop;
        QVERIFY(!desktop.SetStatusPaneText(StatusPane::Mode, "Mode: Fly | Persp"));
        desktop.RefreshFrameTitle("/a/b.ply");
        desktop.InvalidateView();
        desktop.PostWake();
        desktop.CaptureMouse();
        QVERIFY(!desktop.ViewHasMouseCapture());
        const ClientSize size = desktop.ViewClientSize();
        QCOMPARE(size.width, 0);
        QCOMPARE(size.height, 0);
    }

    void panesAndTitleGoToTheFrame()
    {
        MainWindow frame;
        QtDesktop desktop;
        desktop.AttachFrame(&frame);
        QVERIFY(desktop.SetStatusPaneText(StatusPane::Count, "Splats: 42"));
        QCOMPARE(frame.PaneText(StatusPane::Count), QString("Splats: 42"));
        desktop.RefreshFrameTitle("/data/日本語.las");
        QCOMPARE(frame.windowTitle(), QString::fromUtf8("日本語.las - Orrisk ver.1.1"));
    }

    void messageBoxHasOkOnlyAndNoIcon()
    {
        MainWindow frame;
        QtDesktop desktop;
        desktop.AttachFrame(&frame);
        QStringList buttons;
        guitest::WhenDialogOpens<QMessageBox>([&](QMessageBox* box) {
            for (QAbstractButton* button : box->buttons())
                buttons << button->text();
            QCOMPARE(box->icon(), QMessageBox::NoIcon);
            QCOMPARE(box->windowTitle(), QString("Orrisk ver.1.1"));
            QCOMPARE(box->text(), QString("Failed to initialize OpenGL 4.5.\nPlease check your graphics driver."));
            box->done(QMessageBox::Ok);
        });
        desktop.ReportOpenGlUnavailable();
        QCOMPARE(buttons.size(), 1);
    }

    void aReasonBecomesTheBoxsDetailedText()
    {
        MainWindow frame;
        QtDesktop desktop;
        desktop.AttachFrame(&frame);
        QString text;
        QString details;
        guitest::WhenDialogOpens<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            details = box->detailedText();
            box->done(QMessageBox::Ok);
        });
        desktop.ReportOpenFailure({OpenFailureKind::PointCloud, "a.las",
                                   {ReadError::Truncated, "LAS: the header claims 1,065 points, the file holds 12"}});
        QCOMPARE(text, QString("Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents."));
        QCOMPARE(details, QString("LAS: the header claims 1,065 points, the file holds 12"));
    }

    void busyCursorGivesWayToTheArrowWhileABoxIsOpen()
    {
        QtDesktop desktop;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        Qt::CursorShape during = Qt::WaitCursor;
        guitest::WhenDialogOpens<QMessageBox>([&](QMessageBox* box) {
            during = QGuiApplication::overrideCursor()->shape();
            box->done(QMessageBox::Ok);
        });
        desktop.ShowMessageBox("x");
        QCOMPARE(during, Qt::ArrowCursor);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QGuiApplication::restoreOverrideCursor();
    }

    void fileDialogAsTheApplicationAsksForIt()
    {
        QTemporaryDir dir;
        const QString poses = dir.filePath("transforms.json");
        QFile(poses).open(QIODevice::WriteOnly);
        QtDesktop desktop;
        OpenFileDialogRequest request{"json", "transforms.json",
                                      {{"Camera pose file (*.json)", "*.json"}, {"All Files (*.*)", "*.*"}}};
        QStringList filters;
        QString suffix;
        guitest::WhenDialogOpens<QFileDialog>([&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            guitest::ChooseFile(*dialog, poses);
        });
        const std::optional<std::string> chosen = desktop.ChooseFileToOpen(request);
        QVERIFY(chosen.has_value());
        QCOMPARE(QFile::decodeName(QByteArray::fromStdString(*chosen)), poses);
        QCOMPARE(filters, QStringList({"Camera pose file (*.json)", "All Files (*)"}));
        QCOMPARE(suffix, QString("json"));
        QCOMPARE(desktop.LastDirectory(), dir.path());

        guitest::WhenDialogOpens<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        QVERIFY(!desktop.ChooseFileToOpen(request).has_value());
    }

    void settingsDialogWritesBackOnlyOnOk()
    {
        QtDesktop desktop;
        AppSettings settings;
        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            dialog->findChild<QLineEdit*>("pointSize")->setText("9");
            dialog->reject();
        });
        QVERIFY(!desktop.RunSettingsDialog(settings));
        QCOMPARE(settings.pointSize, 2.0f);

        guitest::WhenDialogOpens<SettingsDialog>([](SettingsDialog* dialog) {
            dialog->findChild<QLineEdit*>("pointSize")->setText("9");
            dialog->findChild<QRadioButton*>("fly")->click();
            dialog->findChild<QPushButton*>("ok")->click();
        });
        QVERIFY(desktop.RunSettingsDialog(settings));
        QCOMPARE(settings.pointSize, 9.0f);
        QCOMPARE(settings.navMode, 1);
    }
};

QTEST_MAIN(QtDesktopTest)
#include "QtDesktopTest.moc"

#include "GuiTestSupport.h"

#include "app/AboutDialog.h"
#include "app/MainWindow.h"
#include "app/CommandTable.h"
#include "app/Icons.h"
#include "view/ViewHost.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QStandardPaths>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

namespace {

// The menu's entries as text: captions, "-" for separators, ">caption" for submenus.
QStringList EntriesOf(const QMenu* menu)
{
    QStringList entries;
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator())
            entries << "-";
        else if (action->menu())
            entries << ">" + action->text();
        else if (action->isVisible())
            entries << action->text();
    }
    return entries;
}

QMenu* TopMenu(const MainWindow& frame, int index)
{
    return frame.menuBar()->actions().at(index)->menu();
}

QStringList Utf8List(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts)
        list << QString::fromUtf8(text);
    return list;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Qt's dialogs remember things in the user's settings: keep tests away from them.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void titleFollowsTheDocumentPath()
    {
        QCOMPARE(FrameTitleFor(""), QString("Orrisk ver.1.1"));
        QCOMPARE(FrameTitleFor("/data/a/b/room.las"), QString("room.las - Orrisk ver.1.1"));
        QCOMPARE(FrameTitleFor("scan.ply"), QString("scan.ply - Orrisk ver.1.1"));
        QCOMPARE(FrameTitleFor("/data/日本語/点群.ply"), QString::fromUtf8("点群.ply - Orrisk ver.1.1"));

        MainWindow frame;
        QCOMPARE(frame.windowTitle(), QString("Orrisk ver.1.1"));
        frame.OnUpdateFrameTitle("/tmp/scan.ply");
        QCOMPARE(frame.windowTitle(), QString("scan.ply - Orrisk ver.1.1"));
        frame.OnUpdateFrameTitle("");
        QCOMPARE(frame.windowTitle(), QString("Orrisk ver.1.1"));
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.OnUpdateFrameTitle("/tmp/a[*]b.ply");
        QCOMPARE(frame.windowHandle()->title(), QString("a[*]b.ply - Orrisk ver.1.1"));
    }

    void menusHaveTheCommandTableCaptions()
    {
        MainWindow frame;
        QStringList tops;
        for (const QAction* action : frame.menuBar()->actions())
            tops << action->text();
        QCOMPARE(tops, Utf8List({"ファイル(&F)", "表示(&V)", "設定(&S)", "ヘルプ(&H)"}));

        QCOMPARE(EntriesOf(TopMenu(frame, 0)),
                 Utf8List({"新規作成(&N)...\tCtrl+N", "-", "点群/3DGSファイルを開く(&O)...\tCtrl+O",
                           "カメラ位置ファイルを開く(&P)", "フライスルー動画を書き出す(&V)...", "点群を書き出す(&E)...", "-",
                           "最近使ったファイル",
                           "-", "終了(&X)"}));
        QCOMPARE(EntriesOf(TopMenu(frame, 1)),
                 Utf8List({">ビュー方向", "フィット", "-", "ステータス バー(&S)"}));
        const QMenu* directions = TopMenu(frame, 1)->actions().at(0)->menu();
        QCOMPARE(EntriesOf(directions), Utf8List({"X（前方向）", "X（後方向）", "-", "Y（前方向）", "Y（後方向）", "-",
                                                  "Z（前方向）", "Z（後方向）"}));
        QCOMPARE(EntriesOf(TopMenu(frame, 2)), Utf8List({"設定(&S)"}));
        QCOMPARE(EntriesOf(TopMenu(frame, 3)), Utf8List({"ヘルプ(&A)..."}));
        QVERIFY(!frame.findChild<QAction*>("recentFilesPlaceholder")->isEnabled());
    }

    void promptsAndTooltipsComeFromTheCommandTable()
    {
        MainWindow frame;
        QCOMPARE(frame.Action(CommandId::FileOpen)->statusTip(), QString::fromUtf8("点群/3DGSファイルを開く"));
        QCOMPARE(frame.Action(CommandId::FileOpen)->toolTip(), QString::fromUtf8("開く"));
        QCOMPARE(frame.Action(CommandId::ViewFit)->statusTip(), QString::fromUtf8("全体表示"));
        QCOMPARE(frame.Action(CommandId::ViewStatusBar)->toolTip(), QString::fromUtf8("ステータス バーの表示切り替え"));
        QCOMPARE(frame.Action(CommandId::AppAbout)->statusTip(),
                 QString::fromUtf8("プログラム情報、バージョン、著作権を表示します。"));
        QCOMPARE(frame.Action(CommandId::AppExit)->statusTip(), QString::fromUtf8("アプリケーションを終了"));
        for (const CommandText& command : CommandTexts()) {
            QVERIFY(frame.Action(command.id));
            QVERIFY(!frame.Action(command.id)->statusTip().isEmpty());
        }
        QVERIFY(!frame.Action(static_cast<CommandId>(12345)));
    }

    void ctrlOIsTheOnlyShortcut()
    {
        MainWindow frame;
        for (const QAction* action : frame.findChildren<QAction*>()) {
            if (action == frame.Action(CommandId::FileOpen))
                QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
            else
                QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));
        }

        QVERIFY(guitest::ShowActive(frame));
        QSignalSpy commands(&frame, &MainWindow::commandTriggered);
        QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(commands.count(), 0);
        QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(commands.count(), 1);
        QCOMPARE(commands.at(0).at(0).value<CommandId>(), CommandId::FileOpen);
    }

    void altFThenNChoosesNew()
    {
        MainWindow frame;
        QVERIFY(guitest::ShowActive(frame));
        QSignalSpy commands(&frame, &MainWindow::commandTriggered);
        QTest::keyClick(&frame, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(TopMenu(frame, 0)->isVisible());
        QTest::keyClick(TopMenu(frame, 0), Qt::Key_N);
        QTRY_COMPARE(commands.count(), 1);
        QCOMPARE(commands.at(0).at(0).value<CommandId>(), CommandId::FileNew);
    }

    void toolbarHoldsTheButtonsWithPaintedIcons()
    {
        MainWindow frame;
        QToolBar* toolBar = frame.MainToolBar();
        QCOMPARE(toolBar->windowTitle(), QString::fromUtf8("標準"));
        QCOMPARE(toolBar->iconSize(), QSize(20, 20));
        // The toolbar's buttons as the layout's commands, a separator as -1.
        QList<int> layout;
        for (QAction* action : toolBar->actions()) {
            if (action->isSeparator()) {
                layout << -1;
                continue;
            }
            layout << action->objectName().mid(QString("command").size()).toInt();
            QVERIFY2(!action->icon().isNull(), qPrintable(action->text()));
        }
        QList<int> expected;
        for (const MenuEntry& entry : MainToolbarLayout())
            expected << (entry.kind == MenuEntry::Kind::Command ? static_cast<int>(entry.command) : -1);
        QCOMPARE(layout, expected);

        // Nine different images, each 20 x 20 with something drawn on it.
        QList<QImage> images;
        for (const MenuEntry& entry : MainToolbarLayout()) {
            if (entry.kind != MenuEntry::Kind::Command)
                continue;
            const CommandId id = entry.command;
            const QImage image = PaintToolbarImage(id, 1);
            QCOMPARE(image.size(), QSize(20, 20));
            QVERIFY(!images.contains(image));
            int opaque = 0;
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 20; ++x)
                    opaque += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(opaque > 20, qPrintable(QString::number(static_cast<int>(id))));
            images << image;
        }
        QCOMPARE(images.size(), 9);
        QVERIFY(PaintToolbarImage(CommandId::AppExit, 1).isNull());
        QCOMPARE(PaintAppIcon(48).size(), QSize(48, 48));
        QVERIFY(!AppIcon().isNull());
    }

    void statusBarHasIdleMessageAndSizedPanes()
    {
        MainWindow frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QCOMPARE(frame.IdleMessage()->text(), QString::fromUtf8(kIdleMessage));
        QVERIFY(frame.IdleMessage()->isVisible());
        QCOMPARE(frame.PaneText(StatusPane::Frame), QString());
        QCOMPARE(frame.PaneText(StatusPane::Count), QString());
        QCOMPARE(frame.PaneText(StatusPane::Mode), QString("Mode: Orbit | Persp"));

        const QFontMetrics metrics(frame.statusBar()->font());
        const auto fits = [&](StatusPane id, const char* sample) {
            return frame.Pane(id)->contentsRect().width() >= metrics.horizontalAdvance(QString(sample));
        };
        QVERIFY(fits(StatusPane::Frame, "Frame: 99999/99999"));
        QVERIFY(fits(StatusPane::Count, "Points: 999,999,999"));
        QVERIFY(fits(StatusPane::Count, "Points: 999999999 / 999999999"));
        QVERIFY(fits(StatusPane::Mode, "Mode: Orbit | Ortho "));
        QVERIFY(frame.Pane(StatusPane::Count)->width() <
                metrics.horizontalAdvance("Points: 999999999 / 999999999") + 20);

        QVERIFY(frame.SetPaneText(StatusPane::Count, "Points: 1234567"));
        QCOMPARE(frame.PaneText(StatusPane::Count), QString("Points: 1234567"));
    }

    void promptReplacesTheIdleMessageWhileHighlighted()
    {
        MainWindow frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QStatusTipEvent highlighted(frame.Action(CommandId::ViewFit)->statusTip());
        QApplication::sendEvent(&frame, &highlighted);
        QCOMPARE(frame.statusBar()->currentMessage(), QString::fromUtf8("全体表示"));
        QVERIFY(!frame.IdleMessage()->isVisible());
        QStatusTipEvent left{QString()};
        QApplication::sendEvent(&frame, &left);
        QVERIFY(frame.IdleMessage()->isVisible());
    }

    void statusBarCommandTogglesTheBar()
    {
        MainWindow frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QAction* toggle = frame.Action(CommandId::ViewStatusBar);
        QVERIFY(toggle->isCheckable() && toggle->isChecked());
        toggle->trigger();
        QVERIFY(!frame.statusBar()->isVisible());
        QVERIFY(!toggle->isChecked());
        toggle->trigger();
        QVERIFY(frame.statusBar()->isVisible());
    }

    void layoutIsKeptInTheProfile()
    {
        QTemporaryDir dir;
        QSettings profile(dir.filePath("profile.ini"), QSettings::IniFormat);
        {
            MainWindow frame;
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            frame.resize(700, 500);
            frame.Action(CommandId::ViewStatusBar)->trigger();
            frame.SaveLayout(profile);
        }
        MainWindow restored;
        restored.RestoreLayout(profile);
        restored.show();
        QVERIFY(QTest::qWaitForWindowExposed(&restored));
        QCOMPARE(restored.size(), QSize(700, 500));
        QVERIFY(!restored.statusBar()->isVisible());
        QVERIFY(!restored.Action(CommandId::ViewStatusBar)->isChecked());
    }

    void recentFilesListAtMostEight()
    {
        MainWindow frame;
        QSignalSpy chosen(&frame, &MainWindow::recentFileChosen);
        QStringList paths;
        for (int i = 1; i <= 9; ++i)
            paths << QString("/data/scan%1.ply").arg(i);
        frame.SetRecentFiles(paths);
        QStringList entries = EntriesOf(frame.FileMenu());
        // After New, -, Open, the two camera pose entries, the point cloud export and -.
        QCOMPARE(entries.mid(7, 9),
                 QStringList({"&1 /data/scan1.ply", "&2 /data/scan2.ply", "&3 /data/scan3.ply", "&4 /data/scan4.ply",
                              "&5 /data/scan5.ply", "&6 /data/scan6.ply", "&7 /data/scan7.ply", "&8 /data/scan8.ply",
                              "-"}));
        frame.findChild<QAction*>("recentFile3")->trigger();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toInt(), 2);

        frame.SetRecentFiles({"/a&b/c.las"});
        entries = EntriesOf(frame.FileMenu());
        QCOMPARE(entries.at(7), QString("&1 /a&&b/c.las"));
        QCOMPARE(entries.at(8), QString("-"));

        frame.SetRecentFiles({});
        QCOMPARE(EntriesOf(frame.FileMenu()).at(7), QString::fromUtf8("最近使ったファイル"));
    }

    void droppedFilesAreHandedOn()
    {
        MainWindow frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QSignalSpy dropped(&frame, &MainWindow::filesDropped);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile("/data/scan.ply"), QUrl("https://example.org/x.ply")});
        const QPointF centre = frame.rect().center();
        QDragEnterEvent enter(centre.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&frame, &drop);
        QVERIFY(dropped.wait(2000));
        QCOMPARE(dropped.at(0).at(0).toStringList(), QStringList({"/data/scan.ply"}));

        QMimeData text;
        text.setText("not a file");
        QDragEnterEvent refused(centre.toPoint(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        refused.setAccepted(false);
        QApplication::sendEvent(&frame, &refused);
        QVERIFY(!refused.isAccepted());
    }

    void aboutBoxShowsVersionAndOpensOnlyWebLinks()
    {
        QList<QUrl> opened;
        AboutDialog about(nullptr, [&](const QUrl& url) { opened << url; });
        QCOMPARE(about.windowTitle(), QString::fromUtf8("Orrisk について"));
        QCOMPARE(about.findChild<QLabel*>("versionLine")->text(), QString::fromUtf8("Orrisk、バージョン 1.1"));
        QVERIFY(!about.findChild<QLabel*>("aboutLine")->text().isEmpty());
        const QString link = about.findChild<QLabel*>("homepageLink")->text();
        QVERIFY(link.contains(HomepageUrl().toString()));
        QVERIFY(HomepageUrl().scheme().startsWith("http"));

        about.OnLinkActivated(HomepageUrl().toString());
        about.OnLinkActivated("");
        about.OnLinkActivated("file:///etc/passwd");
        about.OnLinkActivated("javascript:alert(1)");
        QCOMPARE(opened, QList<QUrl>({HomepageUrl()}));

        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QTest::keyClick(&about, Qt::Key_Return);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"

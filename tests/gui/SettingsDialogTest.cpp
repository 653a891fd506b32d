#include "app/SettingsDialog.h"
#include "app/ColorButton.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <utility>

namespace {

template <typename T>
T* Control(QDialog& dialog, const char* name)
{
    T* control = dialog.findChild<T*>(name);
    if (!control)
        qFatal("control %s is missing", name);
    return control;
}

// Runs the dialog modally; `whileOpen` is called once it is shown and must end it.
int RunWhileOpen(QDialog& dialog, std::function<void()> whileOpen)
{
    QTimer::singleShot(0, &dialog, [&dialog, whileOpen] {
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        whileOpen();
    });
    return dialog.exec();
}

AppSettings NonDefaultSettings()
{
    AppSettings settings;
    settings.pointSize = 7.25f;
    settings.roundPoints = false;
    settings.background = Eigen::Vector3f(0.5f, 0.25f, 1.0f);
    settings.showAxisGizmo = false;
    settings.projection = 1;
    settings.navMode = 1;
    settings.segBlend = 0.3f;
    settings.segSeed = 77;
    return settings;
}

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT
private slots:
    // Qt's dialogs remember things in the user's settings: keep tests away from them.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void controlsShowTheSettings()
    {
        SettingsDialog dialog(NonDefaultSettings());
        QCOMPARE(dialog.windowTitle(), QString::fromUtf8("設定"));
        QVERIFY(!Control<QRadioButton>(dialog, "roundPoints")->isChecked());
        QVERIFY(Control<QRadioButton>(dialog, "squarePoints")->isChecked());
        QCOMPARE(Control<QLineEdit>(dialog, "pointSize")->text(), QString("7.2"));
        QVERIFY(Control<QRadioButton>(dialog, "fly")->isChecked());
        QVERIFY(!Control<QRadioButton>(dialog, "orbit")->isChecked());
        QVERIFY(Control<QRadioButton>(dialog, "orthographic")->isChecked());
        QVERIFY(!Control<QCheckBox>(dialog, "showAxes")->isChecked());
        QCOMPARE(Control<ColorButton>(dialog, "backgroundColor")->Color(), QColor(128, 64, 255));

        SettingsDialog defaults{AppSettings{}};
        QVERIFY(Control<QRadioButton>(defaults, "roundPoints")->isChecked());
        QCOMPARE(Control<QLineEdit>(defaults, "pointSize")->text(), QString("2.0"));
        QVERIFY(Control<QRadioButton>(defaults, "orbit")->isChecked());
        QVERIFY(Control<QRadioButton>(defaults, "perspective")->isChecked());
        QVERIFY(Control<QCheckBox>(defaults, "showAxes")->isChecked());
    }

    void captionsAreTheProgramsJapaneseTexts()
    {
        SettingsDialog dialog{AppSettings{}};
        QCOMPARE(Control<QRadioButton>(dialog, "roundPoints")->text(), QString::fromUtf8("丸"));
        QCOMPARE(Control<QRadioButton>(dialog, "squarePoints")->text(), QString::fromUtf8("四角"));
        QCOMPARE(Control<QRadioButton>(dialog, "orbit")->text(), QString::fromUtf8("回転モード（Orbit）"));
        QCOMPARE(Control<QRadioButton>(dialog, "fly")->text(), QString::fromUtf8("ウォークスルーモード（Fly）"));
        QCOMPARE(Control<QRadioButton>(dialog, "perspective")->text(), QString::fromUtf8("透視投影 （Persp）"));
        QCOMPARE(Control<QRadioButton>(dialog, "orthographic")->text(), QString::fromUtf8("平行投影（Ortho）"));
        QCOMPARE(Control<QCheckBox>(dialog, "showAxes")->text(), QString::fromUtf8("表示"));
        QCOMPARE(Control<QPushButton>(dialog, "cancel")->text(), QString::fromUtf8("キャンセル"));
        QCOMPARE(Control<QPushButton>(dialog, "otherColors")->text(), QString::fromUtf8("その他の色..."));
        QStringList labels;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            labels << label->text();
        for (const char* text : {"点群の点の形", "点群の点の大きさ", "操作モード", "投影の種類", "座標軸", "背景色", "(1～32)"})
            QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    }

    // No two rows share a place: every label and control has the room it asks for, and the
    // language list opens under the mouse.
    void rowsDoNotOverlapAndTheLanguageListOpensWithTheMouse()
    {
        SettingsDialog dialog{AppSettings{}};
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QList<QWidget*> placed;
        for (QWidget* widget : dialog.findChildren<QWidget*>())
            if (widget->isVisible() && (qobject_cast<QLabel*>(widget) || qobject_cast<QComboBox*>(widget)))
                placed << widget;
        for (int i = 0; i < placed.size(); ++i)
            for (int j = i + 1; j < placed.size(); ++j) {
                const QRect a(placed[i]->mapTo(&dialog, QPoint()), placed[i]->size());
                const QRect b(placed[j]->mapTo(&dialog, QPoint()), placed[j]->size());
                QVERIFY2(!a.intersects(b), qPrintable(placed[i]->objectName() + " / " + placed[j]->objectName() + ": "
                                                      + (qobject_cast<QLabel*>(placed[i]) ? qobject_cast<QLabel*>(placed[i])->text() : QString())
                                                      + " / " + (qobject_cast<QLabel*>(placed[j]) ? qobject_cast<QLabel*>(placed[j])->text() : QString())));
            }
        auto* language = dialog.findChild<QComboBox*>("language");
        QVERIFY(language);
        QTest::mouseClick(language, Qt::LeftButton, {}, language->rect().center());
        QTRY_VERIFY(language->view()->isVisible());
        language->hidePopup();
    }

    void radioPairsAreIndependentGroups()
    {
        SettingsDialog dialog{AppSettings{}};
        dialog.show();
        Control<QRadioButton>(dialog, "squarePoints")->click();
        Control<QRadioButton>(dialog, "fly")->click();
        QVERIFY(Control<QRadioButton>(dialog, "squarePoints")->isChecked());
        QVERIFY(Control<QRadioButton>(dialog, "fly")->isChecked());
        QVERIFY(Control<QRadioButton>(dialog, "perspective")->isChecked());
        QVERIFY(!Control<QRadioButton>(dialog, "roundPoints")->isChecked());
    }

    void okReadsEveryControlAndPassesTheRestThrough()
    {
        SettingsDialog dialog{AppSettings{}};
        const int result = RunWhileOpen(dialog, [&] {
            Control<QRadioButton>(dialog, "squarePoints")->click();
            Control<QLineEdit>(dialog, "pointSize")->setText("12.5");
            Control<QRadioButton>(dialog, "fly")->click();
            Control<QRadioButton>(dialog, "orthographic")->click();
            Control<QCheckBox>(dialog, "showAxes")->click();
            Control<ColorButton>(dialog, "backgroundColor")->SetColor(QColor(255, 0, 51));
            Control<QPushButton>(dialog, "ok")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        AppSettings expected;
        expected.roundPoints = false;
        expected.pointSize = 12.5f;
        expected.navMode = 1;
        expected.projection = 1;
        expected.showAxisGizmo = false;
        expected.background = Eigen::Vector3f(1.0f, 0.0f, 51.0f / 255.0f);
        QVERIFY(dialog.m_settings == expected);

        SettingsDialog passThrough(NonDefaultSettings());
        QVERIFY(passThrough.ReadControls());
        QCOMPARE(passThrough.m_settings.segBlend, 0.3f);
        QCOMPARE(passThrough.m_settings.segSeed, 77u);
        QCOMPARE(passThrough.m_settings.pointSize, 7.2f);  // what the box showed
    }

    void pointBudgetIsAutomaticEveryPointOrACount()
    {
        // A setting never chosen stays unchosen on OK, and the count box waits disabled.
        SettingsDialog fresh{AppSettings{}};
        auto* mode = Control<QComboBox>(fresh, "pointBudgetMode");
        auto* count = Control<QSpinBox>(fresh, "pointBudget");
        QCOMPARE(mode->currentIndex(), 0);
        QVERIFY(!count->isEnabled());
        QVERIFY(fresh.ReadControls());
        QVERIFY(!fresh.m_settings.pointBudget.has_value());

        mode->setCurrentIndex(2);
        QVERIFY(count->isEnabled());
        count->setValue(250000);
        QVERIFY(fresh.ReadControls());
        QCOMPARE(fresh.m_settings.pointBudget, std::optional<std::int64_t>(250000));
        mode->setCurrentIndex(1);
        QVERIFY(!count->isEnabled());
        QVERIFY(fresh.ReadControls());
        QCOMPARE(fresh.m_settings.pointBudget, std::optional<std::int64_t>(0));
        // Back to automatic once chosen: written as -1 from now on.
        mode->setCurrentIndex(0);
        QVERIFY(fresh.ReadControls());
        QCOMPARE(fresh.m_settings.pointBudget, std::optional<std::int64_t>(-1));

        for (const auto& [budget, index] : {std::pair<std::int64_t, int>{-1, 0}, {0, 1}, {3'000'000, 2}}) {
            AppSettings settings;
            settings.pointBudget = budget;
            SettingsDialog shown(settings);
            QCOMPARE(Control<QComboBox>(shown, "pointBudgetMode")->currentIndex(), index);
            QCOMPARE(Control<QSpinBox>(shown, "pointBudget")->isEnabled(), index == 2);
            if (index == 2)
                QCOMPARE(Control<QSpinBox>(shown, "pointBudget")->value(), 3'000'000);
            QVERIFY(shown.ReadControls());
            QCOMPARE(shown.m_settings.pointBudget, std::optional<std::int64_t>(budget));
        }
    }

    void pointSizeTextIsClampedToTheBounds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("expected");
        QTest::newRow("below the minimum") << "0.5" << 1.0f;
        QTest::newRow("above the maximum") << "40" << 32.0f;
        QTest::newRow("in range") << "7.5" << 7.5f;
        QTest::newRow("comma stops the number") << "2,5" << 2.0f;
        QTest::newRow("leading blanks and trailing text") << "  3px" << 3.0f;
        QTest::newRow("not a number") << "abc" << 1.0f;
        QTest::newRow("empty") << "" << 1.0f;
        QTest::newRow("nan") << "nan" << 1.0f;
        QTest::newRow("infinity") << "inf" << 32.0f;
        QTest::newRow("huge exponent") << "1e999" << 32.0f;
        QTest::newRow("full-width digits") << "５" << 1.0f;
    }
    void pointSizeTextIsClampedToTheBounds()
    {
        QFETCH(QString, text);
        QFETCH(float, expected);
        SettingsDialog dialog{AppSettings{}};
        Control<QLineEdit>(dialog, "pointSize")->setText(text);
        QVERIFY(dialog.ReadControls());
        QCOMPARE(dialog.m_settings.pointSize, expected);
    }

    void boundsComeFromTheRecord()
    {
        AppSettings settings;
        settings.pointSizeMin = 3.0f;
        settings.pointSizeMax = 5.0f;
        SettingsDialog dialog(settings);
        Control<QLineEdit>(dialog, "pointSize")->setText("9");
        QVERIFY(dialog.ReadControls());
        QCOMPARE(dialog.m_settings.pointSize, 5.0f);
        Control<QLineEdit>(dialog, "pointSize")->setText("1");
        QVERIFY(dialog.ReadControls());
        QCOMPARE(dialog.m_settings.pointSize, 3.0f);
    }

    void cancelAndCloseBoxRejectAndKeepTheRecord()
    {
        const AppSettings original = NonDefaultSettings();
        SettingsDialog dialog(original);
        const int cancelled = RunWhileOpen(dialog, [&] {
            Control<QLineEdit>(dialog, "pointSize")->setText("20");
            Control<QPushButton>(dialog, "cancel")->click();
        });
        QCOMPARE(cancelled, int(QDialog::Rejected));
        QVERIFY(dialog.m_settings == original);

        SettingsDialog closed(original);
        QCOMPARE(RunWhileOpen(closed, [&] { closed.close(); }), int(QDialog::Rejected));
    }

    void enterAndEscapeDoNothing()
    {
        SettingsDialog dialog{AppSettings{}};
        bool stayedOpen = false;
        const int result = RunWhileOpen(dialog, [&] {
            auto* size = Control<QLineEdit>(dialog, "pointSize");
            auto* ok = Control<QPushButton>(dialog, "ok");
            size->setFocus();
            size->setText("9");
            QTest::keyClick(size, Qt::Key_Return);
            QTest::keyClick(size, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyClick(size, Qt::Key_Escape);
            ok->setFocus();
            QTest::keyClick(ok, Qt::Key_Return);
            QTest::keyClick(ok, Qt::Key_Escape);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QTest::qWait(50);
            stayedOpen = dialog.isVisible();
            Control<QPushButton>(dialog, "cancel")->click();
        });
        QVERIFY(stayedOpen);
        QCOMPARE(result, int(QDialog::Rejected));
    }

    void backgroundRoundTripsThroughBytes()
    {
        AppSettings settings;
        settings.background = Eigen::Vector3f(0.5f, 0.0f, 1.0f);
        SettingsDialog dialog(settings);
        QCOMPARE(Control<ColorButton>(dialog, "backgroundColor")->Color(), QColor(128, 0, 255));
        QVERIFY(dialog.ReadControls());
        QCOMPARE(dialog.m_settings.background.x(), 128.0f / 255.0f);
        QCOMPARE(dialog.m_settings.background.z(), 1.0f);

        // A stored channel above 1 (the settings file allows it) shows as full intensity
        // instead of wrapping around to a dark value.
        QCOMPARE(ColorFromBackground(Eigen::Vector3f(300.0f / 255.0f, 2.0f, -0.5f)), QColor(255, 255, 0));
        QCOMPARE(ColorFromBackground(Eigen::Vector3f(std::numeric_limits<float>::quiet_NaN(), 0.2f, 0.0f)),
                 QColor(0, 51, 0));
    }

    void paletteAndOtherColorsChooseTheBackground()
    {
        SettingsDialog dialog{AppSettings{}};
        auto* button = Control<ColorButton>(dialog, "backgroundColor");
        const int result = RunWhileOpen(dialog, [&] {
            // A swatch of the drop-down palette (which runs modally while it is open).
            int swatchCount = 0;
            QTimer::singleShot(0, [&] {
                const auto swatches = button->Palette()->findChildren<QToolButton*>();
                swatchCount = int(swatches.size());
                swatches.last()->click();  // white
            });
            button->click();
            QCOMPARE(swatchCount, 40);
            QVERIFY(!button->Palette()->isVisible());
            QCOMPARE(button->Color(), QColor(Qt::white));

            // The other-colours button opens Qt's own colour dialog.
            bool nonNative = false;
            QTimer::singleShot(0, [&] {
                QTimer::singleShot(0, [&] {
                    auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
                    if (!picker)
                        return;
                    nonNative = picker->testOption(QColorDialog::DontUseNativeDialog);
                    picker->setCurrentColor(QColor(10, 20, 30));
                    picker->accept();
                });
                button->Palette()->findChild<QPushButton*>("otherColors")->click();
            });
            button->click();
            QVERIFY(nonNative);
            QCOMPARE(button->Color(), QColor(10, 20, 30));
            Control<QPushButton>(dialog, "ok")->click();
        });
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(dialog.m_settings.background, Eigen::Vector3f(10.0f, 20.0f, 30.0f) / 255.0f);
    }

    void okStaysOpenWithoutAColour()
    {
        SettingsDialog dialog{AppSettings{}};
        bool stayedOpen = false;
        RunWhileOpen(dialog, [&] {
            Control<ColorButton>(dialog, "backgroundColor")->SetColor(QColor());
            Control<QLineEdit>(dialog, "pointSize")->setText("5");
            Control<QPushButton>(dialog, "ok")->click();
            stayedOpen = dialog.isVisible();
            dialog.reject();
        });
        QVERIFY(stayedOpen);
        QCOMPARE(dialog.m_settings.pointSize, 5.0f);  // read before the colour was found missing
        QCOMPARE(dialog.m_settings.background, Eigen::Vector3f::Zero().eval());
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"

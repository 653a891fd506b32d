#include "app/qt/InputMapping.h"
#include "view/InputEvents.h"

#include <QTest>

#include <optional>

namespace {

// Keys as the data rows hold them: the enumerator's value, or kNoKey.
constexpr int kNoKey = -1;
int Code(std::optional<ViewKey> key)
{
    return key ? static_cast<int>(*key) : kNoKey;
}

}  // namespace

class InputMappingTest : public QObject {
    Q_OBJECT
private slots:
    void keysMapByWhatTheyType_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("expected");
        const int none = Qt::NoModifier, keypad = Qt::KeypadModifier, shift = Qt::ShiftModifier;
        QTest::newRow("tab") << int(Qt::Key_Tab) << none << Code(ViewKey::Tab);
        QTest::newRow("shift+tab") << int(Qt::Key_Backtab) << shift << Code(ViewKey::Tab);
        QTest::newRow("page up") << int(Qt::Key_PageUp) << none << Code(ViewKey::PageUp);
        QTest::newRow("keypad page down") << int(Qt::Key_PageDown) << keypad << Code(ViewKey::PageDown);
        QTest::newRow("1") << int(Qt::Key_1) << none << Code(ViewKey::Digit1);
        QTest::newRow("2") << int(Qt::Key_2) << none << Code(ViewKey::Digit2);
        QTest::newRow("keypad 1 is not the digit key") << int(Qt::Key_1) << keypad << kNoKey;
        QTest::newRow("w") << int(Qt::Key_W) << none << Code(ViewKey::W);
        QTest::newRow("shift+x") << int(Qt::Key_X) << shift << Code(ViewKey::X);
        QTest::newRow("m") << int(Qt::Key_M) << none << Code(ViewKey::M);
        QTest::newRow("c") << int(Qt::Key_C) << none << Code(ViewKey::C);
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << keypad << Code(ViewKey::NumpadPlus);
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << keypad << Code(ViewKey::NumpadMinus);
        QTest::newRow("equals") << int(Qt::Key_Equal) << none << Code(ViewKey::PlusEquals);
        QTest::newRow("shift+equals types plus") << int(Qt::Key_Plus) << shift << Code(ViewKey::PlusEquals);
        QTest::newRow("minus") << int(Qt::Key_Minus) << none << Code(ViewKey::Minus);
        QTest::newRow("shift+minus types underscore") << int(Qt::Key_Underscore) << shift << Code(ViewKey::Minus);
        QTest::newRow("left bracket") << int(Qt::Key_BracketLeft) << none << Code(ViewKey::LeftBracket);
        QTest::newRow("shift+left bracket types a brace") << int(Qt::Key_BraceLeft) << shift << Code(ViewKey::LeftBracket);
        QTest::newRow("right bracket") << int(Qt::Key_BracketRight) << none << Code(ViewKey::RightBracket);
        QTest::newRow("right brace") << int(Qt::Key_BraceRight) << shift << Code(ViewKey::RightBracket);
        QTest::newRow("escape") << int(Qt::Key_Escape) << none << kNoKey;
        QTest::newRow("f1") << int(Qt::Key_F1) << none << kNoKey;
        QTest::newRow("shift alone") << int(Qt::Key_Shift) << shift << kNoKey;
        QTest::newRow("unknown") << int(Qt::Key_unknown) << none << kNoKey;
    }
    void keysMapByWhatTheyType()
    {
        QFETCH(int, qtKey);
        QFETCH(int, modifiers);
        QFETCH(int, expected);
        QCOMPARE(Code(ViewKeyFromQt(qtKey, Qt::KeyboardModifiers(modifiers), 0)), expected);
    }

    void otherLayoutsFallBackToTheKeysPlace()
    {
        // A Japanese keyboard types '+' with Shift on the ';' key and has brackets of its own.
        QCOMPARE(ViewKeyFromQt(Qt::Key_Plus, Qt::ShiftModifier, 48), std::optional(ViewKey::PlusEquals));
        QCOMPARE(ViewKeyFromQt(Qt::Key_BracketLeft, Qt::NoModifier, 35), std::optional(ViewKey::LeftBracket));
        // German: AltGr+8 types '[', while the key in the US bracket's place types 'ü'.
        QCOMPARE(ViewKeyFromQt(Qt::Key_BracketLeft, Qt::GroupSwitchModifier, 17), std::optional(ViewKey::LeftBracket));
        QCOMPARE(ViewKeyFromQt(Qt::Key_Udiaeresis, Qt::NoModifier, 34), std::optional(ViewKey::LeftBracket));
        // QWERTZ: the key typing 'z' is Z wherever it is.
        QCOMPARE(ViewKeyFromQt(Qt::Key_Z, Qt::NoModifier, 29), std::optional(ViewKey::Z));
        // Russian: letters of another script are the letters of their place.
        QCOMPARE(ViewKeyFromQt(0x0446 /* ц */, Qt::NoModifier, 25), std::optional(ViewKey::W));
        QCOMPARE(ViewKeyFromQt(0x0445 /* х */, Qt::NoModifier, 34), std::optional(ViewKey::LeftBracket));
        // A shifted digit types a symbol but is still the digit key.
        QCOMPARE(ViewKeyFromQt(Qt::Key_Exclam, Qt::ShiftModifier, 10), std::optional(ViewKey::Digit1));
        QCOMPARE(ViewKeyFromQt(Qt::Key_At, Qt::ShiftModifier, 11), std::optional(ViewKey::Digit2));
        // No place to go by: nothing.
        QCOMPARE(ViewKeyFromQt(Qt::Key_Exclam, Qt::ShiftModifier, 0), std::optional<ViewKey>());
        // Keys that type nothing never borrow a place, nor do keypad keys.
        QCOMPARE(ViewKeyFromQt(Qt::Key_F5, Qt::NoModifier, 25), std::optional<ViewKey>());
        QCOMPARE(ViewKeyFromQt(Qt::Key_Asterisk, Qt::KeypadModifier, 10), std::optional<ViewKey>());
    }

    void mouseButtonsAndModifiers()
    {
        QCOMPARE(ViewButtonFromQt(Qt::LeftButton), std::optional(MouseButton::Left));
        QCOMPARE(ViewButtonFromQt(Qt::MiddleButton), std::optional(MouseButton::Middle));
        QCOMPARE(ViewButtonFromQt(Qt::RightButton), std::optional(MouseButton::Right));
        QCOMPARE(ViewButtonFromQt(Qt::BackButton), std::nullopt);
        const MouseModifiers both = ViewModifiersFromQt(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(both.shift && both.ctrl);
        const MouseModifiers ctrl = ViewModifiersFromQt(Qt::ControlModifier);
        QVERIFY(!ctrl.shift && ctrl.ctrl);
        const MouseModifiers none = ViewModifiersFromQt(Qt::MetaModifier);
        QVERIFY(!none.shift && !none.ctrl);
    }

    void framebufferPixelsFollowTheDevicePixelRatio()
    {
        const ClientSize plain = FramebufferSize(QSize(800, 600), 1.0);
        QCOMPARE(plain.width, 800);
        QCOMPARE(plain.height, 600);
        const ClientSize doubled = FramebufferSize(QSize(800, 601), 2.0);
        QCOMPARE(doubled.width, 1600);
        QCOMPARE(doubled.height, 1202);
        const ClientSize fractional = FramebufferSize(QSize(801, 333), 1.5);
        QCOMPARE(fractional.width, 1202);  // 1201.5 rounds up, as Qt sizes the framebuffer
        QCOMPARE(fractional.height, 500);

        QCOMPARE(FramebufferPosition(QPointF(10, 20), 1.0), QPoint(10, 20));
        QCOMPARE(FramebufferPosition(QPointF(10, 20), 2.0), QPoint(20, 40));
        QCOMPARE(FramebufferPosition(QPointF(10.75, 0.25), 1.5), QPoint(16, 0));
        // Drags leave the window: positions outside it stay negative rather than snapping to 0.
        QCOMPARE(FramebufferPosition(QPointF(-0.5, -3), 2.0), QPoint(-1, -6));
        // The last logical pixel lies inside the framebuffer.
        const ClientSize size = FramebufferSize(QSize(801, 333), 1.5);
        const QPoint last = FramebufferPosition(QPointF(800.99, 332.99), 1.5);
        QVERIFY(last.x() < size.width && last.y() < size.height);
    }

    void wheelUsesTheVerticalNotches()
    {
        QCOMPARE(ViewWheelDelta(QPoint(0, 120), Qt::NoModifier), 120);
        QCOMPARE(ViewWheelDelta(QPoint(0, -240), Qt::NoModifier), -240);
        QCOMPARE(ViewWheelDelta(QPoint(0, 15), Qt::NoModifier), 15);
        QCOMPARE(ViewWheelDelta(QPoint(120, 0), Qt::NoModifier), 0);
    }

    void altWheelZoomsDespiteTheSwappedAxis()
    {
        // X11 reports the vertical wheel as horizontal while Alt is held.
        QCOMPARE(ViewWheelDelta(QPoint(120, 0), Qt::AltModifier), 120);
        QCOMPARE(ViewWheelDelta(QPoint(-240, 0), Qt::AltModifier | Qt::ShiftModifier), -240);
        // Where the platform does not swap, the vertical wheel stays vertical.
        QCOMPARE(ViewWheelDelta(QPoint(0, 120), Qt::AltModifier), 120);
        QCOMPARE(ViewWheelDelta(QPoint(0, 0), Qt::AltModifier), 0);
    }
};

QTEST_MAIN(InputMappingTest)
#include "InputMappingTest.moc"

#pragma once

#include <QColor>
#include <QPushButton>

class QMenu;

// A push button that shows a colour and, when pressed, drops down a palette of standard
// colours with a button for any other colour (Qt's own colour dialog).
class ColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit ColorButton(QWidget* parent = nullptr);

    // The chosen colour; invalid while there is none.
    QColor Color() const { return m_color; }
    void SetColor(const QColor& color);
    void SetOtherColorsText(const QString& text);

    // The palette shown when the button is pressed (for tests and keyboard users).
    QMenu* Palette() const { return m_palette; }

signals:
    void colorChanged(const QColor& color);

private:
    void BuildPalette();
    void ChooseOtherColor();
    void UpdateSwatch();

    QColor m_color;
    QMenu* m_palette = nullptr;
    QPushButton* m_otherColors = nullptr;
};

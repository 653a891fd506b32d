#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QToolButton;

// The status bar's part for a file being loaded: its name, the fraction read and a button
// that stops the load. Hidden while nothing loads.
class LoadProgressPane : public QWidget {
    Q_OBJECT
public:
    explicit LoadProgressPane(QWidget* parent = nullptr);

    void Start(const QString& fileName);
    void SetFraction(double fraction);
    void Finish();

    QProgressBar* Bar() const { return m_bar; }
    QToolButton* CancelButton() const { return m_cancel; }
    QString FileName() const;

signals:
    void cancelRequested();

private:
    QLabel* m_name = nullptr;
    QProgressBar* m_bar = nullptr;
    QToolButton* m_cancel = nullptr;
};

#pragma once

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace guitest {

// Xvfb has no window manager to activate a new window: do it here.
inline bool ShowActive(QWidget& window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

// While it lives, answers every message box that opens: records its text and presses OK.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box && box->isVisible()) {
                    m_texts << box->text();
                    m_details << box->detailedText();
                    qInfo("answering message box: %s", qPrintable(box->text()));
                    m_titles << box->windowTitle();
                    m_iconless = m_iconless && box->icon() == QMessageBox::NoIcon;
                    box->done(QMessageBox::Ok);
                }
            }
        });
        m_timer.start();
    }
    const QStringList& Texts() const { return m_texts; }
    const QStringList& Titles() const { return m_titles; }
    const QStringList& Details() const { return m_details; }
    bool AllWithoutIcon() const { return m_iconless; }

private:
    QTimer m_timer;
    QStringList m_texts;
    QStringList m_titles;
    QStringList m_details;
    bool m_iconless = true;
};

// Calls `handle` with the first visible modal dialog of type T (checked every 20 ms), so a
// test can act on a dialog that a command runs modally.
template <typename T>
void WhenDialogOpens(std::function<void(T*)> handle)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, handle] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<T*>(widget);
            if (dialog && dialog->isVisible()) {
                timer->stop();
                timer->deleteLater();
                handle(dialog);
                return;
            }
        }
    });
    timer->start();
}

// Chooses `file` in an open file dialog as a user would: types its full path into the name
// box and accepts.
inline void ChooseFile(QFileDialog& dialog, const QString& file)
{
    auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
    if (name)
        name->setText(QFileInfo(file).absoluteFilePath());
    else
        dialog.selectFile(file);
    static_cast<QDialog&>(dialog).accept();
}

}  // namespace guitest

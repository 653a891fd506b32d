#include "app/qt/QtDesktop.h"

#include "app/SettingsDialog.h"
#include "app/MainWindow.h"
#include "app/qt/ViewWidget.h"
#include "app/MessageTranslation.h"
#include "messages/OpenFailureWording.h"
#include "messages/StatusWording.h"
#include "settings/LanguageSetting.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>

namespace {

// While a modal box is up, the arrow replaces any busy cursor of the work that shows it.
class ArrowCursorScope {
public:
    ArrowCursorScope() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowCursorScope() { QGuiApplication::restoreOverrideCursor(); }
    ArrowCursorScope(const ArrowCursorScope&) = delete;
    ArrowCursorScope& operator=(const ArrowCursorScope&) = delete;
};

QString FilterPattern(const std::string& pattern)
{
    return pattern == "*.*" ? QStringLiteral("*") : QString::fromStdString(pattern);
}

// The description without a trailing "(...)" of its own.
QString FilterDescription(const std::string& description)
{
    QString text = QString::fromUtf8(description).trimmed();
    if (text.endsWith(QLatin1Char(')'))) {
        const qsizetype open = text.lastIndexOf(QLatin1Char('('));
        if (open > 0)
            text = text.left(open).trimmed();
    }
    return text;
}

}  // namespace

QString QtFileDialogFilter(const std::vector<FileDialogFilter>& filters)
{
    QStringList entries;
    for (const FileDialogFilter& filter : filters)
        entries << QStringLiteral("%1 (%2)").arg(FilterDescription(filter.description), FilterPattern(filter.pattern));
    return entries.join(QStringLiteral(";;"));
}

void QtDesktop::AttachFrame(MainWindow* frame)
{
    m_frame = frame;
}

void QtDesktop::AttachView(ViewWidget* view)
{
    m_view = view;
}

QWidget* QtDesktop::DialogParent() const
{
    return m_frame;
}

void QtDesktop::ShowMessageBox(const std::string& text, const std::string& details)
{
    ArrowCursorScope arrow;
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), QString::fromUtf8(text), QMessageBox::Ok,
                    DialogParent());
    box.setObjectName("messageBox");
    box.setTextFormat(Qt::PlainText);
    if (!details.empty())
        box.setDetailedText(QString::fromUtf8(details));
    box.exec();
}

std::optional<std::string> QtDesktop::ChooseFileToOpen(const OpenFileDialogRequest& request)
{
    ArrowCursorScope arrow;
    QFileDialog dialog(DialogParent(), QCoreApplication::translate("QtDesktop", "開く"), m_lastDirectory,
                       QtFileDialogFilter(request.filters));
    dialog.setObjectName("openFileDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    if (!request.initialFileName.empty())
        dialog.selectFile(QString::fromUtf8(request.initialFileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QString file = dialog.selectedFiles().constFirst();
    RememberDirectoryOf(file);
    return QFile::encodeName(file).toStdString();
}

bool QtDesktop::RunSettingsDialog(AppSettings& settings)
{
    SettingsDialog dialog(settings, DialogParent());
    const QString language = QString::fromStdString(LoadLanguageSetting(m_settingsFile));
    dialog.SetLanguage(language);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    settings = dialog.m_settings;
    // The language applies from the next start; it is kept at once.
    if (dialog.Language() != language && !m_settingsFile.empty())
        SaveLanguageSetting(m_settingsFile, dialog.Language().toStdString());
    return true;
}

void QtDesktop::ReportOpenFailure(const OpenFailure& failure)
{
    const UserMessage message = WordOpenFailure(failure, TranslateWithQt);
    ShowMessageBox(message.text, message.details);
}

void QtDesktop::ReportOpenGlUnavailable()
{
    ShowMessageBox(Word(MessageId::OpenGlUnavailable, {}, TranslateWithQt));
}

void QtDesktop::ShowStatus(const ViewStatus& status)
{
    // Without a status bar (or one of its panes) the frame refuses the text; nothing to do then.
    const StatusPaneTexts texts = WordStatus(status, TranslateWithQt);
    SetStatusPaneText(StatusPane::Count, texts.count);
    SetStatusPaneText(StatusPane::Mode, texts.mode);
    SetStatusPaneText(StatusPane::Frame, texts.frame);
}

bool QtDesktop::SetStatusPaneText(StatusPane pane, const std::string& text)
{
    return m_frame && m_frame->SetPaneText(pane, QString::fromUtf8(text));
}

void QtDesktop::RefreshFrameTitle(const std::string& documentPath)
{
    if (m_frame)
        m_frame->OnUpdateFrameTitle(documentPath);
}

void QtDesktop::InvalidateView()
{
    if (m_view)
        m_view->update();
}

void QtDesktop::InvalidateViewAfter(int milliseconds)
{
    // The widget as the timer's context: a timer outliving it never fires.
    if (m_view)
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, m_view, [view = m_view] { view->update(); });
}

void QtDesktop::PostWake()
{
    if (m_view)
        m_view->PostWake();
}

void QtDesktop::SetViewFocus()
{
    if (m_view)
        m_view->setFocus(Qt::MouseFocusReason);
}

void QtDesktop::CaptureMouse()
{
    if (m_view)
        m_view->CaptureMouse();
}

void QtDesktop::ReleaseMouse()
{
    if (m_view)
        m_view->ReleaseMouse();
}

bool QtDesktop::ViewHasMouseCapture() const
{
    return m_view && m_view->HasMouseCapture();
}

bool QtDesktop::IsShiftDown() const
{
    return m_view ? m_view->IsShiftDown()
                  : QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

ClientSize QtDesktop::ViewClientSize() const
{
    return m_view ? m_view->FramebufferClientSize() : ClientSize{};
}

void QtDesktop::RememberDirectoryOf(const QString& file)
{
    m_lastDirectory = QFileInfo(file).absolutePath();
}

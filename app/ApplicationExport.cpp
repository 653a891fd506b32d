// The application's point cloud export: File > Export Point Cloud, run on a worker like a load.

#include "app/Application.h"

#include "app/LoadProgressPane.h"
#include "app/MainWindow.h"
#include "document/Document.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

namespace {

QString Tr(const char* text)
{
    return QCoreApplication::translate("Application", text);
}

// The name with the format's extension, added when the user left it out.
QString WithExtension(QString path, PointCloudOutput output)
{
    if (OutputFromName(QFile::encodeName(path).toStdString()) == output)
        return path;
    switch (output) {
    case PointCloudOutput::Las: return path + ".las";
    case PointCloudOutput::Laz: return path + ".laz";
    case PointCloudOutput::Copc: return path + ".copc.laz";
    }
    return path;
}

}  // namespace

void Application::OnExportPointCloud()
{
    if (m_document->Kind() != SceneKind::PointCloud || m_document->Source().empty())
        return;
    const QString source = QFile::decodeName(QByteArray::fromStdString(m_document->Source()));
    const QString laz = Tr("LAZ ファイル (*.laz)");
    const QString copc = Tr("COPC ファイル (*.copc.laz)");
    const QString las = Tr("LAS ファイル (*.las)");
    QString selected = laz;
    const QString chosen = QFileDialog::getSaveFileName(m_frame.get(), Tr("点群を書き出す"), QFileInfo(source).absolutePath(),
                                                        laz + ";;" + copc + ";;" + las, &selected);
    if (chosen.isEmpty())
        return;
    const PointCloudOutput output = selected == copc ? PointCloudOutput::Copc
                                    : selected == las ? PointCloudOutput::Las
                                                      : PointCloudOutput::Laz;
    QString error;
    if (!BeginExportPointCloud(WithExtension(chosen, output), output, error))
        QMessageBox::warning(m_frame.get(), Tr("点群を書き出す"), Tr("点群を書き出せませんでした: ") + error);
}

bool Application::BeginExportPointCloud(const QString& target, PointCloudOutput output, QString& error)
{
    if (m_document->Kind() != SceneKind::PointCloud || m_document->Source().empty()) {
        error = Tr("ファイルから開いた点群がありません。");
        return false;
    }
    const std::string source = m_document->Source();
    const QString absolute = QFileInfo(target).absoluteFilePath();
    const std::string targetPath = QFile::encodeName(absolute).toStdString();
    if (QFileInfo(absolute) == QFileInfo(QFile::decodeName(QByteArray::fromStdString(source)))) {
        error = Tr("開いているファイルそのものには書き出せません。");
        return false;
    }
    CancelLoad();
    m_export = std::make_unique<PointCloudExportJob>(
        targetPath,
        [source, output](const std::string& path, const ReadOptions& read) {
            ConvertOptions options;
            options.output = output;
            options.pool = read.pool;
            options.progress = read.progress;
            return ConvertPointCloud(source, path, options);
        },
        [](const std::string&, ReadFailure failure) { return WriteResult(WriteFailure{WriteError::WriteFailed, failure.reason}); },
        &m_pool);
    StartLoadDisplay(absolute);
    return true;
}

void Application::PollExport()
{
    if (m_loadPane)
        m_loadPane->SetFraction(m_export->Fraction());
    if (!m_export->Finished())
        return;
    const std::unique_ptr<PointCloudExportJob> job = std::move(m_export);
    EndLoadDisplay();
    m_lastExport = job->TakeResult();
    const QString target = QFile::decodeName(QByteArray::fromStdString(job->Path()));
    if (m_lastExport->Ok()) {
        m_frame->statusBar()->showMessage(Tr("書き出しました: %1").arg(QFileInfo(target).fileName()), 10000);
        return;
    }
    if (m_lastExport->Failure().code == WriteError::Cancelled)
        return;
    QMessageBox::warning(m_frame.get(), Tr("点群を書き出す"),
                         Tr("点群を書き出せませんでした: ") + QString::fromStdString(m_lastExport->Failure().reason));
}

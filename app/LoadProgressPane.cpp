#include "app/LoadProgressPane.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kBarSteps = 1000;

}  // namespace

LoadProgressPane::LoadProgressPane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("loadProgressPane"));
    m_name = new QLabel(this);
    m_name->setObjectName(QStringLiteral("loadFileName"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("loadProgressBar"));
    m_bar->setRange(0, kBarSteps);
    m_bar->setMaximumWidth(200);
    m_cancel = new QToolButton(this);
    m_cancel->setObjectName(QStringLiteral("loadCancelButton"));
    m_cancel->setText(tr("中止"));
    m_cancel->setToolTip(tr("読み込みを中止 (Esc)"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_name);
    layout->addWidget(m_bar);
    layout->addWidget(m_cancel);
    connect(m_cancel, &QToolButton::clicked, this, &LoadProgressPane::cancelRequested);
    hide();
}

void LoadProgressPane::Start(const QString& fileName)
{
    m_name->setText(fileName);
    m_bar->setValue(0);
    show();
}

void LoadProgressPane::SetFraction(double fraction)
{
    m_bar->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * kBarSteps)));
}

void LoadProgressPane::Finish()
{
    hide();
}

QString LoadProgressPane::FileName() const
{
    return m_name->text();
}

#include "moc_LoadProgressPane.cpp"

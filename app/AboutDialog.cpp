#include "app/AboutDialog.h"

#include "app/Icons.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#ifndef ORRISK_HOMEPAGE_URL
#define ORRISK_HOMEPAGE_URL "https://orrisk.org/"
#endif

QUrl HomepageUrl()
{
    return QUrl(QStringLiteral(ORRISK_HOMEPAGE_URL));
}

AboutDialog::AboutDialog(QWidget* parent, LinkOpener openLink)
    : QDialog(parent), m_openLink(openLink ? std::move(openLink) : LinkOpener([](const QUrl& url) {
                                       QDesktopServices::openUrl(url);
                                   }))
{
    setObjectName("aboutDialog");
    setWindowTitle(tr("Orrisk について"));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(QSize(32, 32)));
    icon->setAlignment(Qt::AlignTop);
    auto* version = new QLabel(tr("Orrisk、バージョン 1.1"), this);
    version->setObjectName("versionLine");
    version->setTextFormat(Qt::PlainText);
    auto* about = new QLabel(tr("点群と 3D Gaussian Splatting のビューアー"), this);
    about->setObjectName("aboutLine");
    const QString address = HomepageUrl().toString();
    auto* link = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()), this);
    link->setObjectName("homepageLink");
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this, &AboutDialog::OnLinkActivated);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("ok");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(16);
    grid->addWidget(icon, 0, 0, 3, 1);
    grid->addWidget(version, 0, 1);
    grid->addWidget(about, 1, 1);
    grid->addWidget(link, 2, 1);
    grid->addWidget(ok, 3, 1, Qt::AlignRight);
    setFixedSize(sizeHint());
}

void AboutDialog::OnLinkActivated(const QString& link)
{
    const QUrl url(link);
    if (link.isEmpty() || !url.isValid())
        return;
    if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        m_openLink(url);
}

// Meta-object code in this file, so that each class links on its own.
#include "moc_AboutDialog.cpp"

#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>

// The address the about box links to.
QUrl HomepageUrl();

// The about box: icon, name and version, one line about the program and a link to its web
// site, which a click opens in the user's browser.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    using LinkOpener = std::function<void(const QUrl&)>;

    // `openLink` opens an address; by default the desktop's browser.
    explicit AboutDialog(QWidget* parent = nullptr, LinkOpener openLink = {});

    // What a click on a link with this address does: opens http and https addresses and
    // ignores everything else, an empty address included.
    void OnLinkActivated(const QString& link);

private:
    LinkOpener m_openLink;
};

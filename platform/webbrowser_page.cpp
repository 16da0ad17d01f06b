#include "webbrowser_page.h"

#include <QAuthenticator>

BrowserPage::BrowserPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    // Nobody is there to type a password: the request is refused and the server's answer shown.
    const auto refuse = [](const QUrl &, QAuthenticator *authenticator) {
        *authenticator = QAuthenticator();
    };
    connect(this, &QWebEnginePage::authenticationRequired, this, refuse);
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator, const QString &) {
                *authenticator = QAuthenticator();
            });
}

void BrowserPage::triggerAction(WebAction action, bool checked)
{
    if (action == Copy) {
        emit copyRequested();
        return;
    }
    QWebEnginePage::triggerAction(action, checked);
}

QWebEnginePage *BrowserPage::createWindow(WebWindowType)
{
    return nullptr;
}

QStringList BrowserPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &)
{
    return {};
}

void BrowserPage::javaScriptAlert(const QUrl &, const QString &) {}

// As a browser answers a dialog it is told not to show: Cancel.
bool BrowserPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool BrowserPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

// A page's console is of no use to anyone here.
void BrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                           const QString &)
{}

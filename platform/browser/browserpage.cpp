#include "browserpage.h"

#include <QAuthenticator>
#include <QCoreApplication>

#include <utility>

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
    if (action == Back || action == Forward || action == Reload || action == ReloadAndBypassCache)
        m_userHistoryStep = true;
    QWebEnginePage::triggerAction(action, checked);
}

bool BrowserPage::takeUserHistoryStep()
{
    return std::exchange(m_userHistoryStep, false);
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

// As a browser answers a dialog it is told not to show: Cancel. The engine asks through here
// too whether to leave a page that wants to keep the user; that answer is yes, or the next
// navigation would never happen.
bool BrowserPage::javaScriptConfirm(const QUrl &, const QString &msg)
{
    return msg == QCoreApplication::translate("QWebEnginePage",
                                              "Are you sure you want to leave this page? Changes "
                                              "that you made may not be saved.");
}

bool BrowserPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

// A page's console is of no use to anyone here.
void BrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int,
                                           const QString &)
{}

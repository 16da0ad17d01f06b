#include "browserpage.h"

#include <QAuthenticator>
#include <QCoreApplication>

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

namespace {

bool isPageOrPicture(const QString &path)
{
    static const QStringList suffixes = {
        QStringLiteral(".html"), QStringLiteral(".htm"),   QStringLiteral(".xhtml"),
        QStringLiteral(".xht"),  QStringLiteral(".shtml"), QStringLiteral(".svg"),
        QStringLiteral(".png"),  QStringLiteral(".jpg"),   QStringLiteral(".jpeg"),
        QStringLiteral(".gif"),  QStringLiteral(".webp"),  QStringLiteral(".bmp")};
    for (const QString &suffix : suffixes)
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    return false;
}

} // namespace

bool LocalFileGuard::allows(QWebEngineUrlRequestInfo::ResourceType type, const QUrl &file)
{
    using Info = QWebEngineUrlRequestInfo;
    switch (type) {
    case Info::ResourceTypeMainFrame:
    case Info::ResourceTypeStylesheet:
    case Info::ResourceTypeScript:
    case Info::ResourceTypeImage:
    case Info::ResourceTypeFontResource:
    case Info::ResourceTypeMedia:
    case Info::ResourceTypeFavicon:
        return true;
    case Info::ResourceTypeSubFrame:
    case Info::ResourceTypeObject:
        return isPageOrPicture(file.path());
    default:
        return false;
    }
}

void LocalFileGuard::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (info.requestUrl().isLocalFile() && !allows(info.resourceType(), info.requestUrl()))
        info.block(true);
}

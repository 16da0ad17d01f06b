#include "browserprofile.h"

#include "browserpage.h"
#include "localfileguard.h"

#include <QFile>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

static void initBrowserScripts()
{
    // The scripts live in a static library's resources, which the linker would otherwise drop.
    Q_INIT_RESOURCE(browserscripts);
}

namespace BrowserProfile {

namespace {

QString resourceScript(const char *name)
{
    initBrowserScripts();
    QFile file(QStringLiteral(":/folvane/browser/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

QWebEngineProfile *create(QObject *parent)
{
    auto *profile = new QWebEngineProfile(parent);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    // The guard goes with the control, after the profile it serves.
    profile->setUrlRequestInterceptor(new LocalFileGuard(parent));
    // Whatever the engine would download is refused; the navigation that led to it ends stopped,
    // and the control shows a page in its place.
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                     [](QWebEngineDownloadRequest *download) { download->cancel(); });
    return profile;
}

BrowserPage *newPage(QWebEngineProfile *profile, QObject *parent)
{
    auto *page = new BrowserPage(profile, parent);
    QWebEngineSettings *settings = page->settings();
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // A PDF in the viewer plugin has no document to copy: it counts as a download.
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    // Previews must not take the focus from the page list.
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    return page;
}

const QString &selectAllScript()
{
    static const QString script = resourceScript("selectall.js");
    return script;
}

const QString &refreshDelayScript()
{
    static const QString script = resourceScript("refreshdelay.js");
    return script;
}

} // namespace BrowserProfile

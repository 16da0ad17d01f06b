#include "localfileguard.h"

#include "localfilekind.h"

#include <QStringList>

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
    if (!info.requestUrl().isLocalFile())
        return;
    // The engine would open a named pipe or a device as a file and wait in it for ever, one of
    // its threads blocked until the program ends (and keeping it from ending).
    if (!allows(info.resourceType(), info.requestUrl()) ||
        LocalFileKind::of(info.requestUrl().toLocalFile()) == LocalFileKind::Kind::Special)
        info.block(true);
}

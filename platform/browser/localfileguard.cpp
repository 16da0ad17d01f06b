#include "localfileguard.h"

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
    if (info.requestUrl().isLocalFile() && !allows(info.resourceType(), info.requestUrl()))
        info.block(true);
}

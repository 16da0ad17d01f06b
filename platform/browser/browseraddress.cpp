#include "browseraddress.h"

#include <QDir>
#include <QRegularExpression>

namespace BrowserAddress {

namespace {

// Schemes written without "//" that still mean a URL rather than a host name with a port
// ("localhost:8080" is a host).
bool isOpaqueScheme(const QString &scheme)
{
    static const QStringList schemes = {
        QStringLiteral("about"), QStringLiteral("data"),        QStringLiteral("file"),
        QStringLiteral("blob"),  QStringLiteral("view-source"), QStringLiteral("mailto"),
        QStringLiteral("qrc"),   QStringLiteral("javascript")};
    return schemes.contains(scheme.toLower());
}

} // namespace

QUrl resolve(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return QUrl(QStringLiteral("about:blank"));
    // ":/..." is a Qt resource path to QDir, not a file on disk.
    if (QDir::isAbsolutePath(text) && !text.startsWith(QLatin1Char(':')))
        return QUrl::fromLocalFile(text);

    static const QRegularExpression schemePrefix(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    if (schemePrefix.match(text).hasMatch()) {
        const QUrl url(text);
        if (url.isValid() && (text.contains(QLatin1String("://")) || isOpaqueScheme(url.scheme())))
            return url;
    }
    return QUrl::fromUserInput(text);
}

bool same(const QUrl &a, const QUrl &b)
{
    constexpr auto normal = QUrl::StripTrailingSlash | QUrl::NormalizePathSegments;
    return a.adjusted(normal) == b.adjusted(normal);
}

} // namespace BrowserAddress

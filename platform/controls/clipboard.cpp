#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Clipboard {

namespace {
const QString RtfType = QStringLiteral("text/rtf");
const QString ApplicationRtfType = QStringLiteral("application/rtf");
} // namespace

void setRichText(const QByteArray &rtf, const QString &html, const QString &text)
{
    auto *data = new QMimeData;
    data->setData(RtfType, rtf);
    data->setData(ApplicationRtfType, rtf);
    data->setHtml(html);
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data);
}

QString richText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return {};
    // RTF is 7-bit text; anything beyond ASCII in it is escaped.
    for (const QString &type : {RtfType, ApplicationRtfType}) {
        if (data->hasFormat(type))
            return QString::fromLatin1(data->data(type));
    }
    return {};
}

} // namespace Clipboard

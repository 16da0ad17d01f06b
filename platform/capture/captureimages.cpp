#include "captureimages.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QSvgRenderer>
#include <QTimer>
#include <QUrl>

namespace {

bool isPng(const QByteArray &d)
{
    return d.startsWith("\x89PNG\r\n\x1a\n");
}

bool isJpeg(const QByteArray &d)
{
    return d.startsWith("\xff\xd8\xff");
}

bool looksLikeSvg(const QByteArray &d)
{
    if (d.startsWith("\x1f\x8b")) // svgz
        return true;
    const QByteArray head = d.left(4096);
    return head.contains("<svg") || head.contains("<SVG");
}

QByteArray encodePng(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return out;
}

QByteArray renderSvg(const QByteArray &svg, int width, int height)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return {};
    QSize size(width, height);
    if (size.width() <= 0 || size.height() <= 0)
        size = renderer.defaultSize();
    if (size.isEmpty())
        size = QSize(100, 100);
    // Drawn at twice the shown size so the picture stays sharp when the reader zooms.
    size = size.boundedTo(QSize(4096, 4096)) * 2;
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return encodePng(image);
}

} // namespace

namespace CaptureImages {

QByteArray toPngOrJpeg(const QByteArray &data, int width, int height)
{
    if (data.isEmpty())
        return {};
    if (isPng(data) || isJpeg(data))
        return data;
    if (looksLikeSvg(data)) {
        QByteArray png = renderSvg(data, width, height);
        if (!png.isEmpty())
            return png;
    }
    QImage image;
    if (!image.loadFromData(data))
        return {};
    return encodePng(image);
}

QByteArray decodeDataUrl(const QString &url)
{
    if (!url.startsWith(QLatin1String("data:"), Qt::CaseInsensitive))
        return {};
    const qsizetype comma = url.indexOf(QLatin1Char(','));
    if (comma < 0)
        return {};
    const QString header = url.mid(5, comma - 5);
    const QByteArray payload = url.mid(comma + 1).toLatin1();
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        auto decoded = QByteArray::fromBase64Encoding(QByteArray::fromPercentEncoding(payload),
                                                      QByteArray::Base64Encoding |
                                                          QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return {};
        return *decoded;
    }
    return QByteArray::fromPercentEncoding(payload);
}

} // namespace CaptureImages

CaptureImageFetcher::CaptureImageFetcher(QObject *parent) : QObject(parent) {}

CaptureImageFetcher::~CaptureImageFetcher() = default;

void CaptureImageFetcher::fetch(const QList<CaptureImageRequest> &requests,
                                std::function<void(QList<QByteArray>)> done)
{
    m_requests = requests;
    m_results = QList<QByteArray>(requests.size());
    m_done = std::move(done);
    m_pending = 1; // held until every request has been started
    for (qsizetype i = 0; i < requests.size(); ++i) {
        const CaptureImageRequest &r = requests[i];
        if (!r.svg.isEmpty()) {
            m_results[i] = renderSvg(r.svg.toUtf8(), r.width, r.height);
            continue;
        }
        const QUrl url(r.src);
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("data")) {
            m_results[i] =
                CaptureImages::toPngOrJpeg(CaptureImages::decodeDataUrl(r.src), r.width, r.height);
        } else if (scheme == QLatin1String("file")) {
            QFile file(url.toLocalFile());
            if (file.open(QIODevice::ReadOnly) && file.size() <= MaxImageBytes)
                m_results[i] = CaptureImages::toPngOrJpeg(file.readAll(), r.width, r.height);
        } else if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
            if (!m_network) {
                m_network = new QNetworkAccessManager(this);
                m_network->setTransferTimeout(RemoteTimeoutMs);
            }
            QNetworkRequest request(url);
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                 QNetworkRequest::NoLessSafeRedirectPolicy);
            request.setTransferTimeout(RemoteTimeoutMs);
            QNetworkReply *reply = m_network->get(request);
            ++m_pending;
            const int w = r.width;
            const int h = r.height;
            connect(reply, &QNetworkReply::finished, this, [this, reply, i, w, h] {
                reply->deleteLater();
                if (reply->error() == QNetworkReply::NoError) {
                    const QByteArray data = reply->read(MaxImageBytes);
                    m_results[i] = CaptureImages::toPngOrJpeg(data, w, h);
                }
                finishOne();
            });
        }
    }
    // Reported from the event loop even when nothing had to wait, so the caller never re-enters.
    QTimer::singleShot(0, this, [this] { finishOne(); });
}

void CaptureImageFetcher::finishOne()
{
    if (--m_pending > 0 || !m_done)
        return;
    auto done = std::move(m_done);
    m_done = nullptr;
    done(std::move(m_results));
}

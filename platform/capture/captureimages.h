#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QNetworkAccessManager;

// One picture of a captured page: where it comes from and the size it is shown at.
struct CaptureImageRequest {
    QString src; // the image's URL (file:, data:, http(s):, ...), empty for inline SVG
    QString svg; // inline SVG markup
    int width = 0;
    int height = 0;
};

namespace CaptureImages {
// PNG or JPEG bytes for an image's encoded data; SVG is drawn at width x height, other formats
// are converted to PNG. Empty when the data is no image.
QByteArray toPngOrJpeg(const QByteArray &data, int width, int height);
// The bytes of a data: URL, empty when it is malformed.
QByteArray decodeDataUrl(const QString &url);
} // namespace CaptureImages

// Fetches the pictures of a capture: local files and data: URLs at once, remote ones over the
// network with a short timeout. Calls done once, from the event loop, with one entry per request
// (empty where the picture could not be had).
class CaptureImageFetcher final : public QObject {
    Q_OBJECT
public:
    explicit CaptureImageFetcher(QObject *parent = nullptr);
    ~CaptureImageFetcher() override;

    static constexpr int RemoteTimeoutMs = 3000;
    static constexpr qint64 MaxImageBytes = 64 * 1024 * 1024;

    void fetch(const QList<CaptureImageRequest> &requests,
               std::function<void(QList<QByteArray>)> done);

private:
    void finishOne();

    QNetworkAccessManager *m_network = nullptr;
    QList<CaptureImageRequest> m_requests;
    QList<QByteArray> m_results;
    std::function<void(QList<QByteArray>)> m_done;
    int m_pending = 0;
};

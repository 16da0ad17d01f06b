// The RTF reader's pictures: \pict data in hex or binary, made into images of the document.

#include "rtfreader_p.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>

namespace RtfImport {

static const QByteArray &placeholderPng()
{
    static const QByteArray png = [] {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(QColor(0xd0, 0xd0, 0xd0));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }();
    return png;
}

template <typename Chars> static void appendNibbles(Picture &p, const Chars &s)
{
    for (auto ch : s) {
        const char16_t c = char16_t(ch);
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else {
            if (c != ' ' && c != '\t')
                p.badHex = true;
            continue;
        }
        if (p.nibble < 0) {
            p.nibble = v;
        } else {
            p.data.append(char(p.nibble * 16 + v));
            p.nibble = -1;
        }
    }
}

void Builder::pictureHex(QStringView s)
{
    appendNibbles(m_picture, std::u16string_view(s.utf16(), size_t(s.size())));
}

void Builder::pictureHex(QByteArrayView s)
{
    appendNibbles(m_picture, s);
}

void Builder::finishPicture()
{
    Picture &pic = m_picture;
    if (pic.nibble >= 0 || pic.badHex)
        error(RtfError::Code::BadPicture);
    if (state().dest != Dest::Normal || state().hidden)
        return;
    QTextDocument *doc = m_cursor.document();
    // Bytes that are not what the picture says they are get the placeholder too.
    bool supported = (pic.kind == Picture::Kind::Png && pic.data.startsWith("\x89PNG\r\n\x1a\n")) ||
                     (pic.kind == Picture::Kind::Jpeg && pic.data.startsWith("\xff\xd8\xff"));
    if (supported) {
        // Only the header is read here, not the whole image.
        QBuffer buffer(&pic.data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, pic.kind == Picture::Kind::Png ? "png" : "jpeg");
        const QSize size = reader.size();
        supported = size.isValid() && !size.isEmpty();
    }
    if (!supported && pic.kind != Picture::Kind::Metafile && pic.kind != Picture::Kind::Other)
        error(RtfError::Code::BadPicture);
    int serial = doc->property("rtfImageSerial").toInt();
    QUrl url;
    do {
        url = QUrl(QStringLiteral("rtfimage:%1").arg(++serial));
    } while (doc->resource(QTextDocument::ImageResource, url).isValid());
    doc->setProperty("rtfImageSerial", serial);
    doc->addResource(QTextDocument::ImageResource, url, supported ? pic.data : placeholderPng());

    qreal w = 0, h = 0;
    if (pic.goalw > 0 && pic.goalh > 0) {
        w = pic.goalw / kTwipsPerPixel;
        h = pic.goalh / kTwipsPerPixel;
    } else if (pic.picw > 0 && pic.pich > 0) {
        // Bitmaps give pixels here, metafiles hundredths of a millimetre.
        const qreal f = pic.kind == Picture::Kind::Metafile ? 96.0 / 2540.0 : 1.0;
        w = pic.picw * f;
        h = pic.pich * f;
    } else if (!supported) {
        w = h = 32;
    }
    if (pic.scalex > 0 && pic.scalex != 100)
        w = w * pic.scalex / 100.0;
    if (pic.scaley > 0 && pic.scaley != 100)
        h = h * pic.scaley / 100.0;
    QTextImageFormat image;
    image.setName(url.toString());
    if (w > 0 && h > 0) {
        image.setWidth(std::min(w, 100000.0));
        image.setHeight(std::min(h, 100000.0));
    }
    if (state().chr.href >= 0) {
        image.setAnchor(true);
        image.setAnchorHref(m_hrefs[size_t(state().chr.href)]);
    }
    Paragraph &p = m_paragraph;
    p.runs.push_back(Run{qsizetype(p.text.size()), 1, CharStyle(), int(m_images.size())});
    m_images.push_back(image);
    p.text.push_back(QChar::ObjectReplacementCharacter);
    pic = Picture();
}

} // namespace RtfImport

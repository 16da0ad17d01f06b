// The RTF reader's code pages: which code page the bytes of text are in (\ansicpg, a font's
// \fcharset or \cpg), and their decoding.

#include "rtfreader_p.h"

namespace RtfImport {

static int codePageForCharset(int charset)
{
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return 0; // the document's code page
    }
}

static QStringList decoderNames(int codePage)
{
    switch (codePage) {
    case 437:
        return {"IBM437"};
    case 850:
        return {"IBM850"};
    case 866:
        return {"IBM866"};
    case 874:
        return {"windows-874", "TIS-620"};
    case 932:
        return {"Shift_JIS", "windows-31j"};
    case 936:
        return {"GBK", "GB18030"};
    case 949:
        return {"windows-949", "EUC-KR"};
    case 950:
        return {"Big5"};
    case 10000:
        return {"macintosh", "x-mac-roman"};
    case 65001:
        return {"UTF-8"};
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return {QStringLiteral("windows-%1").arg(codePage)};
        return {};
    }
}

int Builder::currentCodePage()
{
    const int font = state().font >= 0 ? state().font : m_defaultFont;
    if (const auto it = m_fonts.constFind(font); it != m_fonts.constEnd()) {
        if (it->codePage > 0)
            return it->codePage;
        if (const int cp = codePageForCharset(it->charset); cp > 0)
            return cp;
    }
    return m_documentCodePage;
}

QStringDecoder *Builder::decoder(int codePage)
{
    auto it = m_decoders.find(codePage);
    if (it != m_decoders.end())
        return it->second.get();
    std::unique_ptr<QStringDecoder> d;
    for (const QString &name : decoderNames(codePage)) {
        auto candidate = std::make_unique<QStringDecoder>(name.toLatin1().constData(),
                                                          QStringConverter::Flag::Stateless);
        if (candidate->isValid()) {
            d = std::move(candidate);
            break;
        }
    }
    if (!d && codePage != 1252)
        return decoder(1252);
    QStringDecoder *result = d.get();
    m_decoders.emplace(codePage, std::move(d));
    return result;
}

void Builder::flushBytes()
{
    if (m_bytes.isEmpty())
        return;
    bool ascii = true;
    for (char b : std::as_const(m_bytes)) {
        if (uchar(b) >= 0x80) {
            ascii = false;
            break;
        }
    }
    QString s;
    if (ascii) {
        s = QString::fromLatin1(m_bytes);
    } else if (QStringDecoder *d = decoder(currentCodePage())) {
        s = d->decode(m_bytes);
    } else {
        s = QString::fromLatin1(m_bytes);
    }
    m_bytes.clear();
    text(s);
}

} // namespace RtfImport

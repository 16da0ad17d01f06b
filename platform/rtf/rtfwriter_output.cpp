#include "rtfwriter_output.h"

#include <array>

namespace {

// How an ASCII unit is written: 0 as itself, 1 after a backslash, 2 as \tab, 3 dropped.
constexpr std::array<unsigned char, 128> asciiKinds = [] {
    std::array<unsigned char, 128> kinds{};
    for (int c = 0; c < 0x20; ++c)
        kinds[c] = 3;
    kinds['\t'] = 2;
    kinds['\\'] = 1;
    kinds['{'] = 1;
    kinds['}'] = 1;
    kinds[0x7f] = 3;
    return kinds;
}();

constexpr char hexDigits[] = "0123456789abcdef";

} // namespace

char rtfAnsiFallback(char16_t unit)
{
    if (unit >= 0xa0 && unit <= 0xff)
        return char(unit);
    // The windows-1252 block 0x80..0x9f.
    switch (unit) {
    case 0x20ac:
        return char(0x80);
    case 0x201a:
        return char(0x82);
    case 0x0192:
        return char(0x83);
    case 0x201e:
        return char(0x84);
    case 0x2026:
        return char(0x85);
    case 0x2020:
        return char(0x86);
    case 0x2021:
        return char(0x87);
    case 0x02c6:
        return char(0x88);
    case 0x2030:
        return char(0x89);
    case 0x0160:
        return char(0x8a);
    case 0x2039:
        return char(0x8b);
    case 0x0152:
        return char(0x8c);
    case 0x017d:
        return char(0x8e);
    case 0x2018:
        return char(0x91);
    case 0x2019:
        return char(0x92);
    case 0x201c:
        return char(0x93);
    case 0x201d:
        return char(0x94);
    case 0x2022:
        return char(0x95);
    case 0x2013:
        return char(0x96);
    case 0x2014:
        return char(0x97);
    case 0x02dc:
        return char(0x98);
    case 0x2122:
        return char(0x99);
    case 0x0161:
        return char(0x9a);
    case 0x203a:
        return char(0x9b);
    case 0x0153:
        return char(0x9c);
    case 0x017e:
        return char(0x9e);
    case 0x0178:
        return char(0x9f);
    default:
        return 0;
    }
}

void RtfOutput::putText(QStringView text)
{
    const char16_t *unit = text.utf16();
    const char16_t *const end = unit + text.size();
    // The longest form of one unit is "\u-12345\'hh" (12 bytes); reserve per chunk so a huge
    // run does not reserve twelve times its size.
    constexpr qsizetype chunk = 4096;
    while (unit < end) {
        const char16_t *const chunkEnd = end - unit > chunk ? unit + chunk : end;
        ensure((chunkEnd - unit) * 12);
        char *out = m_data + m_size;
        for (; unit < chunkEnd; ++unit) {
            const char16_t c = *unit;
            if (c < 0x80) {
                switch (asciiKinds[c]) {
                case 0:
                    *out++ = char(c);
                    break;
                case 1:
                    *out++ = '\\';
                    *out++ = char(c);
                    break;
                case 2:
                    std::memcpy(out, "\\tab ", 5);
                    out += 5;
                    break;
                default:
                    break;
                }
                continue;
            }
            switch (c) {
            case 0x00a0: // no-break space
                std::memcpy(out, "\\~", 2);
                out += 2;
                continue;
            case 0x00ad: // soft hyphen
                std::memcpy(out, "\\-", 2);
                out += 2;
                continue;
            case 0x2011: // non-breaking hyphen
                std::memcpy(out, "\\_", 2);
                out += 2;
                continue;
            case 0x2028: // line separator: a line break inside the paragraph
                std::memcpy(out, "\\line ", 6);
                out += 6;
                continue;
            case 0x2029: // stray paragraph separator, object replacement, frame markers
            case 0xfffc:
            case 0xfdd0:
            case 0xfdd1:
                continue;
            default:
                break;
            }
            *out++ = '\\';
            *out++ = 'u';
            out += formatInt(out, qint16(c));
            const char fallback = rtfAnsiFallback(c);
            if (fallback) {
                *out++ = '\\';
                *out++ = '\'';
                *out++ = hexDigits[(uchar(fallback) >> 4) & 0xf];
                *out++ = hexDigits[uchar(fallback) & 0xf];
            } else {
                *out++ = '?';
            }
        }
        m_size = out - m_data;
    }
}

void RtfOutput::putHex(const QByteArray &bytes)
{
    const auto *in = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype count = bytes.size();
    ensure(count * 2 + count / 64 + 2);
    char *out = m_data + m_size;
    for (qsizetype i = 0; i < count; ++i) {
        if (i % 64 == 0)
            *out++ = '\n';
        *out++ = hexDigits[in[i] >> 4];
        *out++ = hexDigits[in[i] & 0xf];
    }
    *out++ = '\n';
    m_size = out - m_data;
}

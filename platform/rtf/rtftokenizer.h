#pragma once

#include "rtfcontrolwords.h"
#include "rtfreader.h"

#include <QList>

#include <bit>
#include <climits>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The lowest layer of the reader: splits RTF into groups, control words, control symbols, \'hh
// escapes, \bin data and text runs. It knows nothing of what the words mean, except \bin, whose
// parameter says how many raw bytes follow and so changes how the input is split.
struct RtfToken {
    enum class Type { End, GroupStart, GroupEnd, ControlWord, ControlSymbol, Hex, Binary, Text };
    Type type = Type::End;
    qsizetype offset = 0; // where the token starts in the input
    // ControlWord: the name (letters only, at most MaxWord of them) and its parameter.
    static constexpr int MaxWord = 32;
    const char *wordData = word; // the name: in the input itself when that is 8-bit
    char word[MaxWord + 1] = {};
    int wordLength = 0;
    quint32 wordHash = 0; // see rtfWordHashChunk()
    bool hasParameter = false;
    int parameter = 0;
    // ControlSymbol: the character after the backslash; Hex: the byte.
    int symbol = 0;
    // Text and Binary: a range of the input. Text: whether all of it is below 0x80.
    qsizetype start = 0;
    qsizetype length = 0;
    bool ascii = false;

    QByteArrayView name() const { return QByteArrayView(wordData, wordLength); }
};

template <typename Char> class RtfTokenizer final {
public:
    RtfTokenizer(const Char *data, qsizetype size, qsizetype start, QList<RtfError> &errors)
        : m_data(data), m_end(data + size), m_p(data + start), m_errors(errors)
    {}

    const Char *data() const { return m_data; }
    qsizetype position() const { return m_p - m_data; }

    Q_ALWAYS_INLINE void next(RtfToken &t)
    {
        for (;;) {
            if (m_p == m_end) {
                t.offset = position();
                t.type = RtfToken::Type::End;
                return;
            }
            switch (char16_t(*m_p)) {
            case '{':
                t.offset = position();
                ++m_p;
                t.type = RtfToken::Type::GroupStart;
                return;
            case '}':
                t.offset = position();
                ++m_p;
                t.type = RtfToken::Type::GroupEnd;
                return;
            case '\\':
                if (backslash(t))
                    return;
                continue;
            case '\r':
            case '\n':
                ++m_p; // line ends in RTF carry no meaning
                continue;
            default:
                break;
            }
            const Char *const start = m_p;
            const Char *p = start;
            const Char *const end = m_end;
            unsigned seen = 0; // all characters or'ed together, for the ASCII test
#if defined(__SSE2__)
            if constexpr (sizeof(Char) == 1)
                p = scanText(p, end, seen);
#endif
            while (p != end) {
                const auto d = std::make_unsigned_t<Char>(*p);
                if (d < 0x80 && isSpecial(char(d)))
                    break;
                seen |= d;
                ++p;
            }
            m_p = p;
            t.offset = start - m_data;
            t.type = RtfToken::Type::Text;
            t.start = t.offset;
            t.length = p - start;
            t.ascii = seen < 0x80;
            return;
        }
    }

private:
#if defined(__SSE2__)
    // Finds the end of a text run 16 bytes at a time, as long as 16 bytes are left.
    static const Char *scanText(const Char *p, const Char *end, unsigned &seen)
    {
        const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}'),
                      backslash = _mm_set1_epi8('\\'), cr = _mm_set1_epi8('\r'),
                      lf = _mm_set1_epi8('\n');
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i special = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)),
                _mm_or_si128(_mm_cmpeq_epi8(v, backslash),
                             _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
            const unsigned high = unsigned(_mm_movemask_epi8(v));
            if (const unsigned stop = unsigned(_mm_movemask_epi8(special)); stop != 0) {
                const int n = __builtin_ctz(stop);
                seen |= (high & ((1u << n) - 1)) ? 0x80 : 0;
                return p + n;
            }
            seen |= high ? 0x80 : 0;
            p += 16;
        }
        return p;
    }
#endif
    // The characters that end a text run.
    static bool isSpecial(char c)
    {
        return c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n';
    }
    static bool isLetter(char16_t c)
    {
        return char16_t((c | 0x20) - 'a') < 26;
    }
    // How many of the eight bytes, from the first, are ASCII letters.
    static int leadingLetters(quint64 bytes)
    {
        constexpr quint64 ones = 0x0101010101010101ull, high = ones * 0x80;
        const quint64 lower = (bytes | ones * 0x20) & ones * 0x7f; // no carries below
        const quint64 fromA = lower + ones * (0x80 - 'a');
        const quint64 pastZ = lower + ones * (0x80 - 'z' - 1);
        const quint64 letters = fromA & ~pastZ & ~bytes & high;
        return std::countr_zero(~letters & high) / 8; // 64 / 8 when all are letters
    }
    // How many of the eight bytes, from the first, are ASCII digits.
    static int leadingDigits(quint64 bytes)
    {
        constexpr quint64 ones = 0x0101010101010101ull, high = ones * 0x80;
        const quint64 lower = bytes & ones * 0x7f;
        const quint64 from0 = lower + ones * (0x80 - '0');
        const quint64 past9 = lower + ones * (0x80 - '9' - 1);
        const quint64 digits = from0 & ~past9 & ~bytes & high;
        return std::countr_zero(~digits & high) / 8;
    }
    // The number the first count (1 to 7) bytes spell, which are digits: the digits are moved
    // to the top bytes (zeros before them) and combined in pairs, fours and eights.
    static long long parseDigits(quint64 bytes, int count)
    {
        quint64 d = (bytes - 0x3030303030303030ull) << (8 * (8 - count));
        d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFull;
        d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFull;
        d = (d * 10000 + (d >> 32)) & 0xFFFFFFFFull;
        return (long long)d;
    }
    static bool isDigit(char16_t c)
    {
        return char16_t(c - '0') < 10;
    }
    static int hexValue(char16_t c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }
    void error(RtfError::Code code, qsizetype at)
    {
        m_errors.append(RtfError{code, at});
    }

    // Returns false when the backslash produced nothing worth reporting (e.g. a bad escape).
    Q_ALWAYS_INLINE bool backslash(RtfToken &t)
    {
        const qsizetype at = position();
        t.offset = at;
        ++m_p;
        if (m_p == m_end) {
            error(RtfError::Code::UnexpectedEnd, at);
            return false;
        }
        const char16_t c = char16_t(*m_p);
        if (isLetter(c))
            return controlWord(t, at);
        ++m_p;
        if (c == '\'') {
            const int hi = m_p != m_end ? hexValue(char16_t(m_p[0])) : -1;
            const int lo = m_end - m_p > 1 ? hexValue(char16_t(m_p[1])) : -1;
            if (hi < 0 || lo < 0) {
                error(RtfError::Code::BadHexEscape, at);
                return false;
            }
            m_p += 2;
            t.type = RtfToken::Type::Hex;
            t.symbol = hi * 16 + lo;
            return true;
        }
        if (c == '\r' || c == '\n') {
            // A backslash before a line end is an old way of writing \par.
            t.type = RtfToken::Type::ControlWord;
            t.wordData = "par";
            t.wordLength = 3;
            t.wordHash = rtfWordHashFinish(rtfWordHashChunk(0, 'p' | 'a' << 8 | 'r' << 16));
            t.hasParameter = false;
            t.parameter = 0;
            return true;
        }
        t.type = RtfToken::Type::ControlSymbol;
        t.symbol = c;
        return true;
    }

    Q_ALWAYS_INLINE bool controlWord(RtfToken &t, qsizetype at)
    {
        // The position is kept in locals: stores through t could alias the members.
        const Char *p = m_p;
        const Char *const end = m_end;
        const Char *const name = p;
        quint64 hash = 0;
        bool scanned = false;
        if constexpr (sizeof(Char) == 1) {
            // Eight bytes at a time while there are eight: no branch per letter to mispredict.
            while (end - p >= 8) {
                quint64 chunk;
                std::memcpy(&chunk, p, 8);
                const int k = leadingLetters(chunk);
                if (k < 8) {
                    if (k > 0)
                        hash = rtfWordHashChunk(hash, chunk & ((quint64(1) << (8 * k)) - 1));
                    p += k;
                    scanned = true;
                    break;
                }
                hash = rtfWordHashChunk(hash, chunk);
                p += 8;
            }
        }
        if (!scanned) {
            quint64 chunk = 0;
            int k = 0;
            while (p != end && isLetter(char16_t(*p))) {
                chunk |= quint64(quint8(*p)) << (8 * k);
                if (++k == 8) {
                    hash = rtfWordHashChunk(hash, chunk);
                    chunk = 0;
                    k = 0;
                }
                ++p;
            }
            if (k > 0)
                hash = rtfWordHashChunk(hash, chunk);
        }
        qsizetype n = p - name;
        if (n > RtfToken::MaxWord) {
            error(RtfError::Code::ControlWordTooLong, at);
            n = 0; // no known word is that long: keep it from matching a truncated name
        }
        t.wordHash = rtfWordHashFinish(hash);
        if constexpr (sizeof(Char) == 1) {
            t.wordData = name;
        } else {
            for (qsizetype i = 0; i < n; ++i)
                t.word[i] = char(name[i]);
            t.wordData = t.word;
        }
        t.wordLength = int(n);
        bool hasParameter = false;
        int parameter = 0;
        bool negative = false;
        if (end - p > 1 && p[0] == Char('-') && isDigit(char16_t(p[1]))) {
            negative = true;
            ++p;
        }
        if (p != end && isDigit(char16_t(*p))) {
            long long value = 0;
            bool clamped = false;
            if constexpr (sizeof(Char) == 1) {
                // Up to seven digits, the usual case, without a loop (see name above).
                if (end - p >= 8) {
                    quint64 chunk;
                    std::memcpy(&chunk, p, 8);
                    if (const int k = leadingDigits(chunk); k < 8) {
                        value = parseDigits(chunk, k);
                        p += k;
                    }
                }
            }
            while (p != end && isDigit(char16_t(*p))) {
                if (value <= INT_MAX)
                    value = value * 10 + (char16_t(*p) - '0');
                else
                    clamped = true;
                ++p;
            }
            if (value > INT_MAX) {
                value = INT_MAX;
                clamped = true;
            }
            if (clamped)
                error(RtfError::Code::NumberOutOfRange, at);
            hasParameter = true;
            parameter = negative ? -int(value) : int(value);
        }
        t.hasParameter = hasParameter;
        t.parameter = parameter;
        if (p != end && *p == Char(' '))
            ++p;
        if (n == 3 && name[0] == Char('b') && name[1] == Char('i') && name[2] == Char('n')) {
            qsizetype length = hasParameter && parameter > 0 ? parameter : 0;
            if (length > end - p) {
                error(RtfError::Code::BadBinary, at);
                length = end - p;
            }
            t.type = RtfToken::Type::Binary;
            t.start = p - m_data;
            t.length = length;
            m_p = p + length;
            return true;
        }
        m_p = p;
        t.type = RtfToken::Type::ControlWord;
        return true;
    }

    const Char *m_data;
    const Char *m_end;
    const Char *m_p;
    QList<RtfError> &m_errors;
};

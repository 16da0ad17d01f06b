#pragma once

#include "rtfreader.h"

#include <QList>

#include <climits>
#include <cstring>

// The lowest layer of the reader: splits RTF into groups, control words, control symbols, \'hh
// escapes, \bin data and text runs. It knows nothing of what the words mean, except \bin, whose
// parameter says how many raw bytes follow and so changes how the input is split.
struct RtfToken {
    enum class Type { End, GroupStart, GroupEnd, ControlWord, ControlSymbol, Hex, Binary, Text };
    Type type = Type::End;
    qsizetype offset = 0; // where the token starts in the input
    // ControlWord: the name (letters only, at most MaxWord of them) and its parameter.
    static constexpr int MaxWord = 32;
    char word[MaxWord + 1] = {};
    int wordLength = 0;
    bool hasParameter = false;
    int parameter = 0;
    // ControlSymbol: the character after the backslash; Hex: the byte.
    int symbol = 0;
    // Text and Binary: a range of the input.
    qsizetype start = 0;
    qsizetype length = 0;

    QByteArrayView name() const { return QByteArrayView(word, wordLength); }
};

template <typename Char> class RtfTokenizer final {
public:
    RtfTokenizer(const Char *data, qsizetype size, qsizetype start, QList<RtfError> &errors)
        : m_data(data), m_size(size), m_pos(start), m_errors(errors)
    {}

    const Char *data() const { return m_data; }
    qsizetype position() const { return m_pos; }

    void next(RtfToken &t)
    {
        for (;;) {
            t.offset = m_pos;
            if (m_pos >= m_size) {
                t.type = RtfToken::Type::End;
                return;
            }
            const char16_t c = char16_t(m_data[m_pos]);
            switch (c) {
            case '{':
                ++m_pos;
                t.type = RtfToken::Type::GroupStart;
                return;
            case '}':
                ++m_pos;
                t.type = RtfToken::Type::GroupEnd;
                return;
            case '\\':
                if (backslash(t))
                    return;
                continue;
            case '\r':
            case '\n':
                ++m_pos; // line ends in RTF carry no meaning
                continue;
            default:
                break;
            }
            const qsizetype start = m_pos;
            while (m_pos < m_size) {
                const char16_t d = char16_t(m_data[m_pos]);
                if (d == '{' || d == '}' || d == '\\' || d == '\r' || d == '\n')
                    break;
                ++m_pos;
            }
            t.type = RtfToken::Type::Text;
            t.start = start;
            t.length = m_pos - start;
            return;
        }
    }

private:
    static bool isLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char16_t c) { return c >= '0' && c <= '9'; }
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
    void error(RtfError::Code code, qsizetype at) { m_errors.append(RtfError{code, at}); }

    // Returns false when the backslash produced nothing worth reporting (e.g. a bad escape).
    bool backslash(RtfToken &t)
    {
        const qsizetype at = m_pos;
        ++m_pos;
        if (m_pos >= m_size) {
            error(RtfError::Code::UnexpectedEnd, at);
            return false;
        }
        const char16_t c = char16_t(m_data[m_pos]);
        if (isLetter(c))
            return controlWord(t, at);
        ++m_pos;
        if (c == '\'') {
            const int hi = m_pos < m_size ? hexValue(char16_t(m_data[m_pos])) : -1;
            const int lo = m_pos + 1 < m_size ? hexValue(char16_t(m_data[m_pos + 1])) : -1;
            if (hi < 0 || lo < 0) {
                error(RtfError::Code::BadHexEscape, at);
                return false;
            }
            m_pos += 2;
            t.type = RtfToken::Type::Hex;
            t.symbol = hi * 16 + lo;
            return true;
        }
        if (c == '\r' || c == '\n') {
            // A backslash before a line end is an old way of writing \par.
            t.type = RtfToken::Type::ControlWord;
            std::memcpy(t.word, "par", 4);
            t.wordLength = 3;
            t.hasParameter = false;
            t.parameter = 0;
            return true;
        }
        t.type = RtfToken::Type::ControlSymbol;
        t.symbol = c;
        return true;
    }

    bool controlWord(RtfToken &t, qsizetype at)
    {
        int n = 0;
        bool tooLong = false;
        while (m_pos < m_size && isLetter(char16_t(m_data[m_pos]))) {
            if (n < RtfToken::MaxWord)
                t.word[n++] = char(m_data[m_pos]);
            else
                tooLong = true;
            ++m_pos;
        }
        if (tooLong) {
            error(RtfError::Code::ControlWordTooLong, at);
            n = 0; // no known word is that long: keep it from matching a truncated name
        }
        t.word[n] = 0;
        t.wordLength = n;
        t.hasParameter = false;
        t.parameter = 0;
        bool negative = false;
        if (m_pos + 1 < m_size && m_data[m_pos] == Char('-') &&
            isDigit(char16_t(m_data[m_pos + 1]))) {
            negative = true;
            ++m_pos;
        }
        if (m_pos < m_size && isDigit(char16_t(m_data[m_pos]))) {
            long long value = 0;
            bool clamped = false;
            while (m_pos < m_size && isDigit(char16_t(m_data[m_pos]))) {
                if (value <= INT_MAX)
                    value = value * 10 + (char16_t(m_data[m_pos]) - '0');
                else
                    clamped = true;
                ++m_pos;
            }
            if (value > INT_MAX) {
                value = INT_MAX;
                clamped = true;
            }
            if (clamped)
                error(RtfError::Code::NumberOutOfRange, at);
            t.hasParameter = true;
            t.parameter = negative ? -int(value) : int(value);
        }
        if (m_pos < m_size && m_data[m_pos] == Char(' '))
            ++m_pos;
        if (n == 3 && std::memcmp(t.word, "bin", 3) == 0) {
            qsizetype length = t.hasParameter && t.parameter > 0 ? t.parameter : 0;
            if (length > m_size - m_pos) {
                error(RtfError::Code::BadBinary, at);
                length = m_size - m_pos;
            }
            t.type = RtfToken::Type::Binary;
            t.start = m_pos;
            t.length = length;
            m_pos += length;
            return true;
        }
        t.type = RtfToken::Type::ControlWord;
        return true;
    }

    const Char *m_data;
    qsizetype m_size;
    qsizetype m_pos;
    QList<RtfError> &m_errors;
};

#pragma once

#include <QByteArray>
#include <QStringView>

#include <array>

#include <cstring>
#include <string_view>

// The byte sink of the RTF writer: a pre-sized QByteArray written through a raw pointer, so that
// the hot loops (text escaping, picture hex) cost a compare and a store per byte.
class RtfOutput final {
public:
    explicit RtfOutput(qsizetype expected)
    {
        m_buffer.resize(qMax<qsizetype>(expected, 1024));
        m_data = m_buffer.data();
        m_capacity = m_buffer.size();
    }

    void ensure(qsizetype extra)
    {
        if (m_capacity - m_size < extra)
            grow(extra);
    }
    qsizetype size() const { return m_size; }

    void put(char c)
    {
        ensure(1);
        m_data[m_size++] = c;
    }
    void put(std::string_view text)
    {
        ensure(qsizetype(text.size()));
        std::memcpy(m_data + m_size, text.data(), text.size());
        m_size += qsizetype(text.size());
    }
    void put(const char *text) { put(std::string_view(text)); }
    void put(const QByteArray &bytes) { put(std::string_view(bytes.constData(), bytes.size())); }
    void putInt(qint64 value)
    {
        ensure(24);
        m_size += formatInt(m_data + m_size, value);
    }
    // A control word with a numeric parameter, e.g. "\fs" 24 -> \fs24.
    void control(std::string_view word, qint64 value)
    {
        put(word);
        putInt(value);
    }

    // Text escaped for RTF: 7-bit, \uN with an ANSI fallback beyond ASCII.
    void putText(QStringView text);
    // Bytes as lower-case hex, in lines of 128 digits.
    void putHex(const QByteArray &bytes);

    QByteArray take()
    {
        m_buffer.truncate(m_size);
        return std::move(m_buffer);
    }

    static int formatInt(char *out, qint64 value)
    {
        char digits[24];
        int n = 0;
        const bool negative = value < 0;
        quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
        do {
            digits[n++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        int written = 0;
        if (negative)
            out[written++] = '-';
        while (n)
            out[written++] = digits[--n];
        return written;
    }

private:
    void grow(qsizetype extra)
    {
        qsizetype capacity = m_capacity * 2;
        if (capacity - m_size < extra)
            capacity = m_size + extra + 1024;
        m_buffer.resize(capacity);
        m_data = m_buffer.data();
        m_capacity = capacity;
    }

    QByteArray m_buffer;
    char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

// The windows-1252 byte for a character, or 0 when the code page has none.
char rtfAnsiFallback(char16_t unit);

#pragma once

#include <QString>

#include <cstdio>

// Progress of a conversion on standard error: a bar redrawn on one line when it is a terminal,
// one plain line a page otherwise. Failures are always printed; the rest only when not quiet.
class ConvertProgress final {
public:
    ConvertProgress(std::FILE *stream, bool quiet, bool terminal);
    ~ConvertProgress();

    // Page index (from 0) of count has ended; failure is why it did not make it, or empty.
    void pageEnded(int index, int count, const QString &entry, const QString &failure);

    // Whether stream is a terminal.
    static bool isTerminal(std::FILE *stream);

private:
    void clearBar();

    std::FILE *m_stream;
    bool m_quiet;
    bool m_terminal;
    bool m_barShown = false;
};

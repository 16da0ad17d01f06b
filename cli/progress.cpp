#include "progress.h"

#include <QByteArray>

#include <unistd.h>

namespace {

constexpr int BarWidth = 30;
// The name shown beside the bar is cut so that the line fits a narrow terminal.
constexpr int NameWidth = 40;

QString shortened(const QString &name)
{
    if (name.size() <= NameWidth)
        return name;
    return QStringLiteral("...") + name.right(NameWidth - 3);
}

} // namespace

ConvertProgress::ConvertProgress(std::FILE *stream, bool quiet, bool terminal)
    : m_stream(stream), m_quiet(quiet), m_terminal(terminal)
{}

ConvertProgress::~ConvertProgress()
{
    if (m_barShown) {
        std::fputc('\n', m_stream);
        std::fflush(m_stream);
    }
}

bool ConvertProgress::isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) == 1;
}

void ConvertProgress::clearBar()
{
    if (!m_barShown)
        return;
    std::fputs("\r\033[K", m_stream);
    m_barShown = false;
}

void ConvertProgress::pageEnded(int index, int count, const QString &entry, const QString &failure)
{
    const int page = index + 1;
    if (!failure.isEmpty()) {
        clearBar();
        std::fprintf(m_stream, "folvane-convert: page %d of %d failed: %s: %s\n", page, count,
                     qUtf8Printable(entry), qUtf8Printable(failure));
    }
    if (m_quiet) {
        std::fflush(m_stream);
        return;
    }
    if (!m_terminal) {
        std::fprintf(m_stream, "page %d of %d: %s\n", page, count, qUtf8Printable(entry));
        std::fflush(m_stream);
        return;
    }
    const int filled = count > 0 ? page * BarWidth / count : BarWidth;
    const QByteArray bar = QByteArray(filled, '#') + QByteArray(BarWidth - filled, '-');
    std::fprintf(m_stream, "\r\033[K[%s] page %d of %d: %s", bar.constData(), page, count,
                 qUtf8Printable(shortened(entry)));
    std::fflush(m_stream);
    m_barShown = true;
}

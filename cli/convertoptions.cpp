#include "convertoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIODevice>
#include <QTextStream>
#include <QThread>

namespace {

// The entries named on standard input: one a line; blank lines are passed over.
QStringList readEntries(std::FILE *input)
{
    QStringList entries;
    QTextStream stream(input, QIODevice::ReadOnly);
    stream.setEncoding(QStringConverter::Utf8);
    QString line;
    while (stream.readLineInto(&line)) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            entries << line;
    }
    return entries;
}

// Qt's help begins "Usage: " and the path the program was started by; the usage names the
// program by its name instead, however it was started.
QString usageByName(QString help)
{
    const QString started =
        QStringLiteral("Usage: ") +
        (QCoreApplication::instance() ? QCoreApplication::arguments().value(0) : QString());
    if (help.startsWith(started))
        help.replace(0, started.size(), QStringLiteral("Usage: folvane-convert"));
    return help;
}

} // namespace

ConvertOptions ConvertOptions::parse(const QStringList &arguments, std::FILE *input)
{
    ConvertOptions options;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Converts HTML files and pages into one RTF document, as the Folvane "
                       "window's\nConcatenate and Save do: each page is rendered, selected whole "
                       "and copied as\nrich text, and the pages are appended in the order given. "
                       "With \"-\" as an entry,\nthe entries are read from standard input, one "
                       "a line."));
    // The program's own help and version options rather than Qt's, whose --help-all lists
    // options of Qt's that this program does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("Write the RTF to <file> (standard output "
                                                   "when not given)."),
                                    QStringLiteral("file"));
    const QCommandLineOption jobs(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Render up to <n> pages at once (default: the number of cores)."),
        QStringLiteral("n"));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("Print no progress; failed pages are still "
                                                  "named."));
    const QCommandLineOption toc(
        QStringLiteral("toc"),
        QStringLiteral("Begin the document with a table of contents of its headings\n"
                       "(levels 1 to 3), each entry a link to its heading."));
    const QCommandLineOption pageBreaks(QStringLiteral("page-breaks"),
                                        QStringLiteral("Begin every page after the first on a "
                                                       "new page."));
    const QCommandLineOption keepLinks(
        QStringLiteral("keep-links"),
        QStringLiteral("Write every link with its address; by default a link to a page\n"
                       "of the document, or to a place in one, jumps inside the document."));
    parser.addOptions({help, version, output, jobs, quiet, toc, pageBreaks, keepLinks});
    parser.addPositionalArgument(QStringLiteral("entries"),
                                 QStringLiteral("HTML files or addresses; - for standard input."),
                                 QStringLiteral("FILE|URL|-..."));
    options.helpText = usageByName(parser.helpText()) +
                       QStringLiteral("\nExit status:\n"
                                      "  0  every page was converted\n"
                                      "  1  some page failed: each is named on standard error, "
                                      "the others are\n     still written\n"
                                      "  2  a bad command line\n"
                                      "  3  the RTF could not be written\n");

    const auto usageError = [&options](const QString &error) {
        options.action = Action::UsageError;
        options.error = error;
        return options;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        options.action = Action::Help;
        return options;
    }
    if (parser.isSet(version)) {
        options.action = Action::Version;
        return options;
    }

    options.quiet = parser.isSet(quiet);
    options.tableOfContents = parser.isSet(toc);
    options.pageBreaks = parser.isSet(pageBreaks);
    options.keepLinks = parser.isSet(keepLinks);
    options.output = parser.value(output);
    if (parser.isSet(output) && options.output.isEmpty())
        return usageError(QStringLiteral("The output file name is empty."));
    options.jobs = std::max(1, QThread::idealThreadCount());
    if (parser.isSet(jobs)) {
        bool ok = false;
        options.jobs = parser.value(jobs).toInt(&ok);
        if (!ok || options.jobs < 1)
            return usageError(QStringLiteral("-j needs a whole number of at least 1, not \"%1\".")
                                  .arg(parser.value(jobs)));
    }
    bool stdinRead = false;
    for (const QString &entry : parser.positionalArguments()) {
        if (entry != QLatin1String("-")) {
            options.entries << entry;
            continue;
        }
        if (stdinRead)
            return usageError(QStringLiteral("Standard input (-) can be named only once."));
        stdinRead = true;
        options.entries << readEntries(input);
    }
    if (parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("No pages to convert."));
    return options;
}

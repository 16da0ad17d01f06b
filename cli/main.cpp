// folvane-convert: the window's Concatenate and Save for scripts, without a window.
#include "convertoptions.h"
#include "enginesetup.h"
#include "headlessconversion.h"
#include "pagelisthandlers.h"
#include "progress.h"
#include "rtfwriter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr int StatusFailedPages = 1;
constexpr int StatusUsage = 2;
constexpr int StatusNotWritten = 3;

bool writeOutput(const QString &fileName, const QByteArray &rtf, QString &error)
{
    if (fileName.isEmpty()) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(rtf) != rtf.size() ||
            !out.flush()) {
            error = out.errorString();
            return false;
        }
        return true;
    }
    // As the window saves: a temporary file beside the target, renamed over it once complete,
    // so that a failure leaves an existing file as it was.
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly) && file.write(rtf) == rtf.size() && file.commit())
        return true;
    error = file.errorString();
    file.cancelWriting();
    return false;
}

// Standard error is the script's: its progress and the pages that failed. Qt's own remarks
// about the environment (no runtime folder, no GPU without a display) are of no use there; they
// are shown only when FOLVANE_DEBUG is set. Critical and fatal messages always pass.
void quietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    static const bool debug = qEnvironmentVariableIsSet("FOLVANE_DEBUG");
    if (!debug && type != QtCriticalMsg && type != QtFatalMsg)
        return;
    std::fprintf(stderr, "%s\n", qUtf8Printable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietMessages);
    EngineSetup::prepareHeadless();
    EngineSetup::setApplicationAttributes();
    // The arguments are the program's alone. Qt is given none of them, so that none of its own
    // (-platform, -style, -reverse) changes how it starts: they are bad options here like any
    // other, and pages are always rendered offscreen.
    // (A program can be started with no arguments at all, not even its name.)
    static char name[] = "folvane-convert";
    char *qtArgv[] = {argc > 0 ? argv[0] : name, nullptr};
    int qtArgc = 1;
    QStringList arguments{QString::fromLocal8Bit(qtArgv[0])};
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("folvane-convert"));
    QApplication::setApplicationVersion(QStringLiteral(FOLVANE_VERSION));

    const ConvertOptions options = ConvertOptions::parse(arguments, stdin);
    switch (options.action) {
    case ConvertOptions::Action::Help:
        std::fputs(qPrintable(options.helpText), stdout);
        return 0;
    case ConvertOptions::Action::Version:
        std::printf("folvane-convert %s\n", FOLVANE_VERSION);
        return 0;
    case ConvertOptions::Action::UsageError:
        // As other tools do: what is wrong, and where the whole usage is.
        std::fprintf(stderr,
                     "folvane-convert: %s\nTry 'folvane-convert --help' for more information.\n",
                     qUtf8Printable(options.error));
        return StatusUsage;
    case ConvertOptions::Action::Convert:
        break;
    }

    // Entries are read as the window reads its command line: files relative to the working
    // folder, addresses as they are.
    QStringList entries;
    for (const QString &argument : options.entries)
        entries << PageListHandlers::entryText(PageListHandlers::argumentUrl(argument));

    HeadlessConversion::Settings settings;
    settings.jobs = options.jobs;
    HeadlessConversion conversion(entries, settings);
    {
        ConvertProgress progress(stderr, options.quiet, ConvertProgress::isTerminal(stderr));
        conversion.run([&](int index, int count, const QString &, const QString &failure) {
            // The name as the user gave it.
            progress.pageEnded(index, count, options.entries[index], failure);
        });
    }

    RtfWriteOptions writeOptions;
    writeOptions.resolveLinks = !options.keepLinks;
    writeOptions.tableOfContents = options.tableOfContents;
    writeOptions.pageBreaks = options.pageBreaks;
    QString error;
    if (!writeOutput(options.output, RtfWriter::write(conversion.document(), writeOptions),
                     error)) {
        std::fprintf(stderr, "folvane-convert: cannot write %s: %s\n",
                     options.output.isEmpty()
                         ? "to standard output"
                         : qUtf8Printable(QDir::toNativeSeparators(options.output)),
                     qUtf8Printable(error));
        return StatusNotWritten;
    }
    return conversion.failures().isEmpty() ? 0 : StatusFailedPages;
}

#include "enginesetup.h"
#include "errorreport.h"
#include "form1.h"
#include "pagelisthandlers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStyleFactory>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace {

// What the command line asks for, read before any window system is needed, so that --help,
// --version and a usage message work on a terminal without a display. Returns the exit status
// when the program is to end at once.
std::optional<int> readCommandLine(int argc, char *argv[], QStringList &entries)
{
    QCoreApplication reading(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Turns a set of HTML files into one RTF document. The files and addresses "
                       "given are put in the list, in their order, as a drop would put them."));
    // Not Qt's help option, whose --help-all lists options of Qt's that are not read here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    parser.addOptions({help, version});
    parser.addPositionalArgument(QStringLiteral("entries"),
                                 QStringLiteral("HTML files, folders or addresses to list."),
                                 QStringLiteral("[FILE|URL...]"));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "folvane: %s\nTry 'folvane --help' for more information.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        // Named by its name, not by the path it was started by, which Qt's usage line shows.
        QString text = parser.helpText();
        const QString started = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
        if (text.startsWith(started))
            text.replace(0, started.size(), QStringLiteral("Usage: folvane"));
        std::fputs(qPrintable(text), stdout);
        std::fputs("\nExit status:\n"
                   "  0  the window was closed, or the help or the version was printed\n"
                   "  2  a bad command line\n",
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("folvane %s\n", FOLVANE_VERSION);
        return 0;
    }
    entries = parser.positionalArguments();
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    EngineSetup::allowRunningAsRoot();
    EngineSetup::setApplicationAttributes();
    QCoreApplication::setApplicationName(QStringLiteral("Folvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FOLVANE_VERSION));
    QStringList entries;
    if (const std::optional<int> status = readCommandLine(argc, argv, entries))
        return *status;

    QApplication app(argc, argv);
    // Desktops match the window to its menu entry, and so to its name and icon, by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.folvane.Folvane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    // The icon's resource lives in the window's static library.
    Q_INIT_RESOURCE(icons);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.folvane.Folvane.svg")));
    Form1 form;
    form.show();
    if (!entries.isEmpty()) {
        // From the event loop, so that a message about the list's limit shows over the window.
        QTimer::singleShot(0, &form, [&form, entries] {
            ErrorReport::guard([&] { PageListHandlers::open(form, entries); }, &form);
        });
    }
    return app.exec();
}

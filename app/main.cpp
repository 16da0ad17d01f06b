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

int main(int argc, char *argv[])
{
    EngineSetup::allowRunningAsRoot();
    EngineSetup::setApplicationAttributes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QApplication::setApplicationVersion(QStringLiteral(FOLVANE_VERSION));
    // Desktops match the window to its menu entry, and so to its name and icon, by this.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.folvane.Folvane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Turns a set of HTML files into one RTF document. The files and addresses "
                       "given are put in the list, in their order, as a drop would put them."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("entries"),
                                 QStringLiteral("HTML files, folders or addresses to list."),
                                 QStringLiteral("[FILE|URL...]"));
    if (!parser.parse(QApplication::arguments())) {
        std::fprintf(stderr, "folvane: %s\n\n%s", qPrintable(parser.errorText()),
                     qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("folvane %s\n", FOLVANE_VERSION);
        return 0;
    }

    // The icon's resource lives in the window's static library.
    Q_INIT_RESOURCE(icons);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.folvane.Folvane.svg")));
    Form1 form;
    form.show();
    const QStringList entries = parser.positionalArguments();
    if (!entries.isEmpty()) {
        // From the event loop, so that a message about the list's limit shows over the window.
        QTimer::singleShot(0, &form, [&form, entries] {
            ErrorReport::guard([&] { PageListHandlers::open(form, entries); }, &form);
        });
    }
    return app.exec();
}

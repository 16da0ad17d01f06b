// Writes the RTF that a run makes of each page of a list, one file a page, for the fidelity
// yardstick (score.py --list ORDER.txt --rtf-dir DIR), and prints each page's time.
//   fidelity_pages ORDER.txt OUTDIR
// ORDER.txt lists the pages, one path a line, relative to its own folder; each page's RTF goes to
// OUTDIR/<its path without .html, "/" as "__">.rtf. Each page is loaded, selected,
// copied and inserted into an empty result pane as the run does, and the pane is saved.
#include "clipboard.h"
#include "commondialog.h"
#include "dispatch.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "pagelist.h"
#include "resultdocument.h"
#include "richtextbox.h"
#include "viewer.h"
#include "webbrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: fidelity_pages ORDER.txt OUTDIR\n");
        return 2;
    }
    QFile order(QString::fromLocal8Bit(argv[1]));
    if (!order.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QDir base = QFileInfo(order.fileName()).absoluteDir();
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(out.path());

    QWidget form;
    auto *listBox = new ListBox(&form);
    auto *browser = new WebBrowser(&form);
    auto *box = new RichTextBox(&form);
    auto *dialog = new CommonDialog(&form);
    listBox->setObjectName(QStringLiteral("List1"));
    browser->setObjectName(QStringLiteral("WebBrowser1"));
    box->setObjectName(QStringLiteral("RichTextBox1"));
    dialog->setObjectName(QStringLiteral("CommonDialog1"));
    form.resize(731, 510);
    listBox->setGeometry(80, 24, 641, 212);
    browser->setGeometry(80, 248, 641, 73);
    box->setGeometry(80, 328, 641, 161);
    LoadPendingFlag flag;
    Dispatch::connectEvent(browser, Viewer::DownloadCompleteId, &form,
                           [&flag] { Viewer::downloadComplete(flag); });
    Dispatch::connectEvent(browser, Viewer::DocumentCompleteId, &form,
                           [&flag] { Viewer::documentComplete(flag); });
    form.show();

    while (!order.atEnd()) {
        const QString line = QString::fromUtf8(order.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QString name = line;
        name.remove(QRegularExpression(QStringLiteral("\\.x?html?$")));
        name.replace(u'/', QStringLiteral("__"));
        name += QStringLiteral(".rtf");
        QElapsedTimer timer;
        timer.start();
        ResultDocument::clear(form);
        flag.setPending();
        Viewer::navigate(form, base.absoluteFilePath(line));
        Viewer::waitForCompletion(flag);
        Viewer::selectAll(form);
        Viewer::copy(form);
        ResultDocument::insert(form, Clipboard::richText());
        Dispatch::call(box, ResultDocument::SaveFileId, {out.filePath(name)});
        std::printf("%-60s %8.0f ms %8lld bytes\n", qPrintable(line),
                    double(timer.nsecsElapsed()) / 1e6,
                    qint64(QFileInfo(out.filePath(name)).size()));
        std::fflush(stdout);
    }
    return 0;
}

// A concatenation run over generated pages of mixed sizes, with the time of each step.
//   run_bench [pages]        (default 200; runs headless unless QT_QPA_PLATFORM says otherwise)
#include "clipboard.h"
#include "commondialog.h"
#include "dispatch.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "pagelist.h"
#include "resultdocument.h"
#include "richtextbox.h"
#include "run.h"
#include "viewer.h"
#include "webbrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <numeric>

namespace {

// Page i: mostly short pages, some long ones with lists and tables, now and then a very long one.
QByteArray pageHtml(int i)
{
    const int kind = i % 10;
    const int paragraphs = kind < 6 ? 4 : kind < 9 ? 40 : 250;
    const int rows = kind < 6 ? 0 : kind < 9 ? 10 : 60;
    QString html = QStringLiteral("<!DOCTYPE html><html><head><title>Page %1</title></head><body>"
                                  "<h1>Page %1</h1>")
                       .arg(i);
    for (int p = 0; p < paragraphs; ++p) {
        html += QStringLiteral("<p>Paragraph %1 of page %2: some <b>bold words</b>, some "
                               "<i>italic ones</i>, a <a href=\"https://example.org/%2/%1\">link"
                               "</a> and plain text to fill the line with ordinary prose.</p>")
                    .arg(p)
                    .arg(i);
        if (p % 10 == 9)
            html += QStringLiteral("<ul><li>one</li><li>two</li><li>three</li></ul>");
    }
    if (rows > 0) {
        html += QStringLiteral("<table border=1>");
        for (int r = 0; r < rows; ++r)
            html += QStringLiteral("<tr><td>r%1 c1</td><td>r%1 c2</td><td>r%1 c3</td></tr>").arg(r);
        html += QStringLiteral("</table>");
    }
    html += QStringLiteral("</body></html>");
    return html.toUtf8();
}

struct Window {
    QWidget form;
    ListBox *list = new ListBox(&form);
    WebBrowser *browser = new WebBrowser(&form);
    RichTextBox *box = new RichTextBox(&form);
    CommonDialog *dialog = new CommonDialog(&form);
    LoadPendingFlag flag;
    ConcatenationRun run;

    Window()
    {
        list->setObjectName(QStringLiteral("List1"));
        browser->setObjectName(QStringLiteral("WebBrowser1"));
        box->setObjectName(QStringLiteral("RichTextBox1"));
        dialog->setObjectName(QStringLiteral("CommonDialog1"));
        // The window's own sizes.
        form.resize(731, 510);
        list->setGeometry(80, 24, 641, 212);
        browser->setGeometry(80, 248, 641, 73);
        box->setGeometry(80, 328, 641, 161);
        Dispatch::connectEvent(browser, Viewer::DownloadCompleteId, &form,
                               [this] { Viewer::downloadComplete(flag); });
        Dispatch::connectEvent(browser, Viewer::DocumentCompleteId, &form,
                               [this] { Viewer::documentComplete(flag); });
        form.show();
    }
};

double ms(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// CPU time of this thread: the insertion is all work on the UI thread, and unlike the wall clock
// this does not count time the machine gives to other programs.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double mean(const std::vector<double> &values, size_t from, size_t to)
{
    to = std::min(to, values.size());
    if (from >= to)
        return 0;
    return std::accumulate(values.begin() + from, values.begin() + to, 0.0) / double(to - from);
}

long peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    QTemporaryDir dir;
    qint64 htmlBytes = 0;
    QStringList pages;
    for (int i = 0; i < count; ++i) {
        const QString path = dir.filePath(QStringLiteral("page%1.html").arg(i, 3, 10, QChar('0')));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        htmlBytes += file.write(pageHtml(i));
        pages << path;
    }

    Window window;
    PageList list(*window.list);
    for (const QString &page : pages)
        list.AddItem(page);

    // The run as the button starts it.
    QElapsedTimer total;
    total.start();
    window.run.concatenate(window.form, window.flag);
    const double runMs = ms(total);
    const qsizetype runChars = window.box->document()->characterCount();

    // The same steps again, each timed.
    std::vector<double> load, copy, insert, insertCpu;
    ResultDocument::clear(window.form);
    QElapsedTimer step;
    for (int i = 0; i < count; ++i) {
        step.start();
        window.flag.setPending();
        Viewer::navigate(window.form, list.List(qint16(i)));
        Viewer::waitForCompletion(window.flag);
        load.push_back(ms(step));
        step.start();
        Viewer::selectAll(window.form);
        Viewer::copy(window.form);
        const QString rtf = Clipboard::richText();
        copy.push_back(ms(step));
        step.start();
        const double cpuBefore = threadCpuMs();
        ResultDocument::insert(window.form, QStringLiteral("\r\n") + rtf);
        insertCpu.push_back(threadCpuMs() - cpuBefore);
        insert.push_back(ms(step));
    }

    const QString out = dir.filePath(QStringLiteral("result.rtf"));
    step.start();
    Dispatch::call(window.box, ResultDocument::SaveFileId, {out});
    const double saveMs = ms(step);

    const size_t lastFrom = insert.size() >= 20 ? insert.size() - 20 : 0;
    const double first = mean(insert, 0, 20);
    const double last = mean(insert, lastFrom, insert.size());
    const double firstCpu = mean(insertCpu, 0, 20);
    const double lastCpu = mean(insertCpu, lastFrom, insertCpu.size());
    std::printf("pages                      %d (%.1f MiB of HTML)\n", count,
                double(htmlBytes) / (1 << 20));
    std::printf("run, total                 %.0f ms (%.1f ms a page)\n", runMs, runMs / count);
    std::printf("per page, load             %.1f ms mean\n", mean(load, 0, load.size()));
    std::printf("per page, copy             %.1f ms mean (select all, copy, read RTF)\n",
                mean(copy, 0, copy.size()));
    std::printf("per page, insertion        %.1f ms mean\n", mean(insert, 0, insert.size()));
    std::printf("insertion, first 20 pages  %.2f ms mean, %.2f ms CPU\n", first, firstCpu);
    std::printf("insertion, last 20 pages   %.2f ms mean (%+.0f%%), %.2f ms CPU (%+.0f%%)\n", last,
                first > 0 ? (last / first - 1) * 100 : 0.0, lastCpu,
                firstCpu > 0 ? (lastCpu / firstCpu - 1) * 100 : 0.0);
    std::printf("save                       %.0f ms (%.1f MiB of RTF)\n", saveMs,
                double(QFileInfo(out).size()) / (1 << 20));
    std::printf("result                     %lld characters (%lld after the run)\n",
                qint64(window.box->document()->characterCount()), qint64(runChars));
    std::printf("peak memory (max RSS)      %ld MiB\n", peakRssMiB());
    return 0;
}

// Prints how long the viewer takes from Navigate to the end of ExecWB(12, 2) for a small, a
// medium and a large generated page, split into the load and the copy (select-all included).
// After the table's bar: the select-all alone, one more capture of the selection (its RTF
// included) and, on that capture's document, the RTF writer alone. A second table gives the
// engine's own work within the copy, which no capture can avoid: drawing the page it has just
// loaded, the select-all, and drawing the selection, each timed on its own.
//   viewer_bench [runs]      (default 5 runs per size; the median is printed)
// With FOLVANE_CAPTURE_PROFILE=1 each capture also prints its stages (the script's walk, the
// JSON parse, the document build, the RTF, and when the selection's HTML and text came in).

#include "clipboard.h"
#include "dispatch.h"
#include "failure.h"
#include "loadpendingflag.h"
#include "pagecapture.h"
#include "rtfwriter.h"
#include "viewer.h"
#include "webbrowser.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>

namespace {

// A page of ordinary content (headings, formatted paragraphs with links, a list, a table),
// repeated until it reaches the size asked for.
QByteArray generatePage(qsizetype bytes)
{
    QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Bench</title>"
                      "<style>td{border:1px solid #888;padding:2px}</style></head><body>\n";
    for (int section = 1; html.size() < bytes; ++section) {
        const QByteArray n = QByteArray::number(section);
        html += "<h2>Section " + n + "</h2>\n";
        html += "<p>Paragraph " + n +
                " with <b>bold</b>, <i>italic</i> and <u>underlined</u> words, a "
                "<a href=\"https://example.org/" +
                n +
                "\">link</a> and some plain running text that wraps over more than one line "
                "in the viewer so that the layout has real work to do.</p>\n";
        html += "<ul><li>First item " + n + "</li><li>Second item</li><li>Third item</li></ul>\n";
        html += "<table><tr><th>Name</th><th>Value</th></tr><tr><td>alpha " + n +
                "</td><td>1</td></tr><tr><td>beta</td><td>2</td></tr></table>\n";
    }
    html += "</body></html>\n";
    return html;
}

class Window final : public QWidget {
public:
    Window()
    {
        auto *browser = new WebBrowser(this);
        browser->setObjectName(QStringLiteral("WebBrowser1"));
        browser->setGeometry(0, 0, 641, 73);
        resize(731, 510);
        Dispatch::connectEvent(browser, Viewer::DownloadCompleteId, this,
                               [this] { Viewer::downloadComplete(flag); });
        Dispatch::connectEvent(browser, Viewer::DocumentCompleteId, this,
                               [this] { Viewer::documentComplete(flag); });
    }
    LoadPendingFlag flag;
};

// Navigates to address and waits until the viewer reports the load complete.
void show(QWidget &window, LoadPendingFlag &flag, const QString &address)
{
    flag.setPending();
    Viewer::navigate(window, address);
    Viewer::waitForCompletion(flag);
}

// Where a copy's time goes: the capture of the selection (its RTF included) and, timed again
// apart, the RTF writer alone.
struct Breakdown {
    double capture = -1, write = -1;
};

Breakdown copyBreakdown(WebBrowser &browser)
{
    Breakdown result;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    CapturedSelection captured;
    bool answered = false;
    PageCapture::captureSelection(browser.view()->page(), [&](CapturedSelection selection) {
        captured = std::move(selection);
        answered = true;
        loop.quit();
    });
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    result.capture = double(clock.nsecsElapsed()) / 1e6;
    if (captured.ok && captured.document) {
        clock.restart();
        const QByteArray rtf = RtfWriter::write(*captured.document);
        result.write = double(clock.nsecsElapsed()) / 1e6;
    }
    return result;
}

// Waits for the page's answer to an empty script: the time the engine still has work queued
// before it, such as drawing the page.
double pageRoundTrip(QWebEnginePage *page)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    bool answered = false;
    page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                        [&](const QVariant &) {
                            answered = true;
                            loop.quit();
                        });
    if (!answered)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return double(clock.nsecsElapsed()) / 1e6;
}

// The engine's own share of a copy, which no capture can avoid: drawing the page it has just
// loaded (done after DocumentComplete), the select-all and drawing the selection.
struct EngineWork {
    double paint = -1, select = -1, selectionPaint = -1;
};

EngineWork engineWork(QWidget &window, LoadPendingFlag &flag, const QString &path)
{
    EngineWork result;
    QWebEnginePage *page = window.findChild<WebBrowser *>()->view()->page();
    show(window, flag, QStringLiteral("about:blank"));
    show(window, flag, path);
    result.paint = pageRoundTrip(page);
    QElapsedTimer clock;
    clock.start();
    Viewer::selectAll(window);
    result.select = double(clock.nsecsElapsed()) / 1e6;
    result.selectionPaint = pageRoundTrip(page);
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    QTemporaryDir dir;
    struct Size {
        const char *name;
        qsizetype bytes;
    };
    const Size sizes[] = {{"small", 10 * 1024}, {"medium", 100 * 1024}, {"large", 1200 * 1024}};

    Window window;
    window.show();
    // The engine's first start is not part of any page's time.
    show(window, window.flag, QStringLiteral("about:blank"));

    std::vector<std::pair<double, EngineWork>> engine; // the load's median, the engine's work
    std::printf("%-7s %9s %9s %9s %9s %8s %7s | %9s %10s %9s\n", "page", "bytes", "load ms",
                "copy ms", "total ms", "copy/ld", "rtf KB", "select ms", "capture ms", "write ms");
    for (const Size &size : sizes) {
        const QString path = dir.filePath(QLatin1String(size.name) + QLatin1String(".html"));
        QFile file(path);
        const QByteArray html = generatePage(size.bytes);
        if (!file.open(QIODevice::WriteOnly) || file.write(html) != html.size())
            return 1;
        file.close();

        std::vector<double> loads, selects, copies;
        qsizetype rtfBytes = 0;
        for (int run = 0; run < runs; ++run) {
            // Start from another page so that each load is a full one.
            show(window, window.flag, QStringLiteral("about:blank"));

            QElapsedTimer clock;
            clock.start();
            show(window, window.flag, path);
            const qint64 loaded = clock.nsecsElapsed();
            qint64 selected = 0;
            try {
                Viewer::selectAll(window);
                selected = clock.nsecsElapsed();
                Viewer::copy(window);
            } catch (const FailureException &e) {
                std::printf("%-7s copy failed: %s\n", size.name,
                            qPrintable(e.failure().description));
                std::fflush(stdout);
                break;
            }
            const qint64 copied = clock.nsecsElapsed();
            loads.push_back(double(loaded) / 1e6);
            selects.push_back(double(selected - loaded) / 1e6);
            copies.push_back(double(copied - loaded) / 1e6);
            rtfBytes = Clipboard::richText().size();
        }
        if (copies.empty())
            continue;
        const double load = median(loads), copy = median(copies);
        const Breakdown parts = copyBreakdown(*window.findChild<WebBrowser *>());
        std::printf("%-7s %9lld %9.1f %9.1f %9.1f %8.2f %7lld | %9.1f %10.1f %9.1f\n", size.name,
                    static_cast<long long>(html.size()), load, copy, load + copy, copy / load,
                    static_cast<long long>(rtfBytes / 1024), median(selects), parts.capture,
                    parts.write);
        std::fflush(stdout);
        engine.emplace_back(load, engineWork(window, window.flag, path));
    }
    std::printf("\nthe engine's own work after DocumentComplete, within the copy:\n"
                "%-7s %9s %9s %9s %9s %9s\n",
                "page", "paint ms", "select ms", "sel paint", "sum ms", "sum/load");
    for (size_t i = 0; i < engine.size(); ++i) {
        const EngineWork &e = engine[i].second;
        const double sum = e.paint + e.select + e.selectionPaint;
        std::printf("%-7s %9.1f %9.1f %9.1f %9.1f %9.2f\n", sizes[i].name, e.paint, e.select,
                    e.selectionPaint, sum, sum / engine[i].first);
    }
    return 0;
}

// One leg of the real-run benchmark (app/bench/realrun_bench.sh runs all legs and prints the
// ratios): a list of real pages, each leg in a process of its own so that its memory is its own.
//   realrun_bench floor|select|run LIST [repeat]
//     floor   each page loaded in a visible QWebEngineView of the viewer's size, one after another
//     select  the same, with a select-all after each load
//     run     the program's window: the pages dropped on the list, Concatenate clicked; the time
//             is that of the click, which returns after the last insertion
// LIST names one HTML file a line; repeat (default 1) goes through the list that many times.
// Prints one line of "key value" pairs; the peak memory is the sum of the resident sizes of this
// process and every process it started (the engine's), sampled every 100 ms (the proportional
// size every 500 ms). In the run, the time from each page's DocumentComplete to its copy on the
// clipboard, and from there to the end of its insertion, is summed apart, as is the UI thread's
// CPU time (for the whole run and for the insertions), which the machine's other load disturbs
// less than the wall clock; the run is also split into stages by the engine's own signals (see
// FOLVANE_RUN_TIMELINE below). Every leg prints the CPU time of the engine's processes and of
// this one over the timed part, and the sampler's own. The heap in use at the end is this
// process's own memory, apart from the engine's. FOLVANE_BENCH_THREADS=1 prints the CPU time of
// each thread of this process and of the engine's, by name, to stderr.
#include "form1.h"
#include "layout.h"
#include "listbox.h"
#include "richtextbox.h"
#include "webbrowser.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QTextDocument>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

namespace {

// The resident size of this process and its descendants, summed, and the same for the
// proportional size (shared pages counted once over all of them).
struct Memory {
    long rssKiB = 0, pssKiB = 0;
};

long fieldKiB(const QByteArray &text, const char *name)
{
    const qsizetype at = text.indexOf(name);
    if (at < 0)
        return 0;
    return QByteArray(text.constData() + at + qstrlen(name)).trimmed().split(' ').value(0).toLong();
}

// A process as /proc/<pid>/stat gives it: "pid (name) state ppid ... utime stime ...".
struct ProcessStat {
    int ppid = 0;
    double cpuMs = 0; // user and system time
};

// Every process of the machine, read from /proc.
std::map<int, ProcessStat> readProcesses()
{
    static const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    std::map<int, ProcessStat> processes;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &name : pids) {
        bool number = false;
        const int pid = name.toInt(&number);
        if (!number)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0)
            continue;
        // after the name: state ppid ... utime (the 12th) stime (the 13th)
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (rest.size() > 12)
            processes[pid] = {rest[1].toInt(),
                              double(rest[11].toLongLong() + rest[12].toLongLong()) * tick};
    }
    return processes;
}

// Whether pid is this process or was started by it, directly or not.
bool inFamily(const std::map<int, ProcessStat> &processes, int pid)
{
    const int self = int(getpid());
    while (pid > 1 && pid != self) {
        const auto it = processes.find(pid);
        pid = it == processes.end() ? 0 : it->second.ppid;
    }
    return pid == self;
}

// This process and every process it started (the engine's).
std::vector<int> familyPids()
{
    std::vector<int> family;
    const std::map<int, ProcessStat> processes = readProcesses();
    for (const auto &[pid, process] : processes) {
        if (inFamily(processes, pid))
            family.push_back(pid);
    }
    return family;
}

// The resident size from /proc/<pid>/statm, which the kernel keeps as a counter and gives at
// once; with pss, also the proportional size from smaps_rollup, for which the kernel walks the
// process's page tables, which costs enough on the engine's large processes to take a share of
// a 2-core machine when done ten times a second.
Memory sampleMemory(const std::vector<int> &pids, bool pss)
{
    static const long pageKiB = sysconf(_SC_PAGESIZE) / 1024;
    Memory memory;
    for (const int pid : pids) {
        QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
        if (statm.open(QIODevice::ReadOnly))
            memory.rssKiB += statm.readAll().split(' ').value(1).toLong() * pageKiB;
        if (!pss)
            continue;
        QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (rollup.open(QIODevice::ReadOnly))
            memory.pssKiB += fieldKiB(rollup.readAll(), "\nPss:");
    }
    return memory;
}

// CPU time used so far by the processes this one started (the engine's), summed. Unlike the
// wall clock it counts the engine's work, not the time the machine gives to other programs.
double engineCpuMs()
{
    const int self = int(getpid());
    const std::map<int, ProcessStat> processes = readProcesses();
    double total = 0;
    for (const auto &[pid, process] : processes) {
        if (pid != self && inFamily(processes, pid))
            total += process.cpuMs;
    }
    return total;
}

// With FOLVANE_BENCH_THREADS=1: the CPU time of each thread of this process and of the engine's
// processes, by process and thread name, summed over threads of one name, to stderr.
void printThreadCpu()
{
    if (qEnvironmentVariableIntValue("FOLVANE_BENCH_THREADS") == 0)
        return;
    const int self = int(getpid());
    const double tick = 1000.0 / double(sysconf(_SC_CLK_TCK));
    const std::map<int, ProcessStat> processes = readProcesses();
    std::map<QByteArray, double> byName;
    for (const auto &[pid, process] : processes) {
        if (!inFamily(processes, pid))
            continue;
        const QString task = QStringLiteral("/proc/%1/task").arg(pid);
        for (const QString &tid : QDir(task).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile stat(task + QLatin1Char('/') + tid + QStringLiteral("/stat"));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray line = stat.readAll();
            const qsizetype open = line.indexOf('(');
            const qsizetype close = line.lastIndexOf(')');
            const QList<QByteArray> rest = line.mid(close + 2).split(' ');
            if (open < 0 || close < 0 || rest.size() <= 12)
                continue;
            const QByteArray key = (pid == self ? QByteArray("program ") : QByteArray("engine ")) +
                                   QByteArray::number(pid) + ' ' +
                                   line.mid(open + 1, close - open - 1);
            byName[key] += double(rest[11].toLongLong() + rest[12].toLongLong()) * tick;
        }
    }
    for (const auto &[name, cpu] : byName) {
        if (cpu >= 50)
            std::fprintf(stderr, "thread cpu %8.0f ms  %s\n", cpu, name.constData());
    }
}

// CPU time of this process, all of its threads.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// CPU time of the calling thread. On the UI thread it counts the program's own work (and the
// engine's work on that thread), and unlike the wall clock not the time the machine gives to
// other programs.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Samples every 100 ms: the resident sizes each time, the list of processes every second and
// the proportional sizes every half second, so that the sampling itself takes little of the
// machine (its own CPU time is kept and printed).
class MemorySampler {
public:
    MemorySampler()
        : m_thread([this] {
              std::vector<int> pids;
              for (int n = 0; !m_stop; ++n) {
                  if (n % 10 == 0)
                      pids = familyPids();
                  const Memory now = sampleMemory(pids, n % 5 == 0);
                  m_peakRss = std::max(m_peakRss.load(), now.rssKiB);
                  m_peakPss = std::max(m_peakPss.load(), now.pssKiB);
                  m_cpuMs = threadCpuMs();
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
          })
    {}
    ~MemorySampler() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    long peakRssMiB() const { return m_peakRss / 1024; }
    long peakPssMiB() const { return m_peakPss / 1024; }
    double cpuMs() const { return m_cpuMs; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_peakRss{0}, m_peakPss{0};
    std::atomic<double> m_cpuMs{0};
    std::thread m_thread;
};

// The heap of this process alone, in use at the end of the leg: the program's own memory (the
// result document among it), apart from the engine's.
long heapMiB()
{
    const struct mallinfo2 info = mallinfo2();
    return long((info.uordblks + info.hblkhd) >> 20);
}

double ms(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

const Layout::Control &browserControl()
{
    for (const Layout::Control &control : Layout::Controls) {
        if (control.kind == Layout::Kind::WebBrowser)
            return control;
    }
    return Layout::Controls.front();
}

// The floor: a bare view of the viewer's size and zoom in a window of the program's size, with
// an off-the-record profile as the viewer has.
class FloorWindow final : public QWidget {
public:
    FloorWindow()
    {
        resize(Layout::pixels(Layout::ClientWidth), Layout::pixels(Layout::ClientHeight));
        m_page = new QWebEnginePage(&m_profile, this);
        m_view = new QWebEngineView(this);
        m_view->setPage(m_page);
        const QRect geometry = Layout::geometry(browserControl());
        m_view->setGeometry(geometry);
        m_view->setZoomFactor(
            std::max(0.25, double(geometry.width()) / WebBrowser::MinimumLayoutWidth));
        m_profile.setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    }
    ~FloorWindow() override
    {
        // The page has to go before the profile it was made with.
        delete m_view;
        delete m_page;
    }

    void load(const QUrl &url)
    {
        QEventLoop loop;
        const auto connection =
            connect(m_page, &QWebEnginePage::loadFinished, &loop, [&loop] { loop.quit(); });
        m_page->load(url);
        loop.exec();
        disconnect(connection);
    }

    void selectAll()
    {
        // The viewer's own select-all: the selection set directly by a script, its answer
        // awaited.
        QEventLoop loop;
        m_page->runJavaScript(QStringLiteral("(function () { const s = window.getSelection();"
                                             " s.selectAllChildren(document.body ||"
                                             " document.documentElement); return true; })()"),
                              QWebEngineScript::ApplicationWorld,
                              [&loop](const QVariant &) { loop.quit(); });
        loop.exec();
    }

private:
    QWebEngineProfile m_profile; // off the record: no storage name
    QWebEnginePage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
};

void waitExposed(QWidget &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window, 10000))
        std::fprintf(stderr, "the window was not shown\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    // As the program starts.
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc < 3) {
        std::fprintf(stderr, "usage: realrun_bench floor|select|run LIST [repeat]\n");
        return 2;
    }
    const QByteArray mode = argv[1];
    const int repeat = argc > 3 ? std::max(1, atoi(argv[3])) : 1;
    QFile listFile(QString::fromLocal8Bit(argv[2]));
    if (!listFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    QStringList once;
    qint64 htmlBytes = 0;
    for (const QByteArray &line : listFile.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line.trimmed());
        if (path.isEmpty() || path.startsWith(QLatin1Char('#')))
            continue;
        once << path;
        htmlBytes += QFileInfo(path).size();
    }
    QStringList pages;
    for (int r = 0; r < repeat; ++r)
        pages << once;

    MemorySampler memory;
    QElapsedTimer clock;
    double total = 0, copyMs = 0, insertMs = 0, insertCpuMs = 0, uiCpuMs = 0;
    qint64 resultChars = 0;
    long heap = 0;
    QString stages;
    double engineCpu = 0, processCpu = 0; // over the timed part
    if (mode == "floor" || mode == "select") {
        FloorWindow window;
        waitExposed(window);
        // The engine's start is no page's time.
        window.load(QUrl(QStringLiteral("about:blank")));
        engineCpu = engineCpuMs();
        processCpu = processCpuMs();
        clock.start();
        for (const QString &page : pages) {
            window.load(QUrl::fromLocalFile(page));
            if (mode == "select")
                window.selectAll();
        }
        total = ms(clock);
        printThreadCpu();
        engineCpu = engineCpuMs() - engineCpu;
        processCpu = processCpuMs() - processCpu;
        heap = heapMiB();
    } else if (mode == "run") {
        Form1 form;
        waitExposed(form);
        auto *browser = form.findChild<WebBrowser *>(QStringLiteral("WebBrowser1"));
        auto *box = form.findChild<RichTextBox *>(QStringLiteral("RichTextBox1"));
        auto *list = form.findChild<ListBox *>(QStringLiteral("List1"));
        auto *button = form.findChild<QPushButton *>(QStringLiteral("Command1"));
        if (!browser || !box || !list || !button) {
            std::fprintf(stderr, "the window lacks a control\n");
            return 1;
        }
        {
            QEventLoop loop;
            QObject::connect(browser, &WebBrowser::DocumentComplete, &loop, &QEventLoop::quit);
            browser->Navigate(QStringLiteral("about:blank"));
            loop.exec();
        }
        // The drop: all pages at once, as a file manager hands them over.
        QList<QUrl> urls;
        for (const QString &page : pages)
            urls << QUrl::fromLocalFile(page);
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = list->viewport()->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &drop);
        if (list->count() != pages.size())
            std::fprintf(stderr, "the list holds %lld entries, not %lld\n", qint64(list->count()),
                         qint64(pages.size()));

        // Where each page's time after its load goes: to the copy (select-all included), then
        // to the insertion.
        QElapsedTimer step;
        double stepCpu = 0;
        enum class Stage { Other, Copying, Inserting } stage = Stage::Other;
        QObject::connect(browser, &WebBrowser::DocumentComplete, [&] {
            stage = Stage::Copying;
            step.start();
        });
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [&] {
            if (stage != Stage::Copying)
                return;
            copyMs += ms(step);
            stage = Stage::Inserting;
            step.start();
            stepCpu = threadCpuMs();
        });
        QObject::connect(box->document(), &QTextDocument::contentsChanged, [&] {
            if (stage != Stage::Inserting)
                return;
            insertMs += ms(step);
            insertCpuMs += threadCpuMs() - stepCpu;
            stage = Stage::Other;
        });
        // The timeline of each page, on the wall clock of the run: the load asked for (the
        // engine's loadStarted), the load finished, the program told (DocumentComplete), the
        // selection copied onto the clipboard (select-all and capture), the insertion
        // done. The stages are summed over the pages, and with FOLVANE_RUN_TIMELINE=1 each page's
        // line goes to stderr.
        enum Mark { Started, Loaded, Completed, Copied, Inserted, Marks };
        static const char *const markNames[Marks] = {"start", "loaded", "complete", "copied",
                                                     "inserted"};
        double marks[Marks] = {};
        double stageMs[Marks] = {}; // each stage's sum, from the mark before it
        double gapMs = 0;           // from an insertion's end to the next load's start
        double lastInserted = -1;
        int pageNumber = 0;
        const bool timeline = qEnvironmentVariableIntValue("FOLVANE_RUN_TIMELINE") != 0;
        auto *page = browser->findChild<QWebEnginePage *>();
        const auto mark = [&](Mark which) {
            const double now = ms(clock);
            if (which == Started) {
                if (lastInserted >= 0)
                    gapMs += now - lastInserted;
                std::fill(std::begin(marks), std::end(marks), -1.0);
            } else {
                // Only the first of each, and none after a later one.
                if (marks[Started] < 0 || marks[which] >= 0)
                    return;
                for (int m = which + 1; m < Marks; ++m) {
                    if (marks[m] >= 0)
                        return;
                }
            }
            marks[which] = now;
            for (int m = which - 1; m >= Started && which > Started; --m) {
                if (marks[m] >= 0) {
                    stageMs[which] += now - marks[m];
                    break;
                }
            }
            if (which != Inserted)
                return;
            lastInserted = now;
            ++pageNumber;
            if (!timeline)
                return;
            std::fprintf(stderr, "page %3d", pageNumber);
            for (int m = Started + 1; m < Marks; ++m)
                std::fprintf(stderr, " %s %.0f", markNames[m], marks[m] - marks[Started]);
            std::fprintf(stderr, "\n");
        };
        if (page) {
            QObject::connect(page, &QWebEnginePage::loadStarted, [&] { mark(Started); });
            QObject::connect(page, &QWebEnginePage::loadFinished, [&] { mark(Loaded); });
        }
        QObject::connect(browser, &WebBrowser::DocumentComplete, [&] { mark(Completed); });
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged,
                         [&] { mark(Copied); });
        QObject::connect(box->document(), &QTextDocument::contentsChanged, [&] { mark(Inserted); });
        engineCpu = engineCpuMs();
        processCpu = processCpuMs();
        clock.start();
        const double cpuBefore = threadCpuMs();
        QTest::mouseClick(button, Qt::LeftButton);
        printThreadCpu();
        engineCpu = engineCpuMs() - engineCpu;
        processCpu = processCpuMs() - processCpu;
        stages = QString::asprintf(" stage_load_ms %.0f stage_complete_ms %.0f stage_copy_ms %.0f "
                                   "stage_insert_ms %.0f stage_to_next_load_ms %.0f",
                                   stageMs[Loaded], stageMs[Completed], stageMs[Copied],
                                   stageMs[Inserted], gapMs);
        total = ms(clock);
        uiCpuMs = threadCpuMs() - cpuBefore;
        resultChars = box->document()->characterCount();
        heap = heapMiB();
    } else {
        std::fprintf(stderr, "unknown leg %s\n", mode.constData());
        return 2;
    }
    memory.stop();
    std::printf("leg %s pages %lld html_kib %lld time_ms %.0f peak_rss_mib %ld peak_pss_mib %ld "
                "heap_mib %ld",
                mode.constData(), qint64(pages.size()), htmlBytes * repeat / 1024, total,
                memory.peakRssMiB(), memory.peakPssMiB(), heap);
    if (mode == "run")
        std::printf(
            " copy_ms %.0f insert_ms %.0f insert_cpu_ms %.0f ui_cpu_ms %.0f result_chars %lld",
            copyMs, insertMs, insertCpuMs, uiCpuMs, resultChars);
    std::printf("%s", qPrintable(stages));
    std::printf(" engine_cpu_ms %.0f process_cpu_ms %.0f sampler_cpu_ms %.0f", engineCpu,
                processCpu, memory.cpuMs());
    std::printf(" a11y %d\n", QAccessible::isActive() ? 1 : 0);
    std::fflush(stdout);
    return 0;
}

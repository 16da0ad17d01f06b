#include "headlessconversion.h"

#include "browseraddress.h"
#include "localfilekind.h"
#include "pageappend.h"
#include "pagecapture.h"
#include "rtfreader.h"
#include "webbrowser.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTextCursor>
#include <QTimer>
#include <QWebEngineLoadingInfo>

#include <algorithm>

namespace {

// The engine's "aborted" error: the load was replaced by another one the page started itself.
constexpr int LoadAborted = -3;

QString failureText(WebBrowser &browser)
{
    const auto failure = browser.takeFailure();
    return failure ? failure->description : QString();
}

} // namespace

// One browser control and the page it works on.
struct HeadlessConversion::Slot {
    enum class State { Idle, Loading, Loaded, Capturing };

    std::unique_ptr<WebBrowser> browser;
    State state = State::Idle;
    int index = -1;
    // The current page's load has started (completions of an earlier load are not its own).
    bool started = false;
    // The current page is on its second try, or on its last, alone.
    bool retried = false;
    bool alone = false;
    QString loadFailure;
    unsigned generation = 0;
};

HeadlessConversion::HeadlessConversion(QStringList entries, Settings settings)
    : m_entries(std::move(entries)), m_settings(std::move(settings)), m_cursor(&m_document)
{
    m_document.setUndoRedoEnabled(false);
    m_document.setDefaultFont(m_settings.documentFont);
    m_pages.resize(m_entries.size());
}

HeadlessConversion::~HeadlessConversion() = default;

void HeadlessConversion::run(const Progress &progress)
{
    m_progress = progress;
    const int count = int(m_entries.size());
    const int jobs = std::clamp(m_settings.jobs, 1, std::max(count, 1));
    QEventLoop loop;
    m_loop = &loop;
    for (int i = 0; i < jobs && m_next < count; ++i) {
        m_slots.push_back(std::make_unique<Slot>());
        startNext(*m_slots.back());
    }
    if (m_appended < count)
        loop.exec();
    m_loop = nullptr;
    m_slots.clear();
}

std::unique_ptr<WebBrowser> HeadlessConversion::makeBrowser(Slot &slot)
{
    auto browser = std::make_unique<WebBrowser>();
    // Shown, so that the page is laid out and drawn as in the window's pane, yet never on a screen.
    browser->setAttribute(Qt::WA_DontShowOnScreen);
    browser->resize(m_settings.viewSize);
    browser->setTimeouts(m_settings.browserTimeouts);
    browser->show();
    WebBrowser *raw = browser.get();
    const auto completed = [this, &slot, raw] {
        if (slot.browser.get() != raw || slot.state != Slot::State::Loading || !slot.started)
            return;
        slot.state = Slot::State::Loaded;
        // Both completion events of a load are queued together: the page is taken once the other
        // one has passed too, so that it cannot end the next page's wait.
        whileCurrent(slot, [this, &slot] { loadEnded(slot); });
    };
    connect(raw, &WebBrowser::DownloadComplete, this, completed);
    connect(raw, &WebBrowser::DocumentComplete, this, completed);
    // A failed load shows the engine's error page, which is no part of the document. A load the
    // watchdog stopped is taken as far as it came, as the window takes it; one that showed
    // nothing leaves the browser's own page, which loadEnded finds.
    connect(
        raw, &WebBrowser::loadingStateChanged, this,
        [this, &slot, raw](const QWebEngineLoadingInfo &info) {
            if (slot.browser.get() != raw || slot.state != Slot::State::Loading)
                return;
            // The engine does not report the start of a load that replaces one of the
            // page's own still under way; the end of the entry's load is its own all the
            // same.
            if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus ||
                BrowserAddress::same(info.url(), BrowserAddress::resolve(m_entries[slot.index])))
                slot.started = true;
            else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
                     info.errorCode() != LoadAborted && slot.loadFailure.isEmpty())
                slot.loadFailure = info.errorString().isEmpty()
                                       ? QStringLiteral("the page could not be loaded")
                                       : info.errorString();
        });
    return browser;
}

void HeadlessConversion::startNext(Slot &slot)
{
    const int count = int(m_entries.size());
    if (m_next >= count) {
        slot.state = Slot::State::Idle;
        slot.browser.reset();
        // Pages that went unanswered beside others get a last try once nothing else runs.
        const bool othersIdle = std::all_of(m_slots.begin(), m_slots.end(), [](const auto &other) {
            return other->state == Slot::State::Idle;
        });
        if (othersIdle && !m_triesAlone.empty()) {
            const int index = m_triesAlone.front();
            m_triesAlone.pop_front();
            slot.retried = true;
            slot.alone = true;
            startPage(slot, index);
        }
        return;
    }
    slot.retried = false;
    slot.alone = false;
    startPage(slot, m_next++);
}

void HeadlessConversion::startPage(Slot &slot, int index)
{
    slot.index = index;
    ++slot.generation;
    slot.started = false;
    slot.loadFailure.clear();
    const QString &entry = m_entries[slot.index];

    // A file that is not there or cannot be read would show the browser's own page about it;
    // that page is not the entry's, so the entry fails instead.
    const QUrl address = BrowserAddress::resolve(entry);
    if (address.isLocalFile()) {
        const QFileInfo file(address.toLocalFile());
        if (!file.exists()) {
            finishLater(slot, QStringLiteral("no such file"));
            return;
        }
        // A folder would come out as the engine's listing of it, and a named pipe or a device
        // would block the engine: neither is opened.
        if (const QString problem = LocalFileKind::problem(file.filePath()); !problem.isEmpty()) {
            finishLater(slot, problem);
            return;
        }
        if (!file.isReadable()) {
            finishLater(slot, QStringLiteral("the file cannot be read"));
            return;
        }
    }
    if (!slot.browser)
        slot.browser = makeBrowser(slot);
    slot.state = Slot::State::Loading;
    // A jump within the page already shown starts no load of its own.
    if (address.hasFragment())
        slot.started = true;
    slot.browser->Navigate(entry);
    if (const QString failure = failureText(*slot.browser); !failure.isEmpty()) {
        finishLater(slot, failure);
        return;
    }
    const unsigned generation = slot.generation;
    QTimer::singleShot(m_settings.loadTimeoutMs, this, [this, &slot, generation] {
        if (slot.generation != generation || slot.state != Slot::State::Loading)
            return;
        // The browser may still be busy with the page: the next one gets a fresh browser.
        slot.browser.release()->deleteLater();
        finish(slot, QStringLiteral("the page did not finish loading within %1 s")
                         .arg(m_settings.loadTimeoutMs / 1000));
    });
}

void HeadlessConversion::loadEnded(Slot &slot)
{
    if (!slot.loadFailure.isEmpty()) {
        finish(slot, slot.loadFailure);
        return;
    }
    // Select All and the capture wait for the page in an event loop of their own. A second
    // page's commands started inside that wait would wait in a loop nested in it, and the first
    // page's answer, once in, could not end its wait before the second one's had ended. So one
    // page is captured at a time, while the others load.
    if (m_capturing) {
        m_waitingToCapture.emplace_back(&slot, slot.generation);
        return;
    }
    m_capturing = true;
    capture(slot);
    m_capturing = false;
    captureNextWaiting();
}

void HeadlessConversion::captureNextWaiting()
{
    while (!m_waitingToCapture.empty()) {
        const auto [next, generation] = m_waitingToCapture.front();
        m_waitingToCapture.pop_front();
        if (next->generation != generation || next->state != Slot::State::Loaded)
            continue; // restarted or ended meanwhile
        // From the event loop, outside the wait that has just ended.
        QMetaObject::invokeMethod(
            this,
            [this, next, generation] {
                if (next->generation == generation && next->state == Slot::State::Loaded)
                    loadEnded(*next);
                else
                    captureNextWaiting();
            },
            Qt::QueuedConnection);
        return;
    }
}

void HeadlessConversion::capture(Slot &slot)
{
    slot.state = Slot::State::Capturing;
    WebBrowser &browser = *slot.browser;
    QPointer<WebBrowser> alive(&browser);
    // The browser shows a page of its own instead of the entry's: the page stopped responding
    // or never answered. That page is no part of the document.
    if (const QString problem = browser.shownProblem(); !problem.isEmpty()) {
        finish(slot, problem);
        return;
    }
    // The window's run selects all and copies; the copy's capture comes here instead of the
    // clipboard. Both wait for the page and process events meanwhile.
    browser.ExecWB(WebBrowser::SelectAllCommand, WebBrowser::DontPromptUser);
    if (!alive)
        return;
    QString failure = failureText(browser);
    if (failure.isEmpty())
        failure = browser.shownProblem();
    if (!failure.isEmpty()) {
        captureFailed(slot, failure);
        return;
    }
    CapturedSelection selection;
    if (!browser.captureSelection(selection)) {
        if (!alive)
            return;
        failure = failureText(browser);
        captureFailed(slot,
                      failure.isEmpty() ? QStringLiteral("the page could not be copied") : failure);
        return;
    }
    // A page that stopped responding during the capture was given up and its stand-in captured.
    if (const QString problem = browser.shownProblem(); !problem.isEmpty()) {
        captureFailed(slot, problem);
        return;
    }
    finish(slot, QString(), std::move(selection.rtf));
}

void HeadlessConversion::captureFailed(Slot &slot, const QString &failure)
{
    // The engine now and then never answers a script in a page that has loaded, with its
    // renderer idle; seen only while other pages render beside it. A page gets one more try, in
    // a fresh browser, and when that fails too beside other pages, a last one once it is alone.
    const bool besideOthers = !slot.alone && m_slots.size() > 1;
    if (slot.retried && !besideOthers) {
        finish(slot, failure);
        return;
    }
    slot.browser.release()->deleteLater();
    ++slot.generation;
    if (!slot.retried) {
        slot.retried = true;
        const int index = slot.index;
        whileCurrent(slot, [this, &slot, index] { startPage(slot, index); });
        return;
    }
    m_triesAlone.push_back(slot.index);
    slot.state = Slot::State::Loaded;
    whileCurrent(slot, [this, &slot] { startNext(slot); });
}

void HeadlessConversion::whileCurrent(Slot &slot, std::function<void()> step)
{
    const unsigned generation = slot.generation;
    QMetaObject::invokeMethod(
        this,
        [&slot, generation, step = std::move(step)] {
            if (slot.generation == generation)
                step();
        },
        Qt::QueuedConnection);
}

void HeadlessConversion::finishLater(Slot &slot, const QString &failure)
{
    // Through the event queue, so that a long run of failing entries does not recurse.
    slot.state = Slot::State::Loaded;
    whileCurrent(slot, [this, &slot, failure] { finish(slot, failure); });
}

void HeadlessConversion::finish(Slot &slot, QString failure, QByteArray rtf)
{
    Page &page = m_pages[slot.index];
    page.done = true;
    page.failure = std::move(failure);
    page.rtf = std::move(rtf);
    appendReadyPages();
    startNext(slot);
    if (m_appended == int(m_entries.size()) && m_loop)
        m_loop->quit();
}

void HeadlessConversion::appendReadyPages()
{
    const int count = int(m_entries.size());
    while (m_appended < count && m_pages[m_appended].done) {
        Page &page = m_pages[m_appended];
        if (page.failure.isEmpty()) {
            // As the window's run appends a copied page to its result pane.
            const QString rtf = PageAppend::insertion(QString::fromLatin1(page.rtf));
            m_cursor.beginEditBlock();
            RtfReader::insert(m_cursor, QStringView(rtf));
            m_cursor.endEditBlock();
        } else {
            m_failures.append({m_appended, m_entries[m_appended], page.failure});
        }
        page.rtf = QByteArray();
        if (m_progress)
            m_progress(m_appended, count, m_entries[m_appended], page.failure);
        ++m_appended;
    }
}

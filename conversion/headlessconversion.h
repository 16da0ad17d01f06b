#pragma once

#include "pagerendering.h"
#include "webbrowser.h"

#include <QByteArray>
#include <QFont>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QEventLoop;

// The conversion without a window: each entry rendered by its own browser control, up to jobs of
// them at once, selected whole and captured as the window's copy captures it, and appended in
// the entries' order to one document, each page as the window's result pane receives it.
class HeadlessConversion final : public QObject {
    Q_OBJECT
public:
    // The browser's own limits, with a renderer that is silent and idle given up soon.
    static WebBrowser::Timeouts withIdleAnswer()
    {
        WebBrowser::Timeouts timeouts;
        timeouts.idleAnswerMs = WebBrowser::Timeouts::IdleAnswerMs;
        return timeouts;
    }
    struct Settings {
        int jobs = 1;
        // The browser's pane and the result's default font: the window's, so that pages are laid
        // out and the document is written as the window does.
        QSize viewSize = PageRendering::viewerSize();
        QFont documentFont = PageRendering::documentFont();
        // How long a page may take to load before it counts as failed: a last resort, long
        // enough for a page that is only big (the browser's own watchdog stops or gives up a
        // page that does not finish or does not answer).
        int loadTimeoutMs = 900000;
        // The browsers' own limits for a page that does not finish or stops responding. A
        // renderer found stuck is given up soon: the page is then tried again in a fresh browser.
        WebBrowser::Timeouts browserTimeouts = withIdleAnswer();
    };

    // A page that did not make it into the document, and why.
    struct PageFailure {
        int index;
        QString entry;
        QString reason;
    };

    // How far the conversion is: called once for each page, as it ends, in the order of the
    // entries; failure is empty for a page that made it, else why it did not.
    using Progress =
        std::function<void(int index, int count, const QString &entry, const QString &failure)>;

    HeadlessConversion(QStringList entries, Settings settings);
    ~HeadlessConversion() override;

    // Converts every entry and returns once all have ended; events are processed meanwhile.
    void run(const Progress &progress = {});

    const QTextDocument &document() const { return m_document; }
    const QList<PageFailure> &failures() const { return m_failures; }

private:
    struct Slot;
    struct Page {
        bool done = false;
        QString failure;
        QByteArray rtf;
    };

    std::unique_ptr<WebBrowser> makeBrowser(Slot &slot);
    void startNext(Slot &slot);
    void startPage(Slot &slot, int index);
    void loadEnded(Slot &slot);
    void capture(Slot &slot);
    void captureNextWaiting();
    void captureFailed(Slot &slot, const QString &failure);
    void finishLater(Slot &slot, const QString &failure);
    // Calls step from the event loop, unless the slot has moved on to another page or try.
    void whileCurrent(Slot &slot, std::function<void()> step);
    void finish(Slot &slot, QString failure, QByteArray rtf = {});
    void appendReadyPages();

    const QStringList m_entries;
    const Settings m_settings;
    QTextDocument m_document;
    // The insertion point, kept from page to page as the result pane keeps its own.
    QTextCursor m_cursor;
    Progress m_progress;
    QEventLoop *m_loop = nullptr;
    std::vector<std::unique_ptr<Slot>> m_slots;
    std::vector<Page> m_pages;
    QList<PageFailure> m_failures;
    // Pages whose load has ended while another page was being captured, waiting their turn.
    std::deque<std::pair<Slot *, unsigned>> m_waitingToCapture;
    bool m_capturing = false;
    // Pages to be tried once more when no other page is rendered beside them.
    std::deque<int> m_triesAlone;
    int m_next = 0;     // the next entry to start
    int m_appended = 0; // entries appended to the document (or passed over) so far
};

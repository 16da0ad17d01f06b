#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QUrl>

#include <algorithm>

class BrowserPage;
class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineNavigationRequest;
class QWebEngineProfile;
class QWebEnginePage;
class QWebEngineView;

// The browser's limits for a page that does not finish or stops responding.
struct BrowserTimeouts {
    // A navigation that has not completed within this time is stopped as a browser's Stop
    // button stops it, and what has loaded is reported complete.
    static constexpr int NavigationMs = 30000;
    // A renderer that has not answered within this time of that stop, or that stays silent
    // this long during a select-all or a copy, is given up: the page is replaced by one
    // saying that it stopped responding.
    static constexpr int StopAnswerMs = 5000;
    static constexpr int CommandAnswerMs = 10000;

    int navigationMs = NavigationMs;
    int stopAnswerMs = StopAnswerMs;
    int commandAnswerMs = CommandAnswerMs;
    // A renderer that leaves a select-all or a copy unanswered this long while it uses next to
    // no processor time is not busy with the page but stuck: it is given up then, without
    // waiting for the limits above. 0: only those limits count.
    static constexpr int IdleAnswerMs = 2000;
    int idleAnswerMs = 0;

    // A page still being read when the navigation's time is up (its document still loading and
    // growing) is given that time again, this many times at most, before it is stopped.
    static constexpr int MaxReadingExtensions = 10;
    // A big page keeps its renderer busy without a break for longer than a small one: the
    // silence allowed grows by a second for each of these many bytes of the page's file, or
    // elements of its document, on top of the limits above.
    static constexpr qint64 BytesPerBusySecond = 256 * 1024;
    static constexpr qint64 ElementsPerBusySecond = 10000;
    // A link followed within this time of the user's click or key press in the pane is the
    // user's, as a browser's user activation lasts; later, it is the page script's.
    static constexpr int UserActivationMs = 5000;
};

// The page in the browser control's view and the watchdog over its navigations: which loads
// belong to the navigation last asked for, when that navigation is complete, and what takes the
// place of a page that cannot be shown or stops responding. A page that never answers is
// replaced by a fresh one in the same profile.
class Navigator final : public QObject {
    Q_OBJECT
public:
    Navigator(QWebEngineProfile *profile, QWebEngineView *view, QObject *parent);
    ~Navigator() override;

    // Starts loading the address; its completion is reported once, through the two signals.
    void navigate(const QUrl &address);
    // Gives the page shown up as not responding: its stopped-responding page is loaded in its
    // place, whose completion is reported as the navigation's (or on its own).
    void giveUp();

    QWebEnginePage *page() const;
    // The address of the last navigation asked for; empty before the first.
    QUrl navigated() const { return m_navigated; }
    // Why the pane shows a page of the control's own in place of the address asked for; empty
    // while it shows the address's own page.
    QString problem() const { return m_problem; }

    void setTimeouts(const BrowserTimeouts &timeouts) { m_timeouts = timeouts; }
    const BrowserTimeouts &timeouts() const { return m_timeouts; }

    // How much longer than the limits a renderer may stay silent, working on the page shown:
    // a page that is only big is busy, not stuck, and is not given up for it.
    int busyAllowanceMs() const;
    // The user pressed a key or a button in the pane: a link followed soon after is the
    // user's, not the page script's.
    void userActed() { m_sinceUserInput.start(); }
    // The page shown has this many elements (as the Select All found them).
    void noteElements(qint64 elements) { m_elements = std::max(m_elements, elements); }

signals:
    // The navigation is complete; each comes through the event queue, so that no handler ever
    // runs inside a call of the control, the first before the second.
    void downloadComplete();
    void documentComplete();
    // Every change of the loading state of the page shown, whichever page that is.
    void loadingStateChanged(const QWebEngineLoadingInfo &info);
    // The page's own Copy action (its context menu).
    void copyRequested();

private:
    BrowserPage *createPage();
    void replacePage();
    void beginNavigation(const QUrl &address);
    void navigationRequested(QWebEngineNavigationRequest &request);
    void refuse(QWebEngineNavigationRequest &request);
    void loadingChanged(const QWebEngineLoadingInfo &info);
    void settle();
    void navigationTimedOut();
    void stopNavigation();
    void checkRendererAnswers();
    void showCannotBeShown(const QUrl &url, const QString &title);
    void raiseCompletion();
    void jumpCompleted();

    QWebEngineProfile *m_profile;
    QWebEngineView *m_view;
    BrowserPage *m_page = nullptr;
    BrowserTimeouts m_timeouts;
    bool m_loading = false;

    // The navigation of the last call: its address, a number that tells it from earlier ones,
    // and whether its completion is still to be raised. Loads that the page starts itself (a
    // refresh, a script's redirect) belong to it.
    QUrl m_navigated;
    // The address the pane showed when the navigation began.
    QUrl m_shownBefore;
    // The title of the control's own page now shown in the navigation's place, if any.
    QString m_problem;
    unsigned m_navigation = 0;
    bool m_awaitingCompletion = false;
    // The pane has shown a document of this navigation (the address committed).
    bool m_committed = false;
    // The watchdog stopped this navigation: the page may not move on by itself any more.
    bool m_stopped = false;
    // The navigation was started again on a fresh page, its renderer having been stuck.
    bool m_loadedAfresh = false;
    // The size of the page's file (0 when it is not a local file) and the most elements its
    // document was seen with; the reading watchdog's extensions so far, and the elements it saw.
    QElapsedTimer m_sinceUserInput;
    qint64 m_bytes = 0;
    qint64 m_elements = 0;
    int m_readingExtensions = 0;
    // Counts the loads started, so that an answer about one load is not taken for a later one.
    unsigned m_loads = 0;
    QTimer *m_watchdog = nullptr;
    // The last navigation refused; its stop is no failure of the page shown.
    QUrl m_refused;
    bool m_refusedInNavigation = false;
    // A jump within the document shown, waiting for the engine to take it.
    bool m_jumpPending = false;
    unsigned m_jump = 0;
};

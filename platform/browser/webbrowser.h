#pragma once

#include "failure.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWidget>

class BrowserPage;
struct CapturedSelection;
class LocalFileGuard;
class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineNavigationRequest;
class QWebEngineProfile;
class QWebEngineView;

// The web browser control: a Qt WebEngine view that publishes the members and events the
// program uses by dispatch identifier. Its members never throw; a failing call records a
// failure that the dispatch helper raises in the calling handler.
class WebBrowser final : public QWidget, public ControlFailures {
    Q_OBJECT
    Q_CLASSINFO("DispId(104)", "Navigate")
    Q_CLASSINFO("DispId(502)", "ExecWB")
    Q_CLASSINFO("DispId(211)", "LocationURL")
    // The control's own member, outside the identifiers of a browser control's interface.
    Q_CLASSINFO("DispId(1001)", "NavigatedURL")
    Q_CLASSINFO("EventId(104)", "DownloadComplete")
    Q_CLASSINFO("EventId(259)", "DocumentComplete")
    Q_PROPERTY(QString LocationURL READ LocationURL)
    Q_PROPERTY(QString NavigatedURL READ NavigatedURL)

public:
    // ExecWB commands and options understood by the control.
    enum Command { SelectAllCommand = 17, CopyCommand = 12 };
    enum Option { DoDefault = 0, PromptUser = 1, DontPromptUser = 2, ShowHelp = 3 };

    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // Starts loading an address and returns at once: an absolute path is loaded as that file,
    // a URL as that URL, anything else as a browser's address bar reads it.
    Q_INVOKABLE void Navigate(const QString &url);
    // Select-all (17) and copy (12). Copy returns once the clipboard holds the selection as
    // RTF, HTML and plain text.
    Q_INVOKABLE void ExecWB(int cmdId, int option);
    // The address of the page now shown; empty while blank.
    QString LocationURL() const;
    // The address given to the Navigate call that led to the page now shown, as Navigate read
    // it: a page's own redirects and refreshes do not change it. Empty before the first call.
    QString NavigatedURL() const;

    // What the copy (ExecWB 12) captures of the selection, handed to the caller instead of the
    // clipboard: true with it in selection; false with a failure recorded, as the copy's.
    // A page that stops responding meanwhile is given up, as the copy gives it up, and its
    // stopped-responding page captured instead.
    bool captureSelection(CapturedSelection &selection, bool mayGiveUp = true);

    // Why the pane shows a page of the control's own in place of the address asked for ("This
    // page stopped responding", for instance); empty while it shows the address's own page.
    QString shownProblem() const { return m_problem; }

    // The engine's view, for the window's focus chain and for tests.
    QWebEngineView *view() const { return m_view; }

    // How long a copy waits for the page before it gives up, however busy the page is.
    static constexpr int CopyTimeoutMs = 60000;
    // A navigation that has not completed within this time is stopped as a browser's Stop
    // button stops it, and what has loaded is reported complete.
    static constexpr int NavigationTimeoutMs = 30000;
    // A renderer that has not answered within this time of that stop, or that stays silent
    // this long during a select-all or a copy, is given up: the page is replaced by one
    // saying that it stopped responding.
    static constexpr int StopAnswerTimeoutMs = 5000;
    static constexpr int CommandAnswerTimeoutMs = 10000;

    struct Timeouts {
        int navigationMs = NavigationTimeoutMs;
        int stopAnswerMs = StopAnswerTimeoutMs;
        int commandAnswerMs = CommandAnswerTimeoutMs;
    };
    // The limits above, shortened by tests so that a hostile page costs seconds, not minutes.
    void setTimeouts(const Timeouts &timeouts);
    Timeouts timeouts() const { return m_timeouts; }

    // Pages are laid out at least this many CSS pixels wide, as a desktop browser window shows
    // them; a narrower pane shows them scaled down. Responsive pages would otherwise drop their
    // side columns in the small pane and the copy would lose them.
    static constexpr int MinimumLayoutWidth = 1280;

signals:
    // A load has ended, successfully or not, and the pane shows its document.
    void DownloadComplete();
    // The document now shown, an error page included, has loaded.
    void DocumentComplete(QObject *frame, const QVariant &url);
    // Every change of the loading state of the page shown, whichever page the control holds
    // (it replaces a page that stopped responding).
    void loadingStateChanged(const QWebEngineLoadingInfo &info);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    BrowserPage *createPage();
    void replacePage();
    void beginNavigation(const QUrl &address);
    void navigationRequested(QWebEngineNavigationRequest &request);
    void refuse(QWebEngineNavigationRequest &request);
    void settle();
    void navigationTimedOut();
    void checkRendererAnswers();
    void giveUp();
    bool giveUpDuringCommand();
    void loadingChanged(const QWebEngineLoadingInfo &info);
    void showCannotBeShown(const QUrl &url, const QString &title);
    void raiseCompletion();
    void jumpCompleted();
    // With mayGiveUp, a page that stays silent is replaced by its stopped-responding page, which
    // the command then takes instead.
    bool selectAll(bool mayGiveUp = true);
    bool copySelection(bool mayGiveUp = true);
    void copyFromUser();
    void watchForCopyKey(QObject *object);

    QWebEngineProfile *m_profile = nullptr;
    LocalFileGuard *m_localFileGuard = nullptr;
    BrowserPage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
    Timeouts m_timeouts;
    bool m_loading = false;

    // The navigation of the last Navigate call: its address, a number that tells it from
    // earlier ones, and whether its completion is still to be raised. Loads that the page starts
    // itself (a refresh, a script's redirect) belong to it.
    QUrl m_navigated;
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
    // Counts the loads started, so that an answer about one load is not taken for a later one.
    unsigned m_loads = 0;
    QTimer *m_watchdog = nullptr;
    // The last navigation the control refused; its stop is no failure of the page shown.
    QUrl m_refused;
    bool m_refusedInNavigation = false;
    // A jump within the document shown, waiting for the engine to take it.
    bool m_jumpPending = false;
    unsigned m_jump = 0;
};

#pragma once

#include "failure.h"
#include "navigator.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWidget>

struct CapturedSelection;
class QWebEngineLoadingInfo;
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
    QString shownProblem() const;

    // The engine's view, for the window's focus chain and for tests.
    QWebEngineView *view() const { return m_view; }

    // How long a copy waits for the page before it gives up, however busy the page is; a big
    // page is given its busy allowance on top.
    static constexpr int CopyTimeoutMs = 60000;
    static constexpr int NavigationTimeoutMs = BrowserTimeouts::NavigationMs;
    static constexpr int StopAnswerTimeoutMs = BrowserTimeouts::StopAnswerMs;
    static constexpr int CommandAnswerTimeoutMs = BrowserTimeouts::CommandAnswerMs;

    // The limits of a navigation that does not finish or a page that stops responding,
    // shortened by tests so that a hostile page costs seconds, not minutes.
    using Timeouts = BrowserTimeouts;
    void setTimeouts(const Timeouts &timeouts);
    Timeouts timeouts() const;

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
    // With mayGiveUp, a page that stays silent is replaced by its stopped-responding page, which
    // the command then takes instead.
    bool selectAll(bool mayGiveUp = true);
    bool copySelection(bool mayGiveUp = true);
    bool giveUpDuringCommand();
    // How long the renderer may stay silent during a command before the page is given up.
    int silenceMs() const;
    void copyFromUser();
    void watchForCopyKey(QObject *object);

    QWebEngineProfile *m_profile = nullptr;
    QWebEngineView *m_view = nullptr;
    Navigator *m_navigator = nullptr;
    // The last Select All succeeded and no copy has taken it yet.
    bool m_wholeSelected = false;
};

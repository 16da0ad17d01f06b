#include "webbrowser.h"

#include "clipboard.h"
#include "errorreport.h"
#include "pagecapture.h"
#include "rtfwriter.h"
#include "browseraddress.h"
#include "browserpage.h"

#include <QChildEvent>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNavigationRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <memory>

namespace {

// OLECMDERR_E_NOTSUPPORTED, the number a browser control gives for a command it does not know.
constexpr int CommandNotSupported = static_cast<int>(0x80040100u);

// Selects the whole document. Focus is taken from a text field first, so that the page's
// selection, not the field's, is the one shown and copied. The selection is set directly rather
// than through the editing command selectAll, which ends in the same selection at about one and
// a half times the cost on large pages, and which a page can cancel.
const char SelectAllScript[] = R"((function () {
    var active = document.activeElement;
    if (active && active !== document.body && typeof active.blur === 'function')
        active.blur();
    var root = document.body || document.documentElement;
    var selection = window.getSelection();
    if (!root || !selection)
        return false;
    selection.selectAllChildren(root);
    return true;
})())";

// Whether a refresh of the page is due (a <meta http-equiv="refresh">, read as the engine reads
// it: a number of seconds, maybe followed by an address): its delay in seconds, or -1.
const char RefreshDelayScript[] = R"((function () {
    var delay = -1;
    var metas = document.querySelectorAll('meta[http-equiv]');
    for (var i = 0; i < metas.length; ++i) {
        if (metas[i].httpEquiv.trim().toLowerCase() !== 'refresh')
            continue;
        var m = /^\s*(\d*)(\.[\d.]*)?/.exec(metas[i].content || '');
        if (!m || (m[1] === '' && m[2] === undefined))
            continue;
        var seconds = m[1] === '' ? 0 : parseInt(m[1], 10);
        // A refresh of the page itself moves nowhere (the control refuses it).
        var target = /[;,\s]\s*(url\s*=\s*)?['"]?([^'"]*)/i.exec(metas[i].content.substring(m[0].length));
        var address = target && target[2].trim() ? target[2].trim() : '';
        try {
            if (!address || new URL(address, document.baseURI).href.split('#')[0] ===
                                location.href.split('#')[0])
                continue;
        } catch (e) {
            continue;
        }
        if (delay < 0 || seconds < delay)
            delay = seconds;
    }
    return delay;
})())";

enum class WaitResult { Answered, TimedOut, Silent, Interrupted };

// Runs start(finish) and processes events, user input excluded, until finish is called, the
// timeout passes or the loop is ended from outside (the application quits). The engine answers
// through posted events, so the loop sleeps in between instead of spinning.
// With a page, its renderer is asked a trivial question every silenceMs while the wait lasts;
// a question left unanswered that long ends the wait as Silent: the page's script never yields.
WaitResult waitForAnswer(QObject *owner, int timeoutMs,
                         const std::function<void(std::function<void()>)> &start,
                         QWebEnginePage *page = nullptr, int silenceMs = 0)
{
    struct State {
        bool answered = false;
        bool timedOut = false;
        bool silent = false;
        bool pingAnswered = false;
        QPointer<QEventLoop> loop;
    };
    auto state = std::make_shared<State>();
    start([state] {
        state->answered = true;
        if (state->loop)
            state->loop->quit();
    });
    if (!state->answered) {
        QEventLoop loop;
        state->loop = &loop;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, [state, &loop] {
            state->timedOut = true;
            loop.quit();
        });
        timer.start(timeoutMs);
        QPointer<QWebEnginePage> pinged(page);
        const auto ping = [state, pinged] {
            state->pingAnswered = false;
            if (pinged)
                pinged->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                                      [state](const QVariant &) { state->pingAnswered = true; });
        };
        QTimer heartbeat;
        if (page) {
            QObject::connect(&heartbeat, &QTimer::timeout, &loop, [state, &loop, ping] {
                if (state->pingAnswered) {
                    ping();
                    return;
                }
                state->silent = true;
                loop.quit();
            });
            ping();
            heartbeat.start(silenceMs);
        }
        // The control can go while it waits (its window deleted by a nested handler).
        QObject::connect(owner, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (state->answered)
        return WaitResult::Answered;
    if (state->silent)
        return WaitResult::Silent;
    return state->timedOut ? WaitResult::TimedOut : WaitResult::Interrupted;
}

QString cannotBeShownPage(const QUrl &url, const QString &title)
{
    const QString what =
        url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toDisplayString();
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                          "<title>%1</title></head><body><h1>%1</h1><p>%2</p></body></html>")
        .arg(title.toHtmlEscaped(), what.toHtmlEscaped());
}

} // namespace

WebBrowser::WebBrowser(QWidget *parent) : QWidget(parent)
{
    // A profile without a storage name is off the record: cache, cookies and history stay in
    // memory and end with the control.
    m_profile = new QWebEngineProfile(this);
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_localFileGuard = new LocalFileGuard(this);
    m_profile->setUrlRequestInterceptor(m_localFileGuard);
    // Whatever the engine would download is refused; the navigation that led to it ends stopped
    // and loadingChanged shows a page in its place.
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest *download) { download->cancel(); });

    m_watchdog = new QTimer(this);
    m_watchdog->setSingleShot(true);
    connect(m_watchdog, &QTimer::timeout, this, &WebBrowser::navigationTimedOut);

    m_view = new QWebEngineView(this);
    m_page = createPage();
    m_view->setPage(m_page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_view);
    watchForCopyKey(m_view);
}

BrowserPage *WebBrowser::createPage()
{
    auto *page = new BrowserPage(m_profile, this);
    QWebEngineSettings *settings = page->settings();
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // A PDF in the viewer plugin has no document to copy: it counts as a download.
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    // Previews must not take the focus from the page list.
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    connect(page, &QWebEnginePage::loadingChanged, this, &WebBrowser::loadingChanged);
    connect(page, &QWebEnginePage::navigationRequested, this, &WebBrowser::navigationRequested);
    connect(page, &QWebEnginePage::urlChanged, this, [this] {
        if (m_awaitingCompletion)
            m_committed = true;
        if (m_jumpPending)
            jumpCompleted();
    });
    connect(page, &BrowserPage::copyRequested, this, &WebBrowser::copyFromUser);
    // A renderer that dies mid-load finishes no load, and one that dies later leaves an empty
    // pane: either way a page takes its place and reports its load.
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus)
                    showCannotBeShown(m_page->url(),
                                      QStringLiteral("This page cannot be shown any more"));
            });
    return page;
}

void WebBrowser::replacePage()
{
    // The old page goes with its renderer, which the engine ends once no page uses it; the new
    // one is made alike in the same profile and takes the old one's place in the view. Whatever
    // still waits on the old page (a copy, a script's answer) learns that it has gone.
    BrowserPage *old = m_page;
    m_page = createPage();
    m_view->setPage(m_page);
    old->disconnect(this);
    // Deleted from the event queue, never inside one of its own signals; a queued call rather
    // than deleteLater, which a wait nested deeper than the call would put off.
    QPointer<BrowserPage> doomed(old);
    QMetaObject::invokeMethod(
        this, [doomed] { delete doomed.data(); }, Qt::QueuedConnection);
    m_loading = false;
    m_jumpPending = false;
    ++m_loads;
}

WebBrowser::~WebBrowser()
{
    // The page has to go before the profile it was made with.
    delete m_view;
    delete m_page;
    delete m_profile;
}

void WebBrowser::setTimeouts(const Timeouts &timeouts)
{
    m_timeouts = timeouts;
}

QString WebBrowser::NavigatedURL() const
{
    return m_navigated.toString();
}

void WebBrowser::beginNavigation(const QUrl &address)
{
    ++m_navigation;
    m_navigated = address;
    m_problem.clear();
    m_awaitingCompletion = true;
    m_stopped = false;
    m_loadedAfresh = false;
    m_refusedInNavigation = false;
    // The same address shown already counts as shown: its load may change nothing the control
    // is told of before it ends.
    m_committed = !m_page->url().isEmpty() && BrowserAddress::same(m_page->url(), address);
    m_watchdog->start(m_timeouts.navigationMs);
}

void WebBrowser::Navigate(const QString &url)
{
    const QUrl address = BrowserAddress::resolve(url);
    if (!address.isValid()) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The address \"%1\" is not valid: %2").arg(url, address.errorString()));
        return;
    }
    const bool interrupted = m_awaitingCompletion;
    beginNavigation(address);
    // The page left behind may be stuck in a script, which would keep this navigation from the
    // pane: its renderer is asked whether it still answers.
    if (interrupted)
        checkRendererAnswers();
    // A script address runs in the page shown and loads nothing to report.
    if (address.scheme().compare(u"javascript", Qt::CaseInsensitive) == 0) {
        showCannotBeShown(address, QStringLiteral("This address cannot be shown"));
        return;
    }
    // A jump to a fragment of the document shown loads nothing and so reports nothing: the
    // control reports it once the address has changed (at the latest after a second, should
    // the engine not move at all).
    const bool withinDocument =
        !m_loading && address.hasFragment() && !m_page->url().isEmpty() &&
        address.adjusted(QUrl::RemoveFragment) == m_page->url().adjusted(QUrl::RemoveFragment);
    const bool alreadyThere = address == m_page->url();
    m_page->load(address);
    if (!withinDocument)
        return;
    if (alreadyThere) {
        raiseCompletion();
        return;
    }
    const unsigned jump = ++m_jump;
    m_jumpPending = true;
    QTimer::singleShot(1000, this, [this, jump] {
        if (m_jumpPending && jump == m_jump)
            jumpCompleted();
    });
}

void WebBrowser::jumpCompleted()
{
    m_jumpPending = false;
    raiseCompletion();
}

void WebBrowser::ExecWB(int cmdId, int option)
{
    if (option < DoDefault || option > ShowHelp) {
        fail(ErrorNumber::InvalidProcedureCall,
             QStringLiteral("Invalid procedure call or argument"));
        return;
    }
    switch (cmdId) {
    case SelectAllCommand:
        selectAll();
        return;
    case CopyCommand:
        copySelection();
        return;
    default:
        fail(CommandNotSupported,
             QStringLiteral("Method 'ExecWB' of object 'WebBrowser' failed: command %1 is not "
                            "supported")
                 .arg(cmdId));
    }
}

QString WebBrowser::LocationURL() const
{
    // A "cannot be shown" page is loaded with the address it stands for as its base, so the
    // page's address is that one too.
    return m_page->url().toString();
}

void WebBrowser::navigationRequested(QWebEngineNavigationRequest &request)
{
    if (!request.isMainFrame())
        return;
    // Navigate's own loads and the control's pages.
    if (request.navigationType() == QWebEngineNavigationRequest::TypedNavigation)
        return;
    // The page moves on by itself or by a click: to no local file that a page could not show
    // in a frame, as the page could read it there.
    // (A folder's address gains its trailing slash by such a redirect.)
    if (request.url().isLocalFile() && !BrowserAddress::same(request.url(), m_navigated) &&
        !LocalFileGuard::allows(QWebEngineUrlRequestInfo::ResourceTypeSubFrame, request.url())) {
        refuse(request);
        return;
    }
    if (request.navigationType() == QWebEngineNavigationRequest::RedirectNavigation) {
        // A refresh or a script's redirect: once the watchdog has stopped the page, it stays.
        // A loaded page that refreshes itself would only show itself again, and be torn down
        // while it is copied: it stays too.
        if (m_stopped || (!m_loading && !m_page->url().isEmpty() &&
                          BrowserAddress::same(request.url(), m_page->url())))
            refuse(request);
        return;
    }
    // The user follows a link, sends a form or goes back: a navigation of its own.
    m_stopped = false;
    m_problem.clear();
}

void WebBrowser::refuse(QWebEngineNavigationRequest &request)
{
    m_refused = request.url();
    if (m_awaitingCompletion)
        m_refusedInNavigation = true;
    request.reject();
}

void WebBrowser::loadingChanged(const QWebEngineLoadingInfo &info)
{
    emit loadingStateChanged(info);
    const bool wasLoading = m_loading;
    m_loading = info.status() == QWebEngineLoadingInfo::LoadStartedStatus;
    m_jumpPending = false;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        ++m_loads;
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        // A load reported already (its navigation refused meanwhile) is not reported again.
        if (wasLoading || m_awaitingCompletion)
            settle();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // The watchdog's own stop: it reports the navigation once the renderer answers.
        if (m_stopped && m_awaitingCompletion)
            return;
        // A navigation the control refused: the page shown stays, and is reported once.
        if (!m_refused.isEmpty() && BrowserAddress::same(info.url(), m_refused)) {
            m_refused.clear();
            if (m_awaitingCompletion)
                settle();
            return;
        }
        // A navigation that never committed (a download, an empty answer) leaves the previous
        // page in the pane, which a run would copy in its place.
        if (m_page->url().isEmpty() || !BrowserAddress::same(m_page->url(), info.url()))
            showCannotBeShown(info.url(), QStringLiteral("This file cannot be shown"));
        else
            settle();
        return;
    }
}

void WebBrowser::settle()
{
    if (!m_awaitingCompletion || m_stopped) {
        raiseCompletion();
        return;
    }
    // A page that is about to move on by itself (a refresh due before the watchdog) is not the
    // page the navigation ends with: its completion waits for the next page's load. A redirect
    // by script shows as a load started before the answer, which then counts for nothing.
    QPointer<WebBrowser> self(this);
    QPointer<QWebEnginePage> page(m_page);
    const unsigned loads = m_loads;
    const unsigned navigation = m_navigation;
    m_page->runJavaScript(
        QString::fromLatin1(RefreshDelayScript), QWebEngineScript::ApplicationWorld,
        [self, page, loads, navigation](const QVariant &delay) {
            if (!self || !page || page != self->m_page || loads != self->m_loads ||
                navigation != self->m_navigation || !self->m_awaitingCompletion)
                return;
            const int seconds = delay.isValid() ? delay.toInt() : -1;
            // A refresh that the control refused (or would refuse) leads nowhere.
            if (seconds >= 0 && !self->m_stopped && !self->m_refusedInNavigation &&
                qint64(seconds) * 1000 < self->m_timeouts.navigationMs)
                return;
            self->raiseCompletion();
        });
}

void WebBrowser::navigationTimedOut()
{
    if (!m_awaitingCompletion)
        return;
    // As a browser's Stop button: loads still running end, what has loaded stays, and the page
    // moves on no more by itself.
    m_stopped = true;
    m_page->triggerAction(QWebEnginePage::Stop);
    QPointer<WebBrowser> self(this);
    QPointer<QWebEnginePage> page(m_page);
    const unsigned navigation = m_navigation;
    auto answered = std::make_shared<bool>(false);
    // The engine also calls back, with nothing, when the page goes: that is no answer.
    m_page->runJavaScript(
        QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
        [self, page, navigation, answered](const QVariant &) {
            if (!self || !page || page != self->m_page || navigation != self->m_navigation ||
                !self->m_awaitingCompletion)
                return;
            *answered = true;
            if (self->m_committed && !page->url().isEmpty())
                self->raiseCompletion();
            else // the address never answered: the pane would show the previous page
                self->showCannotBeShown(self->m_navigated,
                                        QStringLiteral("This page did not answer in time"));
        });
    QTimer::singleShot(m_timeouts.stopAnswerMs, this, [this, page, navigation, answered] {
        if (*answered || !page || page != m_page || navigation != m_navigation ||
            !m_awaitingCompletion)
            return;
        giveUp();
    });
}

void WebBrowser::checkRendererAnswers()
{
    QPointer<QWebEnginePage> page(m_page);
    const unsigned navigation = m_navigation;
    auto answered = std::make_shared<bool>(false);
    m_page->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                          [page, answered](const QVariant &) {
                              if (page)
                                  *answered = true;
                          });
    QTimer::singleShot(m_timeouts.stopAnswerMs, this, [this, page, navigation, answered] {
        if (*answered || !page || page != m_page || navigation != m_navigation ||
            !m_awaitingCompletion || m_committed)
            return;
        giveUp();
    });
}

void WebBrowser::giveUp()
{
    // This navigation never reached the pane: the renderer that does not answer is still busy
    // with an earlier page's script. A fresh page loads the address again, once.
    if (m_awaitingCompletion && !m_committed && !m_loadedAfresh) {
        m_loadedAfresh = true;
        replacePage();
        m_stopped = false;
        m_page->load(m_navigated);
        m_watchdog->start(m_timeouts.navigationMs);
        return;
    }
    const QUrl address = m_committed && !m_page->url().isEmpty() ? m_page->url() : m_navigated;
    replacePage();
    m_stopped = true;
    m_committed = true;
    // Its load raises the completion events, for the navigation or on their own.
    showCannotBeShown(address, QStringLiteral("This page stopped responding"));
}

bool WebBrowser::giveUpDuringCommand()
{
    QPointer<WebBrowser> self(this);
    const WaitResult result =
        waitForAnswer(this, m_timeouts.commandAnswerMs, [this](std::function<void()> finish) {
            connect(
                this, &WebBrowser::DocumentComplete, this, [finish] { finish(); },
                Qt::SingleShotConnection);
            giveUp();
        });
    return self && result == WaitResult::Answered;
}

void WebBrowser::showCannotBeShown(const QUrl &url, const QString &title)
{
    m_problem = title;
    m_page->setHtml(cannotBeShownPage(url, title), url);
}

void WebBrowser::raiseCompletion()
{
    m_awaitingCompletion = false;
    m_watchdog->stop();
    // Through the event queue, so that no handler ever runs inside a call of the control.
    QMetaObject::invokeMethod(
        this, [this] { emit DownloadComplete(); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this] { emit DocumentComplete(this, LocationURL()); }, Qt::QueuedConnection);
}

bool WebBrowser::selectAll(bool mayGiveUp)
{
    // Nothing was ever loaded: there is no document and no renderer to answer.
    if (m_page->url().isEmpty())
        return true;
    // The selection is made by a script whose answer is awaited, so that a copy right after sees
    // it; the engine's own Select All goes to the renderer on another channel.
    QPointer<WebBrowser> self(this);
    QPointer<QWebEnginePage> page(m_page);
    const WaitResult result = waitForAnswer(
        this, CopyTimeoutMs,
        [page](std::function<void()> finish) {
            page->runJavaScript(QString::fromLatin1(SelectAllScript),
                                QWebEngineScript::ApplicationWorld,
                                [finish](const QVariant &) { finish(); });
        },
        m_page, m_timeouts.commandAnswerMs);
    if (!self)
        return false;
    // A page whose script never yields is given up, and its stopped-responding page selected.
    if (result == WaitResult::Silent && mayGiveUp) {
        if (giveUpDuringCommand())
            return selectAll(false);
        if (!self)
            return false;
    }
    if (result == WaitResult::TimedOut || result == WaitResult::Silent) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The page did not answer the Select All command in time"));
        return false;
    }
    return result == WaitResult::Answered;
}

bool WebBrowser::copySelection(bool mayGiveUp)
{
    CapturedSelection captured;
    if (!captureSelection(captured, mayGiveUp))
        return false;
    Clipboard::setRichText(captured.rtf, captured.html, captured.text);
    return true;
}

bool WebBrowser::captureSelection(CapturedSelection &selection, bool mayGiveUp)
{
    // Nothing was ever loaded: the selection is empty, and so is each rendering of it.
    if (m_page->url().isEmpty()) {
        selection = CapturedSelection();
        selection.ok = true;
        selection.document = std::make_shared<QTextDocument>();
        selection.rtf = RtfWriter::write(*selection.document);
        return true;
    }
    QPointer<WebBrowser> self(this);
    auto captured = std::make_shared<CapturedSelection>();
    const WaitResult result = waitForAnswer(
        this, CopyTimeoutMs,
        [this, captured](std::function<void()> finish) {
            PageCapture::captureSelection(m_page, [captured, finish](CapturedSelection selection) {
                *captured = std::move(selection);
                finish();
            });
        },
        m_page, m_timeouts.commandAnswerMs);
    if (!self || result == WaitResult::Interrupted)
        return false;
    // A page whose script never yields is given up; its stopped-responding page is copied.
    if (result == WaitResult::Silent && mayGiveUp) {
        if (giveUpDuringCommand())
            return selectAll(false) && captureSelection(selection, false);
        if (!self)
            return false;
    }
    if (result == WaitResult::TimedOut || result == WaitResult::Silent) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The page did not answer the Copy command in time"));
        return false;
    }
    if (!captured->ok || !captured->document) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The selection could not be copied: %1").arg(captured->error));
        return false;
    }
    selection = std::move(*captured);
    return true;
}

void WebBrowser::copyFromUser()
{
    QPointer<WebBrowser> self(this);
    if (copySelection() || !self)
        return;
    if (auto failure = takeFailure())
        ErrorReport::show(*failure, this);
}

void WebBrowser::watchForCopyKey(QObject *object)
{
    // The engine's widgets come and go with its renderer; each one that can take the focus has
    // to pass Ctrl+C to us rather than to the engine's own copy.
    object->installEventFilter(this);
    for (QObject *child : object->children())
        watchForCopyKey(child);
}

void WebBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const int width = event->size().width();
    // The engine zooms no further out than a quarter.
    const double zoom =
        width >= MinimumLayoutWidth ? 1.0 : std::max(0.25, double(width) / MinimumLayoutWidth);
    m_view->setZoomFactor(zoom);
}

bool WebBrowser::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        watchForCopyKey(static_cast<QChildEvent *>(event)->child());
        break;
    case QEvent::ShortcutOverride:
        // Claims the key so that it arrives as a key press rather than as a shortcut.
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            copyFromUser();
            return true;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

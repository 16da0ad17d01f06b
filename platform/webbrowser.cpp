#include "webbrowser.h"

#include "clipboard.h"
#include "errorreport.h"
#include "pagecapture.h"
#include "rtfwriter.h"
#include "webbrowser_address.h"
#include "webbrowser_page.h"

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

enum class WaitResult { Answered, TimedOut, Interrupted };

// Runs start(finish) and processes events, user input excluded, until finish is called, the
// timeout passes or the loop is ended from outside (the application quits). The engine answers
// through posted events, so the loop sleeps in between instead of spinning.
WaitResult waitForAnswer(QObject *owner, int timeoutMs,
                         const std::function<void(std::function<void()>)> &start)
{
    struct State {
        bool answered = false;
        bool timedOut = false;
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
        // The control can go while it waits (its window deleted by a nested handler).
        QObject::connect(owner, &QObject::destroyed, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (state->answered)
        return WaitResult::Answered;
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
    // Whatever the engine would download is refused; the navigation that led to it ends stopped
    // and loadingChanged shows a page in its place.
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest *download) { download->cancel(); });

    m_page = new BrowserPage(m_profile, this);
    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // A PDF in the viewer plugin has no document to copy: it counts as a download.
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    // Previews must not take the focus from the page list.
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebBrowser::loadingChanged);
    connect(m_page, &QWebEnginePage::urlChanged, this, [this] {
        if (m_jumpPending)
            jumpCompleted();
    });
    connect(m_page, &BrowserPage::copyRequested, this, &WebBrowser::copyFromUser);
    // A renderer that dies mid-load finishes no load, and one that dies later leaves an empty
    // pane: either way a page takes its place and reports its load.
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus)
                    showCannotBeShown(m_page->url(),
                                      QStringLiteral("This page cannot be shown any more"));
            });

    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_view);
    watchForCopyKey(m_view);
}

WebBrowser::~WebBrowser()
{
    // The page has to go before the profile it was made with.
    delete m_view;
    delete m_page;
    delete m_profile;
}

void WebBrowser::Navigate(const QString &url)
{
    const QUrl address = BrowserAddress::resolve(url);
    if (!address.isValid()) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The address \"%1\" is not valid: %2").arg(url, address.errorString()));
        return;
    }
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

void WebBrowser::loadingChanged(const QWebEngineLoadingInfo &info)
{
    m_loading = info.status() == QWebEngineLoadingInfo::LoadStartedStatus;
    m_jumpPending = false;
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        raiseCompletion();
        return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // A navigation that never committed (a download, an empty answer) leaves the previous
        // page in the pane, which a run would copy in its place.
        if (m_page->url().isEmpty() || !BrowserAddress::same(m_page->url(), info.url()))
            showCannotBeShown(info.url(), QStringLiteral("This file cannot be shown"));
        else
            raiseCompletion();
        return;
    }
}

void WebBrowser::showCannotBeShown(const QUrl &url, const QString &title)
{
    m_page->setHtml(cannotBeShownPage(url, title), url);
}

void WebBrowser::raiseCompletion()
{
    // Through the event queue, so that no handler ever runs inside a call of the control.
    QMetaObject::invokeMethod(
        this, [this] { emit DownloadComplete(); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this] { emit DocumentComplete(this, LocationURL()); }, Qt::QueuedConnection);
}

bool WebBrowser::selectAll()
{
    // Nothing was ever loaded: there is no document and no renderer to answer.
    if (m_page->url().isEmpty())
        return true;
    // The selection is made by a script whose answer is awaited, so that a copy right after sees
    // it; the engine's own Select All goes to the renderer on another channel.
    QPointer<WebBrowser> self(this);
    QPointer<QWebEnginePage> page(m_page);
    const WaitResult result =
        waitForAnswer(this, CopyTimeoutMs, [page](std::function<void()> finish) {
            page->runJavaScript(QString::fromLatin1(SelectAllScript),
                                QWebEngineScript::ApplicationWorld,
                                [finish](const QVariant &) { finish(); });
        });
    if (!self)
        return false;
    if (result == WaitResult::TimedOut) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The page did not answer the Select All command in time"));
        return false;
    }
    return result == WaitResult::Answered;
}

bool WebBrowser::copySelection()
{
    CapturedSelection captured;
    if (!captureSelection(captured))
        return false;
    Clipboard::setRichText(captured.rtf, captured.html, captured.text);
    return true;
}

bool WebBrowser::captureSelection(CapturedSelection &selection)
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
    const WaitResult result =
        waitForAnswer(this, CopyTimeoutMs, [this, captured](std::function<void()> finish) {
            PageCapture::captureSelection(m_page, [captured, finish](CapturedSelection selection) {
                *captured = std::move(selection);
                finish();
            });
        });
    if (!self || result == WaitResult::Interrupted)
        return false;
    if (result == WaitResult::TimedOut) {
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

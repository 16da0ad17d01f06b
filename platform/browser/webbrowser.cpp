#include "webbrowser.h"

#include "answerwait.h"
#include "browseraddress.h"
#include "browserprofile.h"
#include "clipboard.h"
#include "errorreport.h"
#include "pagecapture.h"
#include "rtfwriter.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// OLECMDERR_E_NOTSUPPORTED, the number a browser control gives for a command it does not know.
constexpr int CommandNotSupported = static_cast<int>(0x80040100u);

} // namespace

WebBrowser::WebBrowser(QWidget *parent) : QWidget(parent)
{
    m_profile = BrowserProfile::create(this);
    m_view = new QWebEngineView(this);
    m_navigator = new Navigator(m_profile, m_view, this);
    connect(m_navigator, &Navigator::downloadComplete, this, &WebBrowser::DownloadComplete);
    connect(m_navigator, &Navigator::documentComplete, this,
            [this] { emit DocumentComplete(this, LocationURL()); });
    connect(m_navigator, &Navigator::loadingStateChanged, this, &WebBrowser::loadingStateChanged);
    connect(m_navigator, &Navigator::copyRequested, this, &WebBrowser::copyFromUser);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_view);
    watchForCopyKey(m_view);
}

WebBrowser::~WebBrowser()
{
    // The pages have to go before the profile they were made with.
    delete m_view;
    delete m_navigator;
    delete m_profile;
}

void WebBrowser::setTimeouts(const Timeouts &timeouts)
{
    m_navigator->setTimeouts(timeouts);
}

WebBrowser::Timeouts WebBrowser::timeouts() const
{
    return m_navigator->timeouts();
}

QString WebBrowser::shownProblem() const
{
    return m_navigator->problem();
}

QString WebBrowser::NavigatedURL() const
{
    return m_navigator->navigated().toString();
}

QString WebBrowser::LocationURL() const
{
    // A "cannot be shown" page is loaded with the address it stands for as its base, so the
    // page's address is that one too.
    return m_navigator->page()->url().toString();
}

void WebBrowser::Navigate(const QString &url)
{
    const QUrl address = BrowserAddress::resolve(url);
    if (!address.isValid()) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The address \"%1\" is not valid: %2").arg(url, address.errorString()));
        return;
    }
    m_wholeSelected = false;
    m_navigator->navigate(address);
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

int WebBrowser::silenceMs() const
{
    // A big page's renderer may be busy with it for long stretches, and still answer.
    return m_navigator->timeouts().commandAnswerMs + m_navigator->busyAllowanceMs();
}

bool WebBrowser::giveUpDuringCommand()
{
    QPointer<WebBrowser> self(this);
    const AnswerWait::Result result = AnswerWait::wait(
        this, m_navigator->timeouts().commandAnswerMs, [this](std::function<void()> finish) {
            connect(
                m_navigator, &Navigator::documentComplete, this, [finish] { finish(); },
                Qt::SingleShotConnection);
            m_navigator->giveUp();
        });
    return self && result == AnswerWait::Result::Answered;
}

bool WebBrowser::selectAll(bool mayGiveUp)
{
    // Nothing was ever loaded: there is no document and no renderer to answer.
    if (m_navigator->page()->url().isEmpty())
        return true;
    // The selection is made by a script whose answer is awaited, so that a copy right after sees
    // it; the engine's own Select All goes to the renderer on another channel.
    QPointer<WebBrowser> self(this);
    QPointer<QWebEnginePage> page(m_navigator->page());
    QPointer<Navigator> navigator(m_navigator);
    const AnswerWait::Result result = AnswerWait::wait(
        this, CopyTimeoutMs + m_navigator->busyAllowanceMs(),
        [page, navigator](std::function<void()> finish) {
            page->runJavaScript(BrowserProfile::selectAllScript(),
                                QWebEngineScript::ApplicationWorld,
                                [navigator, finish](const QVariant &elements) {
                                    if (navigator && elements.typeId() != QMetaType::Bool)
                                        navigator->noteElements(elements.toLongLong());
                                    finish();
                                });
        },
        m_navigator->page(), silenceMs(), m_navigator->timeouts().idleAnswerMs);
    if (!self)
        return false;
    // A page whose script never yields is given up, and its stopped-responding page selected.
    if (result == AnswerWait::Result::Silent && mayGiveUp) {
        if (giveUpDuringCommand())
            return selectAll(false);
        if (!self)
            return false;
    }
    if (result == AnswerWait::Result::TimedOut || result == AnswerWait::Result::Silent) {
        fail(ErrorNumber::AutomationError,
             QStringLiteral("The page did not answer the Select All command in time"));
        return false;
    }
    // The copy that follows takes the whole document, even from a page that cancels or narrows
    // its selection as soon as it is made.
    m_wholeSelected = result == AnswerWait::Result::Answered;
    return m_wholeSelected;
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
    if (m_navigator->page()->url().isEmpty()) {
        selection = CapturedSelection();
        selection.ok = true;
        selection.document = std::make_shared<QTextDocument>();
        RtfWriteOptions copy;
        copy.forCopy = true;
        selection.rtf = RtfWriter::write(*selection.document, copy);
        return true;
    }
    QPointer<WebBrowser> self(this);
    auto captured = std::make_shared<CapturedSelection>();
    const PageCapture::Scope scope = std::exchange(m_wholeSelected, false)
                                         ? PageCapture::Scope::WholeDocument
                                         : PageCapture::Scope::Selection;
    const AnswerWait::Result result = AnswerWait::wait(
        this, CopyTimeoutMs + m_navigator->busyAllowanceMs(),
        [this, captured, scope](std::function<void()> finish) {
            PageCapture::captureSelection(
                m_navigator->page(),
                [captured, finish](CapturedSelection selection) {
                    *captured = std::move(selection);
                    finish();
                },
                scope);
        },
        m_navigator->page(), silenceMs(), m_navigator->timeouts().idleAnswerMs);
    if (!self || result == AnswerWait::Result::Interrupted)
        return false;
    // A page whose script never yields is given up; its stopped-responding page is copied.
    if (result == AnswerWait::Result::Silent && mayGiveUp) {
        if (giveUpDuringCommand())
            return selectAll(false) && captureSelection(selection, false);
        if (!self)
            return false;
    }
    if (result == AnswerWait::Result::TimedOut || result == AnswerWait::Result::Silent) {
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
        m_navigator->userActed();
        if (static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
            copyFromUser();
            return true;
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::TouchBegin:
        m_navigator->userActed();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

#include "navigator.h"

#include "browseraddress.h"
#include "browserpage.h"
#include "browserprofile.h"
#include "localfileguard.h"
#include "localfilekind.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNavigationRequest>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

namespace {

QString cannotBeShownPage(const QUrl &url, const QString &title)
{
    const QString what =
        url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toDisplayString();
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                          "<title>%1</title></head><body><h1>%1</h1><p>%2</p></body></html>")
        .arg(title.toHtmlEscaped(), what.toHtmlEscaped());
}

} // namespace

Navigator::Navigator(QWebEngineProfile *profile, QWebEngineView *view, QObject *parent)
    : QObject(parent), m_profile(profile), m_view(view)
{
    m_watchdog = new QTimer(this);
    m_watchdog->setSingleShot(true);
    connect(m_watchdog, &QTimer::timeout, this, &Navigator::navigationTimedOut);
    m_page = createPage();
    m_view->setPage(m_page);
}

Navigator::~Navigator()
{
    // The page has to go before the profile it was made with, which its owner deletes next.
    delete m_page;
}

QWebEnginePage *Navigator::page() const
{
    return m_page;
}

BrowserPage *Navigator::createPage()
{
    BrowserPage *page = BrowserProfile::newPage(m_profile, this);
    connect(page, &QWebEnginePage::loadingChanged, this, &Navigator::loadingChanged);
    connect(page, &QWebEnginePage::navigationRequested, this, &Navigator::navigationRequested);
    connect(page, &QWebEnginePage::urlChanged, this, [this] {
        if (m_awaitingCompletion)
            m_committed = true;
        if (m_jumpPending)
            jumpCompleted();
    });
    connect(page, &BrowserPage::copyRequested, this, &Navigator::copyRequested);
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

void Navigator::navigate(const QUrl &address)
{
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
    // A named pipe, a socket or a device is never handed to the engine, which would wait in it
    // for ever: only its status is looked at.
    if (address.isLocalFile() &&
        LocalFileKind::of(address.toLocalFile()) == LocalFileKind::Kind::Special) {
        showCannotBeShown(address, QStringLiteral("This file cannot be shown"));
        return;
    }
    // A jump to a fragment of the document shown loads nothing and so reports nothing: it is
    // reported once the address has changed (at the latest after a second, should the engine
    // not move at all).
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

void Navigator::replacePage()
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

void Navigator::beginNavigation(const QUrl &address)
{
    ++m_navigation;
    m_navigated = address;
    m_shownBefore = m_page->url();
    m_bytes = 0;
    m_elements = 0;
    m_readingExtensions = 0;
    if (address.isLocalFile()) {
        const QFileInfo file(address.toLocalFile());
        if (file.isFile())
            m_bytes = file.size();
    }
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

void Navigator::jumpCompleted()
{
    m_jumpPending = false;
    raiseCompletion();
}

void Navigator::navigationRequested(QWebEngineNavigationRequest &request)
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
    // Once the navigation's page has loaded, the page moves on by itself no more: a script's
    // change of address (to a download, say), a reload or a step back through the history
    // would replace what the pane shows, and a step back would bring an earlier entry's page
    // in its place. Only the user's own clicks, and the user's Back or Reload, move it on.
    const bool loaded = !m_awaitingCompletion && !m_loading && !m_page->url().isEmpty();
    switch (request.navigationType()) {
    case QWebEngineNavigationRequest::BackForwardNavigation:
    case QWebEngineNavigationRequest::ReloadNavigation:
        if (!m_page->takeUserHistoryStep()) {
            refuse(request);
            return;
        }
        break;
    case QWebEngineNavigationRequest::RedirectNavigation:
    case QWebEngineNavigationRequest::OtherNavigation:
        if (loaded) {
            refuse(request);
            return;
        }
        break;
    // A script's change of address after the load comes as a followed link too; only one that
    // follows the user's own click or key press is the user's.
    case QWebEngineNavigationRequest::LinkClickedNavigation:
    case QWebEngineNavigationRequest::FormSubmittedNavigation:
        if (loaded && (!m_sinceUserInput.isValid() ||
                       m_sinceUserInput.elapsed() > BrowserTimeouts::UserActivationMs)) {
            refuse(request);
            return;
        }
        break;
    default:
        break;
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

void Navigator::refuse(QWebEngineNavigationRequest &request)
{
    m_refused = request.url();
    if (m_awaitingCompletion)
        m_refusedInNavigation = true;
    request.reject();
}

void Navigator::loadingChanged(const QWebEngineLoadingInfo &info)
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
        // A move of the page's own that led nowhere (a download the user's click started):
        // the page it left is still shown, whole, and was reported already.
        if (!m_awaitingCompletion && !m_page->url().isEmpty())
            return;
        // The navigation's page showed, then moved on to a download as it loaded: it stays.
        if (m_awaitingCompletion && m_committed && !m_page->url().isEmpty() &&
            (BrowserAddress::same(m_page->url(), m_navigated) ||
             !BrowserAddress::same(m_page->url(), m_shownBefore))) {
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

void Navigator::settle()
{
    if (!m_awaitingCompletion || m_stopped) {
        raiseCompletion();
        return;
    }
    // A page that is about to move on by itself (a refresh due before the watchdog) is not the
    // page the navigation ends with: its completion waits for the next page's load. A redirect
    // by script shows as a load started before the answer, which then counts for nothing.
    QPointer<Navigator> self(this);
    QPointer<QWebEnginePage> page(m_page);
    const unsigned loads = m_loads;
    const unsigned navigation = m_navigation;
    m_page->runJavaScript(
        BrowserProfile::refreshDelayScript(), QWebEngineScript::ApplicationWorld,
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

int Navigator::busyAllowanceMs() const
{
    const qint64 seconds = std::max(m_bytes / BrowserTimeouts::BytesPerBusySecond,
                                    m_elements / BrowserTimeouts::ElementsPerBusySecond);
    return int(std::min<qint64>(seconds, 3600) * 1000);
}

void Navigator::navigationTimedOut()
{
    if (!m_awaitingCompletion)
        return;
    if (!m_loading || m_stopped || m_readingExtensions >= BrowserTimeouts::MaxReadingExtensions) {
        stopNavigation();
        return;
    }
    // A page still being read is no page that does not finish: while its document is loading
    // and grows from one look to the next, it is given the time again. One that does not grow
    // (a picture that never comes) is stopped; one that does not answer, given up.
    QPointer<Navigator> self(this);
    QPointer<QWebEnginePage> page(m_page);
    const unsigned navigation = m_navigation;
    auto answered = std::make_shared<bool>(false);
    m_page->runJavaScript(QStringLiteral("document.readyState === 'loading' ? "
                                         "document.getElementsByTagName('*').length : -1"),
                          QWebEngineScript::ApplicationWorld,
                          [self, page, navigation, answered](const QVariant &elements) {
                              if (!self || !page || page != self->m_page ||
                                  navigation != self->m_navigation || !self->m_awaitingCompletion ||
                                  self->m_stopped)
                                  return;
                              *answered = true;
                              const qint64 seen = elements.isValid() ? elements.toLongLong() : -1;
                              if (seen > self->m_elements) {
                                  self->m_elements = seen;
                                  ++self->m_readingExtensions;
                                  self->m_watchdog->start(self->m_timeouts.navigationMs);
                                  return;
                              }
                              self->stopNavigation();
                          });
    QTimer::singleShot(m_timeouts.stopAnswerMs + busyAllowanceMs(), this,
                       [this, page, navigation, answered] {
                           if (*answered || !page || page != m_page || navigation != m_navigation ||
                               !m_awaitingCompletion || m_stopped)
                               return;
                           giveUp();
                       });
}

void Navigator::stopNavigation()
{
    // As a browser's Stop button: loads still running end, what has loaded stays, and the page
    // moves on no more by itself.
    m_stopped = true;
    m_page->triggerAction(QWebEnginePage::Stop);
    QPointer<Navigator> self(this);
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
    QTimer::singleShot(m_timeouts.stopAnswerMs + busyAllowanceMs(), this,
                       [this, page, navigation, answered] {
                           if (*answered || !page || page != m_page || navigation != m_navigation ||
                               !m_awaitingCompletion)
                               return;
                           giveUp();
                       });
}

void Navigator::checkRendererAnswers()
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

void Navigator::giveUp()
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

void Navigator::showCannotBeShown(const QUrl &url, const QString &title)
{
    m_problem = title;
    m_page->setHtml(cannotBeShownPage(url, title), url);
}

void Navigator::raiseCompletion()
{
    m_awaitingCompletion = false;
    m_watchdog->stop();
    // Through the event queue, so that no handler ever runs inside a call of the control.
    QMetaObject::invokeMethod(
        this, [this] { emit downloadComplete(); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this] { emit documentComplete(); }, Qt::QueuedConnection);
}

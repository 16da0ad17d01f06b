#include "answerwait.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWidget>

#include <memory>

namespace AnswerWait {

namespace {

// Ends the wait once the owner's window closes: nothing waits on the answer any more, and the
// program is to end.
class WindowCloseWatch final : public QObject {
public:
    WindowCloseWatch(QObject *owner, QEventLoop *loop) : m_loop(loop)
    {
        if (auto *widget = qobject_cast<QWidget *>(owner)) {
            m_window = widget->window();
            m_window->installEventFilter(this);
        }
    }
    ~WindowCloseWatch() override
    {
        if (m_window)
            m_window->removeEventFilter(this);
    }
    bool closed() const { return m_closed; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A spontaneous hide is the window system's (the window minimised), not a close.
        if (watched == m_window && event->type() == QEvent::Hide && !event->spontaneous() &&
            !m_window->isVisible()) {
            m_closed = true;
            m_loop->quit();
        }
        return false;
    }

private:
    QEventLoop *m_loop;
    QPointer<QWidget> m_window;
    bool m_closed = false;
};

} // namespace

Result wait(QObject *owner, int timeoutMs, const std::function<void(std::function<void()>)> &start,
            QWebEnginePage *page, int silenceMs)
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
        // Or its window closes; a window shown when the wait began, for the converter's
        // browsers are never on a screen.
        WindowCloseWatch windowClose(owner, &loop);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (state->answered)
        return Result::Answered;
    if (state->silent)
        return Result::Silent;
    return state->timedOut ? Result::TimedOut : Result::Interrupted;
}

} // namespace AnswerWait

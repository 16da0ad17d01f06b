#include "answerwait.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWidget>

#include <algorithm>
#include <memory>

#include <unistd.h>

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

// The processor time a process has used so far, in milliseconds, from its status in /proc; -1
// where that cannot be read.
qint64 processorMs(qint64 pid)
{
    if (pid <= 0)
        return -1;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The command name in parentheses may hold spaces: the fields are counted after it.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // utime and stime, fields 14 and 15 of the whole line, in clock ticks
    if (fields.size() < 13)
        return -1;
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (ticks <= 0)
        return -1;
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / ticks;
}

// Watches the renderer while a question to it is unanswered: stuck once it has stayed silent
// for idleMs, over two looks at least, and used less than a tenth of that time on the processor.
// Two looks, so that a question answered while this program itself was busy (its answer waiting
// in the event queue) is not taken for silence.
class IdleWatch {
public:
    IdleWatch(QWebEnginePage *page, int idleMs) : m_page(page), m_idleMs(idleMs) {}
    void asked()
    {
        m_since.start();
        m_looks = 0;
        m_cpuAtAsking = m_page ? processorMs(m_page->renderProcessPid()) : -1;
    }
    bool stuck()
    {
        ++m_looks;
        if (!m_page || m_cpuAtAsking < 0 || m_looks < 2 || m_since.elapsed() < m_idleMs)
            return false;
        const qint64 cpu = processorMs(m_page->renderProcessPid());
        return cpu >= 0 && (cpu - m_cpuAtAsking) * 10 < m_since.elapsed();
    }

private:
    QPointer<QWebEnginePage> m_page;
    int m_idleMs;
    QElapsedTimer m_since;
    int m_looks = 0;
    qint64 m_cpuAtAsking = -1;
};

} // namespace

Result wait(QObject *owner, int timeoutMs, const std::function<void(std::function<void()>)> &start,
            QWebEnginePage *page, int silenceMs, int idleMs)
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
        auto idle = std::make_shared<IdleWatch>(page, idleMs);
        const auto ping = [state, pinged, idle] {
            state->pingAnswered = false;
            idle->asked();
            if (pinged)
                pinged->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                                      [state](const QVariant &) { state->pingAnswered = true; });
        };
        QTimer heartbeat;
        QTimer idleLook;
        if (page && idleMs > 0) {
            QObject::connect(&idleLook, &QTimer::timeout, &loop, [state, &loop, idle] {
                if (state->pingAnswered || !idle->stuck())
                    return;
                state->silent = true;
                loop.quit();
            });
            idleLook.start(std::max(100, idleMs / 4));
        }
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

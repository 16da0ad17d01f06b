#include "answerwait.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <memory>

namespace AnswerWait {

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
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (state->answered)
        return Result::Answered;
    if (state->silent)
        return Result::Silent;
    return state->timedOut ? Result::TimedOut : Result::Interrupted;
}

} // namespace AnswerWait

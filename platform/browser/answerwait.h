#pragma once

#include <functional>

class QObject;
class QWebEnginePage;

// Waiting, with the events of everything but the user processed meanwhile, for an answer of the
// engine that comes through posted events.
namespace AnswerWait {

enum class Result { Answered, TimedOut, Silent, Interrupted };

// Runs start(finish) and processes events, user input excluded, until finish is called, the
// timeout passes or the loop is ended from outside (the application quits, owner goes or its
// window closes). The loop sleeps between events instead of spinning.
// With a page, its renderer is asked a trivial question every silenceMs while the wait lasts;
// a question left unanswered that long ends the wait as Silent: the page's script never yields.
// With idleMs too, a question left unanswered for idleMs while the renderer's process has used
// next to no processor time ends the wait as Silent as well: the renderer is stuck, not busy.
Result wait(QObject *owner, int timeoutMs, const std::function<void(std::function<void()>)> &start,
            QWebEnginePage *page = nullptr, int silenceMs = 0, int idleMs = 0);

} // namespace AnswerWait

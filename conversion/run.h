#pragma once

#include <QPointer>
#include <QString>

class LoadPendingFlag;
class QWidget;

// The concatenation run, started by the click of Command1: every entry of the page list, in
// order, rendered in the viewer, copied as rich text and appended to the result document.
class ConcatenationRun final {
public:
    void concatenate(QWidget &form, LoadPendingFlag &flag);

private:
    // How often a page is loaded again when the viewer shows another one after the wait.
    static constexpr int MaxReloads = 3;

    // Whether the run must end: the window has gone or closed, or a newer run has started.
    bool mustStop(const QPointer<QWidget> &form, const LoadPendingFlag &flag, unsigned run) const;
    // Loads the entry's page and waits for it; false when the run must end.
    bool load(QPointer<QWidget> &form, LoadPendingFlag &flag, unsigned run, const QString &text);

    // Runs started so far; a run that finds a newer one started inside its wait stops.
    unsigned m_started = 0;
};

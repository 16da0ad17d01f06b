#pragma once

class LoadPendingFlag;
class QWidget;

// The concatenation run, started by the click of Command1: every entry of the page list, in
// order, rendered in the viewer, copied as rich text and appended to the result document.
class ConcatenationRun final {
public:
    void concatenate(QWidget &form, LoadPendingFlag &flag);

private:
    // Runs started so far; a run that finds a newer one started inside its wait stops.
    unsigned m_started = 0;
};

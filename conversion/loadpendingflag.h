#pragma once

#include <QVariant>

// The window's load-pending flag: empty until the first run, then 1 while a run waits for a
// navigation and 0 once some navigation of the viewer has reported completion. It carries no
// identity of the navigation that set or cleared it.
class LoadPendingFlag final {
public:
    bool isEmpty() const { return !m_value.isValid(); }
    bool isPending() const { return m_value.isValid() && m_value.toInt() == 1; }
    void setPending() { m_value = QVariant::fromValue<qint16>(1); }
    void setComplete() { m_value = QVariant::fromValue<qint16>(0); }
    QVariant value() const { return m_value; }

    // The window that owns the flag has closed: nothing can complete any more, so any wait on the
    // flag ends.
    void windowClosed() { m_windowClosed = true; }
    bool isWindowClosed() const { return m_windowClosed; }

private:
    QVariant m_value;
    bool m_windowClosed = false;
};

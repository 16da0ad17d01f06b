#pragma once

#include "loadpendingflag.h"
#include "run.h"

#include <QWidget>

// The program's one window, with its controls placed as the layout table says and their events
// routed to the handlers of the routing table.
class Form1 final : public QWidget {
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    const LoadPendingFlag &loadPendingFlag() const { return m_loadPending; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void nameControls();
    void routeEvents();

    LoadPendingFlag m_loadPending;
    ConcatenationRun m_run;
    bool m_shownBefore = false;
};

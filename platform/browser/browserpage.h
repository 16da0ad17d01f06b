#pragma once

#include <QWebEnginePage>

// The browser control's page: a page's scripts run as in a browser but can never stall the
// program. Dialogs are answered at once and never shown, pop-up windows and file pickers are
// refused, a script's window.close() closes nothing, and the Copy action (context menu) is handed
// to the control.
class BrowserPage final : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserPage(QWebEngineProfile *profile, QObject *parent);

    void triggerAction(WebAction action, bool checked = false) override;

    // Whether the user asked for a step through the history or a reload (the context menu's
    // Back, Forward or Reload) since this was last asked; asking forgets it. A page's script can
    // ask the same (history.back(), location.reload()), but not through here.
    bool takeUserHistoryStep();

signals:
    void copyRequested();

private:
    bool m_userHistoryStep = false;

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg,
                          const QString &defaultValue, QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;
};

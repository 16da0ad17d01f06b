#pragma once

#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

// The browser control's page: a page's scripts run as in a browser but can never stall the
// program. Dialogs are answered at once and never shown, pop-up windows and file pickers are
// refused, and the Copy action (context menu) is handed to the control.
class BrowserPage final : public QWebEnginePage {
    Q_OBJECT
public:
    BrowserPage(QWebEngineProfile *profile, QObject *parent);

    void triggerAction(WebAction action, bool checked = false) override;

signals:
    void copyRequested();

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

// Keeps a page's scripts from reading local files, as a desktop browser does: a page shown from
// a file still loads the images, stylesheets, scripts, fonts and media beside it, but requests
// that hand a file's content to a script (XMLHttpRequest, fetch, workers and the like) are
// refused. A frame may show a local web page or picture; any other local file (a text file, a
// configuration file) is refused there, as the page's script could read it out of the frame.
class LocalFileGuard final : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    // Whether a page's request of this type for this local file loads.
    static bool allows(QWebEngineUrlRequestInfo::ResourceType type, const QUrl &file);
};

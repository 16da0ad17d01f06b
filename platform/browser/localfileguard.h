#pragma once

#include <QWebEngineUrlRequestInterceptor>

// Keeps a page's scripts from reading local files, as a desktop browser does: a page shown from
// a file still loads the images, stylesheets, scripts, fonts and media beside it, but requests
// that hand a file's content to a script (XMLHttpRequest, fetch, workers and the like) are
// refused. A frame may show a local web page or picture; any other local file (a text file, a
// configuration file) is refused there, as the page's script could read it out of the frame.
// Nothing is ever read from a named pipe, a socket or a device.
class LocalFileGuard final : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    // Whether a page's request of this type for this local file loads.
    static bool allows(QWebEngineUrlRequestInfo::ResourceType type, const QUrl &file);
};

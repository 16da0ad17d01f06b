#pragma once

#include "failure.h"

#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWidget>

class BrowserPage;
struct CapturedSelection;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

// The web browser control: a Qt WebEngine view that publishes the members and events the
// program uses by dispatch identifier. Its members never throw; a failing call records a
// failure that the dispatch helper raises in the calling handler.
class WebBrowser final : public QWidget, public ControlFailures {
    Q_OBJECT
    Q_CLASSINFO("DispId(104)", "Navigate")
    Q_CLASSINFO("DispId(502)", "ExecWB")
    Q_CLASSINFO("DispId(211)", "LocationURL")
    Q_CLASSINFO("EventId(104)", "DownloadComplete")
    Q_CLASSINFO("EventId(259)", "DocumentComplete")
    Q_PROPERTY(QString LocationURL READ LocationURL)

public:
    // ExecWB commands and options understood by the control.
    enum Command { SelectAllCommand = 17, CopyCommand = 12 };
    enum Option { DoDefault = 0, PromptUser = 1, DontPromptUser = 2, ShowHelp = 3 };

    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // Starts loading an address and returns at once: an absolute path is loaded as that file,
    // a URL as that URL, anything else as a browser's address bar reads it.
    Q_INVOKABLE void Navigate(const QString &url);
    // Select-all (17) and copy (12). Copy returns once the clipboard holds the selection as
    // RTF, HTML and plain text.
    Q_INVOKABLE void ExecWB(int cmdId, int option);
    // The address of the page now shown; empty while blank.
    QString LocationURL() const;

    // What the copy (ExecWB 12) captures of the selection, handed to the caller instead of the
    // clipboard: true with it in selection; false with a failure recorded, as the copy's.
    bool captureSelection(CapturedSelection &selection);

    // The engine's view, for the window's focus chain and for tests.
    QWebEngineView *view() const { return m_view; }

    // How long a copy waits for the page before it gives up.
    static constexpr int CopyTimeoutMs = 60000;
    // Pages are laid out at least this many CSS pixels wide, as a desktop browser window shows
    // them; a narrower pane shows them scaled down. Responsive pages would otherwise drop their
    // side columns in the small pane and the copy would lose them.
    static constexpr int MinimumLayoutWidth = 1280;

signals:
    // A load has ended, successfully or not, and the pane shows its document.
    void DownloadComplete();
    // The document now shown, an error page included, has loaded.
    void DocumentComplete(QObject *frame, const QVariant &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void loadingChanged(const QWebEngineLoadingInfo &info);
    void showCannotBeShown(const QUrl &url, const QString &title);
    void raiseCompletion();
    void jumpCompleted();
    bool selectAll();
    bool copySelection();
    void copyFromUser();
    void watchForCopyKey(QObject *object);

    QWebEngineProfile *m_profile = nullptr;
    BrowserPage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
    bool m_loading = false;
    // A jump within the document shown, waiting for the engine to take it.
    bool m_jumpPending = false;
    unsigned m_jump = 0;
};

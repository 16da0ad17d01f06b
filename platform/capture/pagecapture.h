#pragma once

#include <QByteArray>
#include <QString>
#include <QTextDocument>

#include <functional>
#include <memory>

class QWebEnginePage;

// The rich text of a page's selection, as the browser shows it.
struct CapturedSelection {
    bool ok = false;
    QString error;                           // why the capture failed, when !ok
    std::shared_ptr<QTextDocument> document; // formatted content, images as resources
    QByteArray rtf;                          // the document as RTF
    QString html;                            // the selection as HTML
    QString text;                            // the selection as plain text
    int parts = 0; // how many parts the page described the selection in (restarts included)
};

// Builds rich text from the rendered page, not from its source: a script in its own world
// walks the selected nodes with their computed styles and reports what is visible.
class PageCapture final {
public:
    // Captures the page's current selection and calls done once, later, on the UI thread.
    // done gets ok == false with an error when the page goes away, its renderer ends, the
    // script fails or the page leaves one of its questions unanswered for ScriptTimeoutMs.
    // With WholeDocument the whole document shown is captured, as a Select All selects it,
    // whatever the page has since done to its selection (cancelled it, narrowed it, or replaced
    // the document it was in).
    enum class Scope { Selection, WholeDocument };
    static void captureSelection(QWebEnginePage *page, std::function<void(CapturedSelection)> done,
                                 Scope scope = Scope::Selection);

    static constexpr int ScriptTimeoutMs = 120000;
};

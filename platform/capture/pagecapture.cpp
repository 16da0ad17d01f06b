#include "pagecapture.h"

#include "capturedocumentbuilder.h"
#include "captureimages.h"
#include "captureprotocol.h"
#include "rtfwriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <deque>

static void initCaptureResources()
{
    // The script lives in a static library's resources, which the linker would otherwise drop.
    Q_INIT_RESOURCE(pagecapture);
}

namespace {

QString resourceScript(const QString &name)
{
    initCaptureResources();
    QFile file(QStringLiteral(":/folvane/capture/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// The walk of the selection, which describes it.
const QString &captureScript()
{
    static const QString script = resourceScript(QStringLiteral("pagecapture.js"));
    return script;
}

// Defines the function that gives the walked selection as HTML and text; it goes before the
// walk's script.
const QString &markupScript()
{
    static const QString script = resourceScript(QStringLiteral("pagecapture_markup.js"));
    return script;
}

// Asks for the walked selection as HTML and text, once the last part of a walk in several parts
// is in.
const QString &markupCallScript()
{
    static const QString script = QStringLiteral(
        "(function () { const markup = globalThis.folvaneCaptureMarkup; return markup ? markup() "
        ": 'the page was left during the copy'; })()");
    return script;
}

// Asks the capture script for the next part of its walk.
const QString &nextPartScript()
{
    static const QString script = QStringLiteral(
        "(function () { const step = globalThis.folvaneCaptureStep; return step ? step() : "
        "JSON.stringify({error: 'the page was left during the copy'}); })()");
    return script;
}

// Holds one capture until done has been called; every path that ends it goes through finish().
//
// The page describes the selection in parts, and the program builds the document from each part
// while the page walks the next; once the last part is in, the page makes the selection's HTML
// and text while the program writes the RTF. So the two processes work at the same time.
class CaptureJob final : public QObject {
public:
    CaptureJob(QWebEnginePage *page, std::function<void(CapturedSelection)> done,
               PageCapture::Scope scope)
        : QObject(QCoreApplication::instance()), m_page(page), m_done(std::move(done)),
          m_scope(scope)
    {}

    void start()
    {
        if (!m_page) {
            fail(QStringLiteral("no page to copy from"));
            return;
        }
        if (captureScript().isEmpty() || markupScript().isEmpty()) {
            fail(QStringLiteral("the capture script is missing from the program's resources"));
            return;
        }
        connect(m_page, &QObject::destroyed, this, [this] {
            if (waitingForPage())
                fail(QStringLiteral("the page was closed during the copy"));
        });
        connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [this] {
            if (waitingForPage())
                fail(QStringLiteral("the page's renderer ended during the copy"));
        });
        // Each answer of the page starts the time again: a big page answers in many parts, and
        // takes long over all of them.
        m_answerTimer.setSingleShot(true);
        connect(&m_answerTimer, &QTimer::timeout, this, [this] {
            if (waitingForPage())
                fail(QStringLiteral("the page did not answer the copy in time"));
        });
        m_answerTimer.start(PageCapture::ScriptTimeoutMs);
        restartDocument();
        m_clock.start();
        m_partPending = true;
        // The script's world keeps its globals from one run to the next: the scope is set anew.
        const QString scope = m_scope == PageCapture::Scope::WholeDocument
                                  ? QStringLiteral("globalThis.folvaneCaptureWhole = true;\n")
                                  : QStringLiteral("globalThis.folvaneCaptureWhole = false;\n");
        const QString script = scope + markupScript() + QLatin1Char('\n') + captureScript();
        runScript(profiling() ? QStringLiteral("var folvaneCaptureProfile = 1;\n") + script
                              : script,
                  &CaptureJob::partDone);
    }

private:
    // One part of the description, waiting for its pictures or for the parts before it.
    struct PendingPart {
        int sequence = 0;
        CaptureDocumentBuilder::Part part;
        QList<QByteArray> images;
        bool ready = false; // its pictures are in
        bool last = false;
    };

    // FOLVANE_CAPTURE_PROFILE=1 prints where a capture's time goes.
    static bool profiling()
    {
        static const bool on = qEnvironmentVariableIntValue("FOLVANE_CAPTURE_PROFILE") != 0;
        return on;
    }

    void lap(const char *stage)
    {
        if (profiling())
            qInfo("capture %s: %.1f ms", stage, double(m_clock.nsecsElapsed()) / 1e6);
        m_clock.restart();
    }

    bool waitingForPage() const { return m_partPending || m_markupPending; }

    void runScript(const QString &script, void (CaptureJob::*answered)(const QVariant &))
    {
        QPointer<CaptureJob> self(this);
        m_answerTimer.start(PageCapture::ScriptTimeoutMs);
        m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                              [self, answered](const QVariant &result) {
                                  if (self)
                                      (self->*answered)(result);
                              });
    }

    // A new, empty document; parts built into the one before, and any still waiting, are
    // dropped.
    void restartDocument()
    {
        ++m_generation;
        m_parts.clear();
        m_builder.reset();
        m_document = std::make_shared<QTextDocument>();
        m_document->setUndoRedoEnabled(false);
        m_builder = std::make_unique<CaptureDocumentBuilder>(m_document.get());
    }

    void partDone(const QVariant &result)
    {
        lap("script");
        if (m_finished || !m_partPending)
            return;
        m_partPending = false;
        // a part, or [part, the selection's HTML and text] when the walk went at one go
        QVariant markup;
        QString json;
        if (result.typeId() == QMetaType::QString) {
            json = result.toString();
        } else if (const QVariantList both = result.toList();
                   both.size() == 2 && both[0].typeId() == QMetaType::QString) {
            json = both[0].toString();
            markup = both[1];
        } else {
            fail(QStringLiteral("the capture script gave no result"));
            return;
        }
        if (!m_page) {
            fail(QStringLiteral("the page was closed during the copy"));
            return;
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            fail(QStringLiteral("the capture script gave an unreadable result: %1")
                     .arg(error.errorString()));
            return;
        }
        const QJsonObject part = document.object();
        if (part.contains(CaptureProtocol::Part::Error)) {
            fail(QStringLiteral("the capture script failed: %1")
                     .arg(part.value(CaptureProtocol::Part::Error).toString()));
            return;
        }
        const bool last = part.value(CaptureProtocol::Part::Last).toInt() != 0;
        // The page walks on, or makes the HTML and text, while this part is built.
        if (last && markup.isValid()) {
            m_markupPending = true;
            markupDone(markup);
            if (m_finished)
                return;
        } else if (last) {
            m_markupPending = true;
            m_markupClock.start();
            runScript(markupCallScript(), &CaptureJob::markupDone);
        } else {
            m_partPending = true;
            runScript(nextPartScript(), &CaptureJob::partDone);
        }
        lap("parse");
        if (profiling()) {
            const QJsonObject prof = part.value(CaptureProtocol::Part::Profile).toObject();
            for (auto it = prof.begin(); it != prof.end(); ++it)
                qInfo("  script %s: %.1f ms", qPrintable(it.key()), it.value().toDouble());
            qInfo("  part %lld chars", static_cast<long long>(json.size()));
        }
        if (part.value(CaptureProtocol::Part::Restart).toInt() != 0)
            restartDocument();

        const int sequence = ++m_partsReceived;
        m_parts.push_back(PendingPart{sequence, m_builder->prepare(part), {}, false, last});
        lap("prepare");
        auto *fetcher = new CaptureImageFetcher(this);
        const int generation = m_generation;
        fetcher->fetch(m_parts.back().part.images,
                       [this, fetcher, generation, sequence](QList<QByteArray> images) {
                           fetcher->deleteLater();
                           if (generation != m_generation)
                               return; // the document it was for was dropped
                           for (PendingPart &pending : m_parts) {
                               if (pending.sequence == sequence) {
                                   pending.images = std::move(images);
                                   pending.ready = true;
                               }
                           }
                           buildReadyParts();
                       });
    }

    // Builds the parts whose pictures are in, in order; after the last one, writes the RTF.
    void buildReadyParts()
    {
        while (!m_finished && !m_parts.empty() && m_parts.front().ready) {
            const PendingPart pending = std::move(m_parts.front());
            m_parts.pop_front();
            m_builder->build(pending.part, pending.images);
            lap("build");
            if (pending.last) {
                m_builder->finish();
                m_builder.reset();
                // The copy carries every place of the page and every link's address, so that
                // the document it is read into can still send links between its pages.
                RtfWriteOptions copy;
                copy.forCopy = true;
                m_result.rtf = RtfWriter::write(*m_document, copy);
                m_result.document = std::move(m_document);
                lap("write");
                m_documentDone = true;
                finishWhenComplete();
            }
        }
    }

    void markupDone(const QVariant &result)
    {
        if (m_finished || !m_markupPending)
            return;
        m_markupPending = false;
        if (result.typeId() == QMetaType::QString) {
            fail(QStringLiteral("the selection's HTML could not be made: %1")
                     .arg(result.toString()));
            return;
        }
        const QVariantList parts = result.toList();
        if (parts.size() != 2) {
            fail(QStringLiteral("the page gave no HTML and text for the selection"));
            return;
        }
        m_result.html = parts[0].toString();
        m_result.text = parts[1].toString();
        if (profiling())
            qInfo("capture markup in (document %s): %.1f ms after it was asked for",
                  m_documentDone ? "already built" : "pending",
                  m_markupClock.isValid() ? double(m_markupClock.nsecsElapsed()) / 1e6 : 0.0);
        m_markupDone = true;
        finishWhenComplete();
    }

    void finishWhenComplete()
    {
        if (!m_documentDone || !m_markupDone)
            return;
        m_result.ok = true;
        m_result.parts = m_partsReceived;
        finish();
    }

    void fail(const QString &why)
    {
        if (m_finished)
            return;
        m_result = CapturedSelection();
        m_result.error = why;
        finish();
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        // Called from the event loop, never from inside captureSelection or a signal of the page.
        QTimer::singleShot(0, QCoreApplication::instance(),
                           [done = std::move(m_done), result = std::move(m_result)]() mutable {
                               done(std::move(result));
                           });
        deleteLater();
    }

    QPointer<QWebEnginePage> m_page;
    QTimer m_answerTimer;
    QElapsedTimer m_clock;
    QElapsedTimer m_markupClock; // from the call for the HTML and text to their answer
    std::function<void(CapturedSelection)> m_done;
    PageCapture::Scope m_scope;
    CapturedSelection m_result;
    std::shared_ptr<QTextDocument> m_document;
    std::unique_ptr<CaptureDocumentBuilder> m_builder;
    std::deque<PendingPart> m_parts;
    int m_partsReceived = 0;
    int m_generation = 0; // counts the documents begun, so that late pictures find theirs gone
    bool m_partPending = false;
    bool m_markupPending = false;
    bool m_documentDone = false;
    bool m_markupDone = false;
    bool m_finished = false;
};

} // namespace

void PageCapture::captureSelection(QWebEnginePage *page,
                                   std::function<void(CapturedSelection)> done, Scope scope)
{
    auto *job = new CaptureJob(page, std::move(done), scope);
    job->start();
}

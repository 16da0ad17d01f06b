#include "pagecapture.h"

#include "pagecapture_builder.h"
#include "pagecapture_images.h"
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

// The walked selection as HTML and text, asked for once the description is in.
const QString &markupScript()
{
    static const QString script = resourceScript(QStringLiteral("pagecapture_markup.js"));
    return script;
}

// Holds one capture until done has been called; every path that ends it goes through finish().
//
// The page answers twice: first the description of the selection, then its HTML and text. The
// program builds the document and writes its RTF while the page makes the second answer, so
// the two processes work at the same time.
class CaptureJob final : public QObject {
public:
    CaptureJob(QWebEnginePage *page, std::function<void(CapturedSelection)> done)
        : QObject(QCoreApplication::instance()), m_page(page), m_done(std::move(done))
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
        QTimer::singleShot(PageCapture::ScriptTimeoutMs, this, [this] {
            if (waitingForPage())
                fail(QStringLiteral("the page did not answer the copy in time"));
        });
        m_clock.start();
        m_descriptionPending = true;
        runScript(profiling() ? QStringLiteral("var folvaneCaptureProfile = 1;\n") + captureScript()
                              : captureScript(),
                  &CaptureJob::descriptionDone);
    }

private:
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

    bool waitingForPage() const { return m_descriptionPending || m_markupPending; }

    void runScript(const QString &script, void (CaptureJob::*answered)(const QVariant &))
    {
        QPointer<CaptureJob> self(this);
        m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                              [self, answered](const QVariant &result) {
                                  if (self)
                                      (self->*answered)(result);
                              });
    }

    void descriptionDone(const QVariant &result)
    {
        lap("script");
        if (m_finished || !m_descriptionPending)
            return;
        m_descriptionPending = false;
        if (result.typeId() != QMetaType::QString) {
            fail(QStringLiteral("the capture script gave no result"));
            return;
        }
        if (!m_page) {
            fail(QStringLiteral("the page was closed during the copy"));
            return;
        }
        // The page makes the HTML and text while the document is built here.
        m_markupPending = true;
        runScript(markupScript(), &CaptureJob::markupDone);
        const QString descriptionJson = result.toString();
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(descriptionJson.toUtf8(), &error);
        if (error.error != QJsonParseError::NoError || !json.isObject()) {
            fail(QStringLiteral("the capture script gave an unreadable result: %1")
                     .arg(error.errorString()));
            return;
        }
        const QJsonObject description = json.object();
        lap("parse");
        if (profiling()) {
            const QJsonObject prof = description.value(QLatin1String("prof")).toObject();
            for (auto it = prof.begin(); it != prof.end(); ++it)
                qInfo("  script %s: %.1f ms", qPrintable(it.key()), it.value().toDouble());
            qInfo("  description %lld chars", static_cast<long long>(descriptionJson.size()));
        }
        if (description.contains(QLatin1String("error"))) {
            fail(QStringLiteral("the capture script failed: %1")
                     .arg(description.value(QLatin1String("error")).toString()));
            return;
        }
        m_builder = std::make_unique<CaptureDocumentBuilder>(description);
        lap("prepare");
        auto *fetcher = new CaptureImageFetcher(this);
        fetcher->fetch(m_builder->imageRequests(), [this](QList<QByteArray> images) {
            lap("images");
            auto document = std::make_shared<QTextDocument>();
            document->setUndoRedoEnabled(false);
            m_builder->build(document.get(), images);
            m_builder.reset();
            lap("build");
            m_result.rtf = RtfWriter::write(*document);
            m_result.document = std::move(document);
            lap("write");
            m_documentDone = true;
            finishWhenComplete();
        });
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
            qInfo("capture markup in (document %s)", m_documentDone ? "already built" : "pending");
        m_markupDone = true;
        finishWhenComplete();
    }

    void finishWhenComplete()
    {
        if (!m_documentDone || !m_markupDone)
            return;
        m_result.ok = true;
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
    QElapsedTimer m_clock;
    std::function<void(CapturedSelection)> m_done;
    CapturedSelection m_result;
    std::unique_ptr<CaptureDocumentBuilder> m_builder;
    bool m_descriptionPending = false;
    bool m_markupPending = false;
    bool m_documentDone = false;
    bool m_markupDone = false;
    bool m_finished = false;
};

} // namespace

void PageCapture::captureSelection(QWebEnginePage *page,
                                   std::function<void(CapturedSelection)> done)
{
    auto *job = new CaptureJob(page, std::move(done));
    job->start();
}

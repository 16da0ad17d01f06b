#include "pagecapture.h"

#include "pagecapture_builder.h"
#include "pagecapture_images.h"

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

const QString &captureScript()
{
    static const QString script = [] {
        initCaptureResources();
        QFile file(QStringLiteral(":/folvane/capture/pagecapture.js"));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(file.readAll());
    }();
    return script;
}

// Holds one capture until done has been called; every path that ends it goes through finish().
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
        const QString &script = captureScript();
        if (script.isEmpty()) {
            fail(QStringLiteral("the capture script is missing from the program's resources"));
            return;
        }
        connect(m_page, &QObject::destroyed, this, [this] {
            if (!m_fetching)
                fail(QStringLiteral("the page was closed during the copy"));
        });
        connect(m_page, &QWebEnginePage::renderProcessTerminated, this, [this] {
            if (!m_fetching)
                fail(QStringLiteral("the page's renderer ended during the copy"));
        });
        QTimer::singleShot(PageCapture::ScriptTimeoutMs, this, [this] {
            if (!m_fetching)
                fail(QStringLiteral("the page did not answer the copy in time"));
        });
        QPointer<CaptureJob> self(this);
        m_clock.start();
        m_page->runJavaScript(
            profiling() ? QStringLiteral("var folvaneCaptureProfile = 1;\n") + script : script,
            QWebEngineScript::ApplicationWorld, [self](const QVariant &result) {
                if (self)
                    self->scriptDone(result);
            });
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

    void scriptDone(const QVariant &result)
    {
        lap("script");
        if (m_finished || m_fetching)
            return;
        // [description, html, text], or a description holding the error alone
        QString descriptionJson;
        if (result.typeId() == QMetaType::QString) {
            descriptionJson = result.toString();
        } else if (const QVariantList parts = result.toList(); parts.size() == 3) {
            descriptionJson = parts[0].toString();
            m_result.html = parts[1].toString();
            m_result.text = parts[2].toString();
        } else {
            fail(QStringLiteral("the capture script gave no result"));
            return;
        }
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
        m_fetching = true;
        auto *fetcher = new CaptureImageFetcher(this);
        fetcher->fetch(m_builder->imageRequests(), [this](QList<QByteArray> images) {
            lap("images");
            auto document = std::make_shared<QTextDocument>();
            document->setUndoRedoEnabled(false);
            m_builder->build(document.get(), images);
            lap("build");
            m_result.document = std::move(document);
            m_result.ok = true;
            finish();
        });
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
    bool m_fetching = false;
    bool m_finished = false;
};

} // namespace

void PageCapture::captureSelection(QWebEnginePage *page,
                                   std::function<void(CapturedSelection)> done)
{
    auto *job = new CaptureJob(page, std::move(done));
    job->start();
}

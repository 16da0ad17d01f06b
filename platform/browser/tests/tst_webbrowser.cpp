#include "answerwait.h"
#include "browseraddress.h"
#include "dispatch.h"
#include "failure.h"
#include "hostileserver.h"
#include "webbrowser.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <memory>

#include <csignal>
#include <sys/types.h>

namespace {

constexpr int LoadTimeoutMs = 30000;

QString dataPage(const char *name)
{
    return QFINDTESTDATA(QStringLiteral("data/") + QLatin1String(name));
}

// The text of the page the control shows, as the engine reads it.
QString pageText(WebBrowser &browser)
{
    auto text = std::make_shared<std::optional<QString>>();
    browser.view()->page()->toPlainText([text](const QString &t) { *text = t; });
    (void)QTest::qWaitFor([text] { return text->has_value(); }, LoadTimeoutMs);
    return text->value_or(QStringLiteral("<no answer>"));
}

QString hostilePage(const char *name)
{
    return QFINDTESTDATA(QStringLiteral("data/hostile/") + QLatin1String(name));
}

// Limits short enough that each hostile page costs a few seconds; long enough that a busy
// machine's renderer still answers a page that is well.
const WebBrowser::Timeouts ShortTimeouts{8000, 3000, 6000};

QVariant evaluate(WebBrowser &browser, const QString &script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    browser.view()->page()->runJavaScript(script, [result](const QVariant &v) { *result = v; });
    (void)QTest::qWaitFor([result] { return result->has_value(); }, LoadTimeoutMs);
    return result->value_or(QVariant());
}

// Navigates and waits for the document to be complete.
bool load(WebBrowser &browser, const QString &address)
{
    QSignalSpy complete(&browser, &WebBrowser::DocumentComplete);
    browser.Navigate(address);
    return complete.wait(LoadTimeoutMs);
}

QStringList clipboardFormats()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data ? data->formats() : QStringList();
}

QByteArray clipboardData(const QString &type)
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data ? data->data(type) : QByteArray();
}

// The renderings of the clipboard, together.
QString clipboardRenderings()
{
    return QString::fromUtf8(clipboardData(QStringLiteral("text/rtf"))) +
           QString::fromUtf8(clipboardData(QStringLiteral("text/html"))) +
           QGuiApplication::clipboard()->text();
}

// Answers each request by its path: /empty with 204 No Content, /secret with 401 asking for a
// password, /archive with a file to save, anything else with a small page.
class TinyHttpServer final : public QTcpServer {
public:
    TinyHttpServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] { answer(socket); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QString url(const char *path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path));
    }

private:
    static void answer(QTcpSocket *socket)
    {
        const QByteArray request = socket->readAll();
        const QByteArray path = request.split(' ').value(1);
        QByteArray head, body;
        if (path == "/empty") {
            head = "HTTP/1.1 204 No Content\r\n";
        } else if (path == "/secret") {
            body = "<html><body>401 page body: access denied</body></html>";
            head = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n"
                   "Content-Type: text/html\r\n";
        } else if (path == "/archive") {
            body = QByteArray(300, 'z');
            head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                   "Content-Disposition: attachment; filename=\"data.bin\"\r\n";
        } else {
            body = "<html><body>served page</body></html>";
            head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
        }
        socket->write(head + "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }
};

} // namespace

class TestWebBrowser : public QObject {
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase();
    void startsBlankAndOffTheRecord();
    void resolvesAddresses_data();
    void resolvesAddresses();
    void laysOutAtDesktopWidth_data();
    void laysOutAtDesktopWidth();
    void showsEachKindOfEntry_data();
    void showsEachKindOfEntry();
    void aJumpWithinThePageCompletes();
    void everyAddressCompletes_data();
    void everyAddressCompletes();
    void scriptDialogsAreAnsweredSilently();
    void popupsAreRefused();
    void aPageThatAsksBeforeLeavingIsLeft();
    void aRendererThatDiesIsReplaced();
    void aStuckRendererEndsTheWaitEarly();
    void selectAllThenCopyFillsEveryRendering();
    void userCopyTakesTheSelection_data();
    void userCopyTakesTheSelection();
    void copyOfABlankPaneIsEmpty();
    void failingCallsAreRecorded_data();
    void failingCallsAreRecorded();
    void deletingTheControlEndsACopy();
    void hostilePagesComplete_data();
    void hostilePagesComplete();
    void aPageThatHangsInACommandIsGivenUp_data();
    void aPageThatHangsInACommandIsGivenUp();
    void pageScriptsReadNoLocalFiles();
    void aPageAfterAStuckOneIsShown();

private:
    QTemporaryDir m_dir;
    quint16 m_closedPort = 0;
    TinyHttpServer m_server;
    HostileServer m_hostile;
};

void TestWebBrowser::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(!dataPage("page.html").isEmpty());

    // A port that was free a moment ago: connecting to it is refused.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    m_closedPort = server.serverPort();
    server.close();
    QVERIFY(m_server.listen(QHostAddress::LocalHost));

    QDir dir(m_dir.path());
    QVERIFY(dir.mkpath(QStringLiteral("folder")));
    QFile inside(dir.filePath(QStringLiteral("folder/inside-the-folder.txt")));
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.write("x");
    inside.close();

    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(dir.filePath(QStringLiteral("picture.png"))));

    // A zip archive: the engine would download it rather than show it.
    QFile archive(dir.filePath(QStringLiteral("archive.zip")));
    QVERIFY(archive.open(QIODevice::WriteOnly));
    archive.write(QByteArray("PK\x03\x04", 4) + QByteArray(200, '\0'));
    archive.close();
}

void TestWebBrowser::startsBlankAndOffTheRecord()
{
    WebBrowser browser;
    QVERIFY(browser.LocationURL().isEmpty());
    QVERIFY(browser.view()->page()->url().isEmpty());
    QVERIFY(browser.view()->page()->profile()->isOffTheRecord());
    QVERIFY(!browser.view()->page()->settings()->testAttribute(
        QWebEngineSettings::FocusOnNavigationEnabled));
}

void TestWebBrowser::resolvesAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QUrl>("expected");

    QTest::newRow("absolute path")
        << "/tmp/some page.htm" << QUrl::fromLocalFile(QStringLiteral("/tmp/some page.htm"));
    QTest::newRow("path with spaces around")
        << "  /tmp/a.html " << QUrl::fromLocalFile(QStringLiteral("/tmp/a.html"));
    QTest::newRow("http url") << "http://example.org/a?b=c#d"
                              << QUrl(QStringLiteral("http://example.org/a?b=c#d"));
    QTest::newRow("file url") << "file:///tmp/x.html" << QUrl(QStringLiteral("file:///tmp/x.html"));
    QTest::newRow("about") << "about:blank" << QUrl(QStringLiteral("about:blank"));
    QTest::newRow("data url") << "data:text/html,<p>hi</p>"
                              << QUrl(QStringLiteral("data:text/html,<p>hi</p>"));
    QTest::newRow("host name") << "example.org" << QUrl(QStringLiteral("http://example.org"));
    QTest::newRow("host and port")
        << "localhost:8080" << QUrl(QStringLiteral("http://localhost:8080"));
    QTest::newRow("empty") << "" << QUrl(QStringLiteral("about:blank"));
}

void TestWebBrowser::resolvesAddresses()
{
    QFETCH(QString, address);
    QFETCH(QUrl, expected);
    QCOMPARE(BrowserAddress::resolve(address), expected);
}

void TestWebBrowser::laysOutAtDesktopWidth_data()
{
    QTest::addColumn<int>("paneWidth");
    QTest::addColumn<int>("minimumLayoutWidth");

    QTest::newRow("the window's pane") << 641 << WebBrowser::MinimumLayoutWidth;
    QTest::newRow("a wide pane") << 1500 << 1500;
}

// A responsive page keeps its desktop layout (and so its side columns) in the small pane, from
// one navigation to the next.
void TestWebBrowser::laysOutAtDesktopWidth()
{
    QFETCH(int, paneWidth);
    QFETCH(int, minimumLayoutWidth);

    WebBrowser browser;
    browser.resize(paneWidth, 73);
    browser.show();
    for (const char *page : {"page.html", "previous.html"}) {
        QVERIFY(load(browser, dataPage(page)));
        const int layoutWidth = evaluate(browser, QStringLiteral("window.innerWidth")).toInt();
        QVERIFY2(layoutWidth >= minimumLayoutWidth && layoutWidth <= minimumLayoutWidth + 4,
                 qPrintable(QString::number(layoutWidth)));
    }
}

void TestWebBrowser::showsEachKindOfEntry_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("script"); // empty: the page's text is checked
    QTest::addColumn<QString>("expected");

    const QDir dir(m_dir.path());
    QTest::newRow("html page") << dataPage("page.html") << QString()
                               << QStringLiteral("Second paragraph");
    QTest::newRow("folder") << dir.filePath(QStringLiteral("folder")) << QString()
                            << QStringLiteral("inside-the-folder.txt");
    QTest::newRow("text file") << dataPage("notes.txt") << QString()
                               << QStringLiteral("Line two of the notes.");
    QTest::newRow("image") << dir.filePath(QStringLiteral("picture.png"))
                           << QStringLiteral("document.images.length + 'x' + "
                                             "(document.images[0] || {}).naturalWidth")
                           << QStringLiteral("1x40");
    QTest::newRow("missing file") << dir.filePath(QStringLiteral("no-such-page.html")) << QString()
                                  << QStringLiteral("ERR_FILE_NOT_FOUND");
    QTest::newRow("unreachable address") << QStringLiteral("http://127.0.0.1:%1/").arg(m_closedPort)
                                         << QString() << QStringLiteral("ERR_CONNECTION_REFUSED");
    QTest::newRow("file to download") << dir.filePath(QStringLiteral("archive.zip")) << QString()
                                      << QStringLiteral("This file cannot be shown");
    QTest::newRow("served page") << m_server.url("/page") << QString()
                                 << QStringLiteral("served page");
    QTest::newRow("served download")
        << m_server.url("/archive") << QString() << QStringLiteral("This file cannot be shown");
    QTest::newRow("answer without content")
        << m_server.url("/empty") << QString() << QStringLiteral("cannot be shown");
    QTest::newRow("password asked")
        << m_server.url("/secret") << QString() << QStringLiteral("access denied");
}

// Every kind of entry replaces the previous page, and its load is reported once, through the
// event queue, DownloadComplete first.
void TestWebBrowser::showsEachKindOfEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, script);
    QFETCH(QString, expected);

    WebBrowser browser;
    browser.resize(600, 400);
    browser.show();
    QVERIFY(load(browser, dataPage("previous.html")));
    QVERIFY(pageText(browser).contains(QLatin1String("PREVIOUS-PAGE-MARKER")));
    QTest::qWait(200); // nothing of the previous load may still be under way

    QStringList notifications;
    connect(&browser, &WebBrowser::DownloadComplete, this,
            [&] { notifications << QStringLiteral("DownloadComplete"); });
    connect(&browser, &WebBrowser::DocumentComplete, this,
            [&] { notifications << QStringLiteral("DocumentComplete"); });
    browser.Navigate(entry);
    QVERIFY2(notifications.isEmpty(), "a notification came from inside Navigate");
    QTRY_VERIFY_WITH_TIMEOUT(notifications.contains(QLatin1String("DocumentComplete")),
                             LoadTimeoutMs);
    QTest::qWait(500);
    QCOMPARE(notifications,
             QStringList({QStringLiteral("DownloadComplete"), QStringLiteral("DocumentComplete")}));

    const QString text = pageText(browser);
    QVERIFY2(!text.contains(QLatin1String("PREVIOUS-PAGE-MARKER")), qPrintable(text));
    if (script.isEmpty())
        QVERIFY2(text.contains(expected), qPrintable(text));
    else
        QCOMPARE(evaluate(browser, script).toString(), expected);
    QVERIFY2(BrowserAddress::same(QUrl(browser.LocationURL()), BrowserAddress::resolve(entry)),
             qPrintable(browser.LocationURL()));
}

// Navigating to a fragment of the page shown loads no document, yet a run waits for the
// notifications all the same.
void TestWebBrowser::aJumpWithinThePageCompletes()
{
    WebBrowser browser;
    browser.show();
    QVERIFY(load(browser, dataPage("page.html")));
    QSignalSpy downloads(&browser, &WebBrowser::DownloadComplete);
    QVERIFY(load(browser, QUrl::fromLocalFile(dataPage("page.html")).toString() +
                              QStringLiteral("#second")));
    QCOMPARE(downloads.count(), 1);
    QVERIFY(browser.LocationURL().endsWith(QLatin1String("page.html#second")));
    // The same jump once more: the engine does not move, the notifications still come.
    QVERIFY(load(browser, browser.LocationURL()));
    QCOMPARE(downloads.count(), 2);
}

void TestWebBrowser::everyAddressCompletes_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("script address") << "javascript:void(document.body.textContent='changed')";
    QTest::newRow("mail address") << "mailto:someone@example.org";
    QTest::newRow("unknown scheme") << "unknownscheme://thing";
    QTest::newRow("about page") << "about:nothing-here";
    QTest::newRow("source view") << "view-source:" +
                                        QUrl::fromLocalFile(dataPage("page.html")).toString();
    QTest::newRow("engine page") << "chrome://version";
    QTest::newRow("bad host name") << "http://exa mple..org/";
}

// Whatever the address, the previous page goes and the load is reported: a run waits for it.
void TestWebBrowser::everyAddressCompletes()
{
    QFETCH(QString, address);
    WebBrowser browser;
    browser.show();
    QVERIFY(load(browser, dataPage("previous.html")));
    QSignalSpy complete(&browser, &WebBrowser::DocumentComplete);
    browser.Navigate(address);
    if (auto failure = browser.takeFailure())
        QVERIFY(complete.isEmpty()); // refused at once: nothing to wait for
    else
        QVERIFY(complete.wait(10000));
    QVERIFY(!pageText(browser).contains(QLatin1String("PREVIOUS-PAGE-MARKER")));
}

void TestWebBrowser::scriptDialogsAreAnsweredSilently()
{
    WebBrowser browser;
    browser.show();
    const QWidgetList before = QApplication::topLevelWidgets();
    QVERIFY(load(browser, dataPage("dialogs.html")));
    QCOMPARE(pageText(browser).trimmed(),
             QStringLiteral("dialogs answered: confirm=false prompt=null"));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(QApplication::topLevelWidgets().size(), before.size());
}

void TestWebBrowser::popupsAreRefused()
{
    WebBrowser browser;
    browser.show();
    const QWidgetList before = QApplication::topLevelWidgets();
    QVERIFY(load(browser, dataPage("popup.html")));
    QCOMPARE(pageText(browser).trimmed(), QStringLiteral("popup result: refused"));
    QCOMPARE(QApplication::topLevelWidgets().size(), before.size());
    QVERIFY(BrowserAddress::same(QUrl(browser.LocationURL()),
                                 QUrl::fromLocalFile(dataPage("popup.html"))));
}

// Once the user has clicked in it, a page with a beforeunload handler makes the engine ask
// whether to leave it; the answer has to be yes, or the next page never comes.
void TestWebBrowser::aPageThatAsksBeforeLeavingIsLeft()
{
    WebBrowser browser;
    browser.resize(600, 400);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QVERIFY(load(browser, dataPage("beforeunload.html")));
    QTRY_VERIFY(browser.view()->focusProxy());
    QTest::mouseClick(browser.view()->focusProxy(), Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QTest::qWait(300);

    QVERIFY(load(browser, dataPage("page.html")));
    QVERIFY(pageText(browser).contains(QLatin1String("Heading of the page")));
    QVERIFY(!QApplication::activeModalWidget());
}

// A page whose renderer ends is not left on screen as if it were a page: the pane says it
// cannot be shown, the load is reported, and the next navigation works.
void TestWebBrowser::aRendererThatDiesIsReplaced()
{
    WebBrowser browser;
    browser.show();
    QVERIFY(load(browser, dataPage("page.html")));
    const qint64 pid = browser.view()->page()->renderProcessPid();
    QVERIFY(pid > 0);

    QSignalSpy complete(&browser, &WebBrowser::DocumentComplete);
    QVERIFY(::kill(pid_t(pid), SIGKILL) == 0);
    QVERIFY(complete.wait(LoadTimeoutMs));
    QVERIFY(pageText(browser).contains(QLatin1String("cannot be shown")));

    QVERIFY(load(browser, dataPage("previous.html")));
    QVERIFY(pageText(browser).contains(QLatin1String("PREVIOUS-PAGE-MARKER")));
}

// A renderer that is stopped answers nothing and uses no processor time: a wait that watches for
// that ends as silent long before its limits of an hour, and one that does not watch for it keeps
// waiting until its own end.
void TestWebBrowser::aStuckRendererEndsTheWaitEarly()
{
    WebBrowser browser;
    browser.show();
    QVERIFY(load(browser, dataPage("page.html")));
    QWebEnginePage *page = browser.view()->page();
    const qint64 pid = page->renderProcessPid();
    QVERIFY(pid > 0);
    const auto ask = [page](std::function<void()> finish) {
        page->runJavaScript(QStringLiteral("1"), QWebEngineScript::ApplicationWorld,
                            [finish](const QVariant &) { finish(); });
    };
    constexpr int Hour = 3600 * 1000;

    QCOMPARE(AnswerWait::wait(&browser, Hour, ask, page, Hour), AnswerWait::Result::Answered);
    QVERIFY(::kill(pid_t(pid), SIGSTOP) == 0);
    const AnswerWait::Result watched = AnswerWait::wait(&browser, Hour, ask, page, Hour, 500);
    const AnswerWait::Result unwatched = AnswerWait::wait(&browser, 1500, ask, page, Hour, 0);
    QVERIFY(::kill(pid_t(pid), SIGCONT) == 0);
    QCOMPARE(watched, AnswerWait::Result::Silent);
    QCOMPARE(unwatched, AnswerWait::Result::TimedOut);
    // going on, it answers again
    QCOMPARE(AnswerWait::wait(&browser, Hour, ask, page, Hour), AnswerWait::Result::Answered);
}

// The page selects one word while loading; select-all right before the copy has to win.
void TestWebBrowser::selectAllThenCopyFillsEveryRendering()
{
    WebBrowser browser;
    browser.resize(600, 400);
    browser.show();
    QVERIFY(load(browser, dataPage("preselected.html")));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale clipboard"));

    Dispatch::call(&browser, 502, {17, 2});
    Dispatch::call(&browser, 502, {12, 2});

    const QStringList formats = clipboardFormats();
    for (const char *type : {"text/rtf", "application/rtf", "text/html", "text/plain"})
        QVERIFY2(formats.contains(QLatin1String(type)), type);
    const QByteArray rtf = clipboardData(QStringLiteral("text/rtf"));
    QVERIFY2(rtf.startsWith("{\\rtf1"), rtf.left(60).constData());
    QCOMPARE(clipboardData(QStringLiteral("application/rtf")), rtf);
    QVERIFY(rtf.contains("Alpha paragraph") && rtf.contains("Gamma paragraph"));
    const QString text = QGuiApplication::clipboard()->text();
    QVERIFY2(text.contains(QLatin1String("Alpha paragraph")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("Gamma paragraph")), qPrintable(text));
    QVERIFY(QString::fromUtf8(clipboardData(QStringLiteral("text/html")))
                .contains(QLatin1String("ONLYTHIS")));
}

void TestWebBrowser::userCopyTakesTheSelection_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Ctrl+C") << true;
    QTest::newRow("context menu Copy") << false;
}

// Ctrl+C and the context menu copy what the user selected, in the same three renderings.
void TestWebBrowser::userCopyTakesTheSelection()
{
    QFETCH(bool, byKey);
    WebBrowser browser;
    browser.resize(600, 400);
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    QVERIFY(load(browser, dataPage("preselected.html")));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale clipboard"));

    if (byKey) {
        QWidget *target = browser.view()->focusProxy();
        QVERIFY(target);
        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
    } else {
        browser.view()->page()->action(QWebEnginePage::Copy)->trigger();
    }

    QCOMPARE(QGuiApplication::clipboard()->text().trimmed(), QStringLiteral("ONLYTHIS"));
    const QByteArray rtf = clipboardData(QStringLiteral("text/rtf"));
    QVERIFY2(rtf.contains("ONLYTHIS") && !rtf.contains("Alpha"), rtf.constData());
    QCOMPARE(clipboardData(QStringLiteral("application/rtf")), rtf);
    QVERIFY(clipboardFormats().contains(QLatin1String("text/html")));
}

void TestWebBrowser::copyOfABlankPaneIsEmpty()
{
    WebBrowser browser;
    QGuiApplication::clipboard()->setText(QStringLiteral("stale clipboard"));
    Dispatch::call(&browser, 502, {17, 2});
    Dispatch::call(&browser, 502, {12, 2});
    QVERIFY(clipboardData(QStringLiteral("text/rtf")).startsWith("{\\rtf1"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
}

void TestWebBrowser::failingCallsAreRecorded_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("option");
    QTest::addColumn<int>("number");

    QTest::newRow("unknown command") << 99 << 2 << int(0x80040100u);
    QTest::newRow("print is not offered") << 6 << 2 << int(0x80040100u);
    QTest::newRow("unknown option") << 12 << 9 << int(ErrorNumber::InvalidProcedureCall);
}

// A failing call reaches the caller as a failure, once, and the control goes on working.
void TestWebBrowser::failingCallsAreRecorded()
{
    QFETCH(int, command);
    QFETCH(int, option);
    QFETCH(int, number);

    WebBrowser browser;
    try {
        Dispatch::call(&browser, 502, {command, option});
        QFAIL("no failure raised");
    } catch (const FailureException &e) {
        QCOMPARE(e.failure().number, number);
        QVERIFY(!e.failure().description.isEmpty());
    }
    QVERIFY(!browser.takeFailure());
    QVERIFY(load(browser, dataPage("page.html")));
    Dispatch::call(&browser, 502, {17, 2});
}

void TestWebBrowser::deletingTheControlEndsACopy()
{
    auto *browser = new WebBrowser;
    browser->show();
    QVERIFY(load(*browser, dataPage("page.html")));
    QPointer<WebBrowser> watched(browser);
    QTimer::singleShot(0, browser, [browser] { delete browser; });
    QElapsedTimer clock;
    clock.start();
    browser->ExecWB(12, 2);
    QVERIFY(!watched);
    QVERIFY(clock.elapsed() < WebBrowser::CopyTimeoutMs / 2);
}

// Every hostile page completes once, with the page that the browser ends up showing (or the
// page saying that it stopped responding), which a copy then takes; an ordinary page after it
// loads as usual. Navigate is also how the preview shows an entry.
void TestWebBrowser::hostilePagesComplete_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("absent");
    QTest::addColumn<QString>("location");

    const QString endless = hostilePage("endless.html");
    QTest::newRow("endless script") << endless << "This page stopped responding"
                                    << "Never reached" << endless;
    // The server's port is known once the test object exists: "http:" stands for it here.
    QTest::newRow("resource that never answers") << "http:/stalled"
                                                 << "Heading Stalled" << QString() << "/stalled";
    QTest::newRow("address that never answers")
        << "http:/never"
        << "This page did not answer in time" << QString() << "/never";
    QTest::newRow("self refresh") << hostilePage("selfrefresh.html") << "Heading Selfsame"
                                  << QString() << "selfrefresh.html";
    QTest::newRow("meta refresh to another page")
        << hostilePage("metarefresh.html") << "Heading Arrived"
        << "Heading Moving"
        << "metatarget.html";
    QTest::newRow("location.replace") << hostilePage("replace.html") << "Heading Replaced"
                                      << "Heading Replacing"
                                      << "replacetarget.html";
    // Still coming when the navigation's time is up, and growing: it is read to its end.
    QTest::newRow("page still being read") << "http:/trickling"
                                           << "Trickle end" << QString() << "/trickling";
    QTest::newRow("http redirect") << "http:/redirect"
                                   << "Heading Redirected" << QString() << "/redirected";
    QTest::newRow("redirect to a local file") << hostilePage("tofile.html") << "Heading Tofile"
                                              << "FolvaneSiblingSecret"
                                              << "tofile.html";
    QTest::newRow("refresh to a local file")
        << hostilePage("refreshtofile.html") << "Heading Refreshtofile"
        << "FolvaneSiblingSecret"
        << "refreshtofile.html";
}

void TestWebBrowser::hostilePagesComplete()
{
    QFETCH(QString, address);
    QFETCH(QString, shown);
    QFETCH(QString, absent);
    QFETCH(QString, location);
    if (address.startsWith(QLatin1String("http:/")))
        address = m_hostile.url(address.mid(5).toLatin1().constData());

    WebBrowser browser;
    browser.setTimeouts(ShortTimeouts);
    browser.resize(600, 400);
    browser.show();
    QSignalSpy download(&browser, &WebBrowser::DownloadComplete);
    QSignalSpy complete(&browser, &WebBrowser::DocumentComplete);
    browser.Navigate(address);
    QVERIFY(complete.wait(LoadTimeoutMs * 2));
    // What the pane holds at the moment of completion is what a run copies.
    const QString text = evaluate(browser, QStringLiteral("document.body.innerText")).toString();
    QVERIFY2(text.contains(shown), qPrintable(text));
    if (!absent.isEmpty())
        QVERIFY2(!text.contains(absent), qPrintable(text));
    QVERIFY2(browser.LocationURL().endsWith(location), qPrintable(browser.LocationURL()));
    QVERIFY(BrowserAddress::same(QUrl(browser.NavigatedURL()), BrowserAddress::resolve(address)));
    QCOMPARE(download.count(), 1);

    Dispatch::call(&browser, 502, {17, 2});
    Dispatch::call(&browser, 502, {12, 2});
    QVERIFY(!browser.takeFailure());
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.contains(shown), qPrintable(copied));
    if (!absent.isEmpty())
        QVERIFY2(!clipboardRenderings().contains(absent), qPrintable(copied));
    // The picture that never came is copied as its alt text.
    if (address.endsWith(QLatin1String("/stalled")))
        QVERIFY(clipboardData(QStringLiteral("text/rtf")).contains("AltNeverLoaded"));
    // Nothing more was reported for this navigation, the copy included.
    QCOMPARE(complete.count(), 1);

    QVERIFY(load(browser, dataPage("page.html")));
    QVERIFY(pageText(browser).contains(QLatin1String("Heading of the page")));
}

void TestWebBrowser::aPageThatHangsInACommandIsGivenUp_data()
{
    QTest::addColumn<bool>("userCopy");
    QTest::newRow("copy by the program") << false;
    QTest::newRow("copy by the user") << true;
}

// The page's script stops its renderer once the page is selected: the copy gives the renderer
// up, and copies the page saying that it stopped responding, which the pane then shows.
void TestWebBrowser::aPageThatHangsInACommandIsGivenUp()
{
    QFETCH(bool, userCopy);
    WebBrowser browser;
    browser.setTimeouts(ShortTimeouts);
    browser.resize(600, 400);
    browser.show();
    QVERIFY(load(browser, hostilePage("commandhang.html")));
    QGuiApplication::clipboard()->setText(QStringLiteral("stale clipboard"));
    QSignalSpy complete(&browser, &WebBrowser::DocumentComplete);

    Dispatch::call(&browser, 502, {17, 2});
    if (userCopy)
        browser.view()->page()->triggerAction(QWebEnginePage::Copy);
    else
        Dispatch::call(&browser, 502, {12, 2});
    QVERIFY(!browser.takeFailure());
    QVERIFY(!QApplication::activeModalWidget());
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.contains(QLatin1String("This page stopped responding")), qPrintable(copied));
    QVERIFY2(copied.contains(QLatin1String("commandhang.html")), qPrintable(copied));
    QVERIFY(pageText(browser).contains(QLatin1String("This page stopped responding")));
    QVERIFY(complete.count() >= 1 || complete.wait(LoadTimeoutMs));

    QVERIFY(load(browser, dataPage("page.html")));
    QVERIFY(pageText(browser).contains(QLatin1String("Heading of the page")));
}

// The page tries to read a file beside it and one elsewhere, by XMLHttpRequest, fetch and a
// frame: each attempt fails, and nothing of either file reaches the pane or the clipboard,
// while the picture and the stylesheet beside the page still show and the copy keeps the
// picture.
void TestWebBrowser::pageScriptsReadNoLocalFiles()
{
    WebBrowser browser;
    browser.resize(600, 400);
    browser.show();
    QVERIFY(load(browser, hostilePage("reader.html")));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return evaluate(browser, QStringLiteral("document.getElementById('out').dataset.done"))
                       .toInt() == 5;
        },
        LoadTimeoutMs));
    const QString text = pageText(browser);
    for (const char *attempt : {"xhr-sibling:failed", "xhr-absolute:failed", "fetch-sibling:failed",
                                "fetch-absolute:failed", "frame:failed"})
        QVERIFY2(text.contains(QLatin1String(attempt)), qPrintable(text));
    QVERIFY(evaluate(browser, QStringLiteral("document.getElementById('picture').naturalWidth"))
                .toInt() == 16);
    QCOMPARE(
        evaluate(browser, QStringLiteral("getComputedStyle(document.querySelector('h1')).color"))
            .toString(),
        QStringLiteral("rgb(0, 128, 0)"));

    Dispatch::call(&browser, 502, {17, 2});
    Dispatch::call(&browser, 502, {12, 2});
    QVERIFY(!browser.takeFailure());
    const QString copied = clipboardRenderings();
    QVERIFY2(copied.contains(QLatin1String("Heading Reader")), qPrintable(copied));
    QVERIFY(!copied.contains(QLatin1String("FolvaneSiblingSecret")));
    QVERIFY(!copied.contains(QLatin1String("root:")));
    QVERIFY(clipboardData(QStringLiteral("text/rtf")).contains("\\pict"));
}

// The user moves on from a page whose script never yields before the watchdog gives it up: the
// next page is shown, not taken for the one that stopped responding.
void TestWebBrowser::aPageAfterAStuckOneIsShown()
{
    WebBrowser browser;
    browser.setTimeouts(ShortTimeouts);
    browser.resize(600, 400);
    browser.show();
    // The page's title comes right before its script.
    browser.Navigate(hostilePage("endless.html"));
    QVERIFY(QTest::qWaitFor([&] { return browser.view()->page()->title() == "Endless"; },
                            LoadTimeoutMs));
    QVERIFY(load(browser, dataPage("page.html")));
    const QString text = evaluate(browser, QStringLiteral("document.body.innerText")).toString();
    QVERIFY2(text.contains(QLatin1String("Heading of the page")), qPrintable(text));
    QVERIFY(browser.LocationURL().endsWith(QLatin1String("page.html")));
}

QTEST_MAIN(TestWebBrowser)
#include "tst_webbrowser.moc"

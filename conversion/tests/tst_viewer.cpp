#include "clipboard.h"
#include "controls.h"
#include "dispatch.h"
#include "errorreport.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "viewer.h"
#include "webbrowser.h"

#include <QCloseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <ctime>

namespace {

constexpr int LoadTimeoutMs = 30000;

QString entry(const char *name)
{
    return QFINDTESTDATA(QStringLiteral("data/viewer/") + QLatin1String(name));
}

double threadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A window with the two controls the viewer works with, routed as the program routes them.
class Window final : public QWidget {
public:
    Window()
    {
        auto *list = new ListBox(this);
        list->setObjectName(QStringLiteral("List1"));
        list->setGeometry(0, 0, 400, 150);
        auto *browser = new WebBrowser(this);
        browser->setObjectName(QStringLiteral("WebBrowser1"));
        browser->setGeometry(0, 160, 400, 200);
        resize(400, 360);

        connect(list, &ListBox::mouseDown, this, [this](int, int shift, int, int) {
            ErrorReport::guard([&] { Viewer::preview(*this, shift); }, this);
        });
        Dispatch::connectEvent(browser, Viewer::DownloadCompleteId, this,
                               [this] { Viewer::downloadComplete(flag); });
        Dispatch::connectEvent(browser, Viewer::DocumentCompleteId, this,
                               [this] { Viewer::documentComplete(flag); });
    }

    ListBox &list() { return control<ListBox>(*this, "List1"); }
    WebBrowser &browser() { return control<WebBrowser>(*this, "WebBrowser1"); }

    // Presses a mouse button on an entry of the list, as the user does.
    void press(int row, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QRect rect = list().visualItemRect(list().item(row));
        QTest::mousePress(list().viewport(), button, modifiers, rect.center());
        QTest::mouseRelease(list().viewport(), button, modifiers, rect.center());
    }

    LoadPendingFlag flag;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        flag.windowClosed();
        event->accept();
    }
};

} // namespace

class TestViewer : public QObject {
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase();
    void preview_data();
    void preview();
    void previewWithoutCurrentEntry_data();
    void previewWithoutCurrentEntry();
    void waitEndsWithTheFirstNotification();
    void previewBeforeARunDoesNotEndItsWait();
    void waitEndsWhenTheWindowCloses();
    void waitSleepsWhileNothingHappens();
    void showsComparesAsNavigateResolves_data();
    void showsComparesAsNavigateResolves();
    void selectAllThenCopyLeavesRtf();
};

void TestViewer::initTestCase()
{
    for (const char *name : {"one.html", "two.html", "three.html"})
        QVERIFY2(!entry(name).isEmpty(), name);
}

void TestViewer::preview_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("showsNewEntry");

    QTest::newRow("plain press") << int(Qt::LeftButton) << int(Qt::NoModifier) << true;
    QTest::newRow("right button") << int(Qt::RightButton) << int(Qt::NoModifier) << true;
    QTest::newRow("Ctrl held") << int(Qt::LeftButton) << int(Qt::ControlModifier) << false;
    QTest::newRow("Shift held") << int(Qt::LeftButton) << int(Qt::ShiftModifier) << false;
    QTest::newRow("Alt held") << int(Qt::LeftButton) << int(Qt::AltModifier) << false;
}

// A press on the second entry while the first is shown.
void TestViewer::preview()
{
    QFETCH(int, button);
    QFETCH(int, modifiers);
    QFETCH(bool, showsNewEntry);

    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const char *name : {"one.html", "two.html", "three.html"})
        window.list().addItem(entry(name));

    QSignalSpy complete(&window.browser(), &WebBrowser::DocumentComplete);
    window.press(0);
    QVERIFY(complete.wait(LoadTimeoutMs));
    QVERIFY(Viewer::shows(window, entry("one.html")));
    QVERIFY(window.flag.value().isValid()); // the preview's notifications reached the handlers
    QTest::qWait(200);
    complete.clear();

    QSignalSpy downloads(&window.browser(), &WebBrowser::DownloadComplete);
    window.press(1, Qt::MouseButton(button), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(window.list().currentRow(), 1); // the list took the press
    if (showsNewEntry) {
        QVERIFY(complete.wait(LoadTimeoutMs));
        QVERIFY(Viewer::shows(window, entry("two.html")));
    } else {
        QVERIFY(!complete.wait(1000));
        QCOMPARE(downloads.count(), 0);
        QVERIFY(Viewer::shows(window, entry("one.html")));
    }
}

void TestViewer::previewWithoutCurrentEntry_data()
{
    QTest::addColumn<bool>("withEntries");
    QTest::newRow("empty list") << false;
    QTest::newRow("no current entry") << true;
}

void TestViewer::previewWithoutCurrentEntry()
{
    QFETCH(bool, withEntries);
    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (withEntries) {
        window.list().addItem(entry("one.html"));
        window.list().setCurrentRow(-1);
    }

    QSignalSpy downloads(&window.browser(), &WebBrowser::DownloadComplete);
    // Below the last entry, where there is no entry to press.
    QTest::mouseClick(window.list().viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(20, window.list().viewport()->height() - 5));
    QCOMPARE(window.list().currentRow(), -1);
    QVERIFY(!downloads.wait(1000));
    QVERIFY(window.browser().LocationURL().isEmpty());
}

// Both notifications of one load arrive: the first ends the wait, the second sets the flag to 0
// once more.
void TestViewer::waitEndsWithTheFirstNotification()
{
    Window window;
    window.show();
    QSignalSpy downloads(&window.browser(), &WebBrowser::DownloadComplete);
    QSignalSpy documents(&window.browser(), &WebBrowser::DocumentComplete);

    window.flag.setPending();
    Viewer::navigate(window, entry("one.html"));
    QCOMPARE(downloads.count(), 0);
    Viewer::waitForCompletion(window.flag);

    QCOMPARE(window.flag.value(), QVariant::fromValue<qint16>(0));
    QCOMPARE(downloads.count(), 1);
    QVERIFY(documents.count() <= 1);
    QVERIFY(Viewer::shows(window, entry("one.html")));
    QTRY_COMPARE(documents.count(), 1);
    QTest::qWait(300);
    QCOMPARE(downloads.count(), 1);
    QCOMPARE(window.flag.value(), QVariant::fromValue<qint16>(0));
}

// A preview's notifications set the flag to 0 while nothing waits; a run sets it to 1 before its
// own navigation, so only its own load ends its wait.
void TestViewer::previewBeforeARunDoesNotEndItsWait()
{
    Window window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.list().addItem(entry("one.html"));
    QSignalSpy documents(&window.browser(), &WebBrowser::DocumentComplete);
    window.press(0);
    QVERIFY(documents.wait(LoadTimeoutMs));
    QCOMPARE(window.flag.value(), QVariant::fromValue<qint16>(0));

    window.flag.setPending();
    Viewer::navigate(window, entry("three.html"));
    Viewer::waitForCompletion(window.flag);
    QVERIFY(Viewer::shows(window, entry("three.html")));
}

void TestViewer::waitEndsWhenTheWindowCloses()
{
    Window window;
    window.show();
    window.flag.setPending();
    QTimer::singleShot(300, &window, &QWidget::close);
    QElapsedTimer clock;
    clock.start();
    Viewer::waitForCompletion(window.flag);
    QVERIFY(window.flag.isWindowClosed());
    QVERIFY(window.flag.isPending());
    QVERIFY(clock.elapsed() >= 250);
}

// A second of waiting with nothing to do costs next to no processor time.
void TestViewer::waitSleepsWhileNothingHappens()
{
    Window window;
    window.show();
    window.flag.setPending();
    QTimer::singleShot(1000, &window, [&window] { Viewer::documentComplete(window.flag); });
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = threadCpuSeconds();
    Viewer::waitForCompletion(window.flag);
    const double cpu = threadCpuSeconds() - cpuBefore;
    QVERIFY(clock.elapsed() >= 950);
    QVERIFY2(cpu < 0.2, qPrintable(QStringLiteral("%1 s of CPU in a 1 s wait").arg(cpu)));
}

void TestViewer::showsComparesAsNavigateResolves_data()
{
    QTest::addColumn<QString>("navigated");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("expected");

    const QString one = entry("one.html");
    const QString folder = QFileInfo(one).absolutePath();
    QTest::newRow("same path") << one << one << true;
    QTest::newRow("other page") << one << entry("two.html") << false;
    QTest::newRow("path and its file URL") << one << QUrl::fromLocalFile(one).toString() << true;
    QTest::newRow("folder without its slash") << folder << folder << true;
    QTest::newRow("folder with its slash") << folder << folder + QLatin1Char('/') << true;
}

void TestViewer::showsComparesAsNavigateResolves()
{
    QFETCH(QString, navigated);
    QFETCH(QString, asked);
    QFETCH(bool, expected);

    Window window;
    QVERIFY(!Viewer::shows(window, navigated)); // blank shows nothing
    window.flag.setPending();
    Viewer::navigate(window, navigated);
    Viewer::waitForCompletion(window.flag);
    QCOMPARE(Viewer::shows(window, asked), expected);
}

void TestViewer::selectAllThenCopyLeavesRtf()
{
    Window window;
    window.show();
    window.flag.setPending();
    Viewer::navigate(window, entry("two.html"));
    Viewer::waitForCompletion(window.flag);
    Viewer::selectAll(window);
    Viewer::copy(window);

    const QString rtf = Clipboard::richText();
    QVERIFY2(rtf.startsWith(QLatin1String("{\\rtf1")), qPrintable(rtf.left(80)));
    QVERIFY(rtf.contains(QLatin1String("MARKER-TWO")));
    QVERIFY(rtf.contains(QLatin1String("Page two")));
}

QTEST_MAIN(TestViewer)
#include "tst_viewer.moc"

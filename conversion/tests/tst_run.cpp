#include "clipboard.h"
#include "dispatch.h"
#include "headingorder.h"
#include "hostileentries.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "pagelist.h"
#include "richtextbox.h"
#include "run.h"
#include "viewer.h"
#include "webbrowser.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

namespace {

// The controls of the window that a run uses, wired as the window wires them.
struct Window {
    QWidget form;
    ListBox *list = new ListBox(&form);
    WebBrowser *browser = new WebBrowser(&form);
    RichTextBox *box = new RichTextBox(&form);
    LoadPendingFlag flag;
    ConcatenationRun run;

    Window()
    {
        list->setObjectName(QStringLiteral("List1"));
        browser->setObjectName(QStringLiteral("WebBrowser1"));
        box->setObjectName(QStringLiteral("RichTextBox1"));
        form.resize(640, 500);
        list->setGeometry(0, 0, 640, 100);
        browser->setGeometry(0, 100, 640, 150);
        box->setGeometry(0, 250, 640, 250);
        Dispatch::connectEvent(browser, Viewer::DownloadCompleteId, &form,
                               [this] { Viewer::downloadComplete(flag); });
        Dispatch::connectEvent(browser, Viewer::DocumentCompleteId, &form,
                               [this] { Viewer::documentComplete(flag); });
        form.show();
    }
    void add(const QString &entry) { PageList(*list).AddItem(entry); }
    void concatenate() { run.concatenate(form, flag); }
    QString result() const { return box->toPlainText(); }
};

// Pages named by a word that occurs nowhere else.
class Pages {
public:
    QString page(const QString &word)
    {
        const QString path = m_dir.filePath(word + QStringLiteral(".html"));
        if (!QFile::exists(path)) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(QStringLiteral("<html><body><h1>Heading %1</h1><p>Body of %1 with "
                                      "<b>bold%1</b> text.</p></body></html>")
                           .arg(word)
                           .toUtf8());
        }
        return path;
    }

private:
    QTemporaryDir m_dir;
};

const QStringList Words = {QStringLiteral("Alder"), QStringLiteral("Birch"),
                           QStringLiteral("Cedar"), QStringLiteral("Damson")};

// Runs action once, from the event pump, after the result first contains word.
void onceResultHas(Window &window, const QString &word, std::function<void()> action)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(window.box, &QTextEdit::textChanged, &window.form, [=, &window] {
        if (!window.result().contains(word))
            return;
        QObject::disconnect(*connection);
        QTimer::singleShot(0, &window.form, action);
    });
}

} // namespace

class TestRun : public QObject {
    Q_OBJECT

private slots:
    void pagesInListOrder_data();
    void pagesInListOrder();
    void secondRunStartsAfresh();
    void nestedRunLeavesItsPagesOnce();
    void previewDuringRunIsNotCopied();
    void shrunkListStopsRun();
    void closedWindowEndsRun();
    void hostileEntryInARun_data();
    void hostileEntryInARun();
    void entryChangesUnderTheRun_data();
    void entryChangesUnderTheRun();

private:
    Pages m_pages;
};

void TestRun::pagesInListOrder_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("empty list") << QStringList();
    QTest::newRow("one") << QStringList{Words[0]};
    QTest::newRow("two") << QStringList{Words[0], Words[1]};
    QTest::newRow("reverse") << QStringList{Words[2], Words[1], Words[0]};
    QTest::newRow("same twice") << QStringList{Words[3], Words[3]};
}

void TestRun::pagesInListOrder()
{
    QFETCH(QStringList, entries);
    Window window;
    window.box->setPlainText(QStringLiteral("left over"));
    for (const QString &word : entries)
        window.add(m_pages.page(word));
    window.concatenate();

    QCOMPARE(headingOrder(window.result(), Words), entries);
    QVERIFY(!window.result().contains(QLatin1String("left over")));
    QVERIFY(!window.result().contains(QLatin1String("rtf1")));
    if (entries.isEmpty()) {
        QCOMPARE(window.result(), QString());
        QVERIFY(window.flag.isEmpty());
        return;
    }
    QCOMPARE(window.flag.value(), QVariant::fromValue<qint16>(0));
    // The clipboard keeps the last page.
    const QString last = QStringLiteral("Heading ") + entries.last();
    QVERIFY(Clipboard::richText().contains(last));
    QVERIFY(QGuiApplication::clipboard()->text().contains(last));
    QVERIFY(Viewer::shows(window.form, m_pages.page(entries.last())));
}

void TestRun::secondRunStartsAfresh()
{
    Window window;
    window.add(m_pages.page(Words[0]));
    window.add(m_pages.page(Words[1]));
    window.concatenate();
    PageList(*window.list).setList(1, m_pages.page(Words[2]));
    window.concatenate();
    QCOMPARE(headingOrder(window.result(), Words), (QStringList{Words[0], Words[2]}));
}

void TestRun::nestedRunLeavesItsPagesOnce()
{
    Window window;
    for (const QString &word : Words)
        window.add(m_pages.page(word));
    bool nestedRan = false;
    // Concatenate pressed again while the first run waits for its second page.
    onceResultHas(window, Words[0], [&] {
        nestedRan = true;
        window.concatenate();
    });
    window.concatenate();
    QVERIFY(nestedRan);
    QCOMPARE(headingOrder(window.result(), Words), Words);
}

void TestRun::previewDuringRunIsNotCopied()
{
    Window window;
    window.add(m_pages.page(Words[0]));
    window.add(m_pages.page(Words[1]));
    window.add(m_pages.page(Words[2]));
    const QString other = m_pages.page(QStringLiteral("Elm"));
    // A preview of another page starts while the run waits for its second page.
    onceResultHas(window, Words[0], [&] { Viewer::navigate(window.form, other); });
    window.concatenate();
    QCOMPARE(headingOrder(window.result(), Words + QStringList{QStringLiteral("Elm")}),
             (QStringList{Words[0], Words[1], Words[2]}));
}

void TestRun::shrunkListStopsRun()
{
    Window window;
    for (const QString &word : Words)
        window.add(m_pages.page(word));
    onceResultHas(window, Words[1], [&] { PageList(*window.list).Clear(); });
    window.concatenate();
    // The page being loaded when the list was cleared is still taken; nothing after it.
    const QStringList done = headingOrder(window.result(), Words);
    QVERIFY2(done == (QStringList{Words[0], Words[1]}) ||
                 done == (QStringList{Words[0], Words[1], Words[2]}),
             qPrintable(done.join(QLatin1Char(','))));
    QVERIFY(!window.result().contains(Words[3]));
    // No empty entries were loaded after the list was cleared, and no wait is left pending.
    QVERIFY(Viewer::shows(window.form, m_pages.page(done.last())));
    QCOMPARE(window.flag.value(), QVariant::fromValue<qint16>(0));
}

void TestRun::closedWindowEndsRun()
{
    Window window;
    for (const QString &word : Words)
        window.add(m_pages.page(word));
    QElapsedTimer sinceClose;
    onceResultHas(window, Words[0], [&] {
        window.flag.windowClosed();
        sinceClose.start();
    });
    window.concatenate();
    qInfo("run ended %lld ms after the window closed", sinceClose.elapsed());
    QCOMPARE(headingOrder(window.result(), Words), QStringList{Words[0]});
}

void TestRun::hostileEntryInARun_data()
{
    // What the pane must show of the entry, in order. A folder stays what the list makes of it,
    // the engine's listing, and has no row here.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("shown");
    for (const QString &kind : HostileEntries::kinds()) {
        if (kind == QLatin1String("folder"))
            continue;
        const bool special = kind == QLatin1String("named pipe") || kind == QLatin1String("socket");
        const QString name = QString(kind).replace(QLatin1Char(' '), QLatin1Char('-'));
        QTest::newRow(qPrintable(kind))
            << kind
            << (special ? QStringList{QStringLiteral("This file cannot be shown"), name}
                        : HostileEntries::shows(kind));
    }
}

// Each entry that misbehaves, between two ordinary pages, in the window's run: the run goes on
// past it and ends, the pane holds what the page shows (or the page saying that a special file
// cannot be shown), and the page after it comes once, in order, complete.
void TestRun::hostileEntryInARun()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, shown);
    QTemporaryDir folder;
    const QString entry = HostileEntries::make(kind, folder.path());
    QVERIFY(!entry.isEmpty());
    Window window;
    window.add(m_pages.page(Words[0]));
    window.add(entry);
    window.add(m_pages.page(Words[1]));
    window.concatenate();

    const QString text = window.result();
    QCOMPARE(headingOrder(text, Words), Words.mid(0, 2));
    const QStringList order =
        QStringList{QStringLiteral("Heading ") + Words[0]} + shown +
        QStringList{QStringLiteral("Heading ") + Words[1], QStringLiteral("bold") + Words[1]};
    const QString outOfOrder = firstOutOfOrder(text, order);
    QVERIFY2(outOfOrder.isEmpty(), qPrintable(outOfOrder));
    for (const QString &marker : HostileEntries::hidden()) {
        if (!shown.join(u' ').contains(marker))
            QVERIFY2(!text.contains(marker), qPrintable(marker));
    }
    // The clipboard holds the last page.
    QVERIFY(Clipboard::richText().contains(QStringLiteral("Heading ") + Words[1]));
}

void TestRun::entryChangesUnderTheRun_data()
{
    // What becomes of the entry's file while the run copies the page before it, and what the
    // pane must then show of the entry, in order.
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("shown");
    // the engine's own page about a file that is not there, as for any missing file
    QTest::newRow("vanishes") << "remove" << QStringList{QStringLiteral("ERR_FILE_NOT_FOUND")};
    QTest::newRow("turns into a named pipe")
        << "pipe"
        << QStringList{QStringLiteral("This file cannot be shown"),
                       QStringLiteral("Changing.html")};
    QTest::newRow("is written anew")
        << "rewrite" << QStringList{QStringLiteral("Heading Rewritten")};
}

// The entry's file is changed after the run has started, while the page before it is copied:
// the run takes the file as it is when its turn comes, gives it up where it is no page, and goes
// on to the page after it.
void TestRun::entryChangesUnderTheRun()
{
    QFETCH(QString, change);
    QFETCH(QStringList, shown);
    QTemporaryDir folder;
    const QString entry = folder.filePath(QStringLiteral("Changing.html"));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<!DOCTYPE html><title>Changing</title><h1>Heading Changing</h1>");
    file.close();
    Window window;
    window.add(m_pages.page(Words[0]));
    window.add(m_pages.page(Words[1]));
    window.add(entry);
    window.add(m_pages.page(Words[2]));
    bool changed = false;
    onceResultHas(window, Words[0], [&] {
        QVERIFY(QFile::remove(entry));
        if (change == QLatin1String("pipe"))
            QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
        if (change == QLatin1String("rewrite")) {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("<!DOCTYPE html><title>Rewritten</title><h1>Heading Rewritten</h1>");
            file.close();
        }
        changed = true;
    });
    window.concatenate();

    QVERIFY(changed);
    const QString text = window.result();
    QVERIFY2(!text.contains(QLatin1String("Heading Changing")), qPrintable(text));
    const QStringList order = QStringList{QStringLiteral("Heading ") + Words[1]} + shown +
                              QStringList{QStringLiteral("Heading ") + Words[2]};
    const QString outOfOrder = firstOutOfOrder(text, order);
    QVERIFY2(outOfOrder.isEmpty(), qPrintable(outOfOrder + QStringLiteral(" in ") + text));
}

QTEST_MAIN(TestRun)
#include "tst_run.moc"

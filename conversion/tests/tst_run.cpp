#include "clipboard.h"
#include "dispatch.h"
#include "headingorder.h"
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

QTEST_MAIN(TestRun)
#include "tst_run.moc"

// The whole job through the real window: files dropped on the list, ordered with the keys,
// concatenated through the real browser and clipboard, and saved through the real dialog.
#include "clipboard.h"
#include "form1.h"
#include "headingorder.h"
#include "hostileserver.h"
#include "listbox.h"
#include "lockedfolder.h"
#include "modaldriver.h"
#include "pagelist.h"
#include "richtextbox.h"
#include "rtfreader.h"
#include "webbrowser.h"

#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

const QString DialogName = QStringLiteral("CommonDialog1Dialog");

// A test page: a heading, a bold and an italic word, a link and a list, all named after word.
QByteArray pageHtml(const QString &word)
{
    return QStringLiteral("<!DOCTYPE html><html><head><title>%1</title></head><body>"
                          "<h1>Heading %1</h1>"
                          "<p>Plain text of %1 with <b>strong%1</b> and <i>slanted%1</i>.</p>"
                          "<p><a href=\"https://example.org/%1\">link%1</a></p>"
                          "<ul><li>first%1</li><li>second%1</li></ul>"
                          "<table border=1><tr><td>cellA%1</td><td>cellB%1</td></tr></table>"
                          "</body></html>")
        .arg(word)
        .toUtf8();
}

std::unique_ptr<QTextDocument> readRtf(const QString &path)
{
    QFile file(path);
    auto document = std::make_unique<QTextDocument>();
    if (!file.open(QIODevice::ReadOnly))
        return document;
    QTextCursor cursor(document.get());
    RtfReader::insert(cursor, QByteArrayView(file.readAll()));
    return document;
}

QTextCharFormat formatOf(const QTextDocument &document, const QString &word)
{
    const QTextCursor found = document.find(word, 0, QTextDocument::FindWholeWords);
    if (found.isNull())
        return {};
    QTextCursor inside(found);
    inside.setPosition(found.selectionStart() + 1);
    return inside.charFormat();
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wholeJob();
    void runs_data();
    void runs();
    void nestedRun();
    void saveBeforeAnyRun();
    void saveDuringRun();
    void cancelledSave();
    void failedSaveKeepsOldFile();
    void previewDuringRun();
    void clearingListStopsRun();
    void closingWindowEndsRun();
    void hostilePagesInARun();

private:
    QString page(const QString &word);
    void drop(const QStringList &words);
    void clickEntry(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void concatenate() { QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton); }
    // Presses =Save= and types name into the dialog; confirms replacing an existing file.
    void save(const QString &folder, const QString &name);
    QString result() { return child<RichTextBox>("RichTextBox1")->toPlainText(); }
    // Runs action from the event pump once the result first holds word's page.
    void onceResultHas(const QString &word, std::function<void()> action);
    template <typename T = QWidget> T *child(const char *name)
    {
        return m_form->findChild<T *>(QLatin1String(name));
    }

    QTemporaryDir m_pages;
    QTemporaryDir m_out;
    std::unique_ptr<Form1> m_form;
};

const QStringList Words = {QStringLiteral("Alder"), QStringLiteral("Birch"),
                           QStringLiteral("Cedar"), QStringLiteral("Damson")};

void TestEndToEnd::init()
{
    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestEndToEnd::cleanup()
{
    m_form.reset();
    for (const QString &name : QDir(m_out.path()).entryList(QDir::Files))
        QFile::remove(m_out.filePath(name));
}

QString TestEndToEnd::page(const QString &word)
{
    const QString path = m_pages.filePath(word + QStringLiteral(".html"));
    if (!QFile::exists(path)) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(pageHtml(word));
    }
    return path;
}

void TestEndToEnd::drop(const QStringList &words)
{
    auto *list = child<ListBox>("List1");
    QList<QUrl> urls;
    for (const QString &word : words)
        urls << QUrl::fromLocalFile(page(word));
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &dropped);
}

void TestEndToEnd::clickEntry(int row, Qt::KeyboardModifiers modifiers)
{
    auto *list = child<ListBox>("List1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                      list->visualItemRect(list->item(row)).center());
}

void TestEndToEnd::save(const QString &folder, const QString &name)
{
    whenModal<QFileDialog>(
        [=](QFileDialog *dialog) {
            const QDir target(folder);
            if (target.exists(name) || target.exists(name + QStringLiteral(".rtf")))
                whenModal<QMessageBox>(
                    [](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
            dialog->setDirectory(folder);
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        },
        DialogName);
    QTest::mouseClick(child<QPushButton>("command2"), Qt::LeftButton);
}

void TestEndToEnd::onceResultHas(const QString &word, std::function<void()> action)
{
    auto *box = child<RichTextBox>("RichTextBox1");
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(box, &QTextEdit::textChanged, this, [=, this] {
        if (!box->toPlainText().contains(QStringLiteral("Heading ") + word))
            return;
        disconnect(*connection);
        QTimer::singleShot(0, this, action);
    });
}

void TestEndToEnd::wholeJob()
{
    drop({Words[0], Words[1], Words[2]});
    // Cedar to the top with two Up presses, Alder one place down with Down.
    clickEntry(2);
    QTest::keyClick(child<ListBox>("List1"), Qt::Key_Up);
    QTest::keyClick(child<ListBox>("List1"), Qt::Key_Up);
    clickEntry(1);
    QTest::keyClick(child<ListBox>("List1"), Qt::Key_Down);
    const QStringList order = {Words[2], Words[1], Words[0]};
    PageList list(*child<ListBox>("List1"));
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(list.List(qint16(i)), page(order[i]));

    concatenate();
    QCOMPARE(headingOrder(result(), Words), order);
    save(m_out.path(), QStringLiteral("result"));

    const QString path = m_out.filePath(QStringLiteral("result.rtf"));
    QVERIFY(QFile::exists(path));
    const auto saved = readRtf(path);
    const QString text = saved->toPlainText();
    QCOMPARE(headingOrder(text, Words), order);
    for (const QString &word : order) {
        for (const QString &part :
             {QStringLiteral("Plain text of ") + word, QStringLiteral("first") + word,
              QStringLiteral("second") + word, QStringLiteral("cellA") + word,
              QStringLiteral("cellB") + word}) {
            QVERIFY2(text.count(part) == 1, qPrintable(part));
        }
        QVERIFY2(formatOf(*saved, QStringLiteral("strong") + word).font().bold(), qPrintable(word));
        QVERIFY2(!formatOf(*saved, QStringLiteral("slanted") + word).font().bold(),
                 qPrintable(word));
        QVERIFY2(formatOf(*saved, QStringLiteral("slanted") + word).font().italic(),
                 qPrintable(word));
        QVERIFY2(formatOf(*saved, QStringLiteral("Heading ") + word).font().bold() ||
                     formatOf(*saved, QStringLiteral("Heading ") + word).font().pointSizeF() > 14,
                 qPrintable(word));
        const QTextCharFormat link = formatOf(*saved, QStringLiteral("link") + word);
        QVERIFY2(link.isAnchor(), qPrintable(word));
        QCOMPARE(link.anchorHref(), QStringLiteral("https://example.org/") + word);
        const QTextCursor item = saved->find(QStringLiteral("first") + word);
        QVERIFY2(item.block().textList(), qPrintable(word));
        const QTextCursor cell = saved->find(QStringLiteral("cellB") + word);
        QVERIFY2(cell.currentTable(), qPrintable(word));
    }
    // The clipboard keeps the last page; the viewer shows it.
    QVERIFY(Clipboard::richText().contains(QStringLiteral("Heading ") + order.last()));
    QVERIFY(
        QGuiApplication::clipboard()->text().contains(QStringLiteral("Heading ") + order.last()));
}

void TestEndToEnd::runs_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("runs");
    QTest::newRow("empty list") << QStringList() << 1;
    QTest::newRow("one entry twice") << QStringList{Words[1], Words[1]} << 1;
    QTest::newRow("second run") << QStringList{Words[0], Words[3]} << 2;
}

void TestEndToEnd::runs()
{
    QFETCH(QStringList, entries);
    QFETCH(int, runs);
    if (!entries.isEmpty())
        drop(entries);
    for (int i = 0; i < runs; ++i)
        concatenate();
    QCOMPARE(headingOrder(result(), Words), entries);
    save(m_out.path(), QStringLiteral("runs.rtf"));
    QCOMPARE(
        headingOrder(readRtf(m_out.filePath(QStringLiteral("runs.rtf")))->toPlainText(), Words),
        entries);
}

void TestEndToEnd::nestedRun()
{
    drop(Words);
    bool pressedAgain = false;
    onceResultHas(Words[1], [&] {
        pressedAgain = true;
        concatenate();
    });
    concatenate();
    QVERIFY(pressedAgain);
    QCOMPARE(headingOrder(result(), Words), Words);
    QVERIFY(Clipboard::richText().contains(QStringLiteral("Heading ") + Words.last()));
}

void TestEndToEnd::saveBeforeAnyRun()
{
    // Twice to the same name: the second time the dialog asks to replace the file.
    save(m_out.path(), QStringLiteral("empty"));
    save(m_out.path(), QStringLiteral("empty"));
    const QString path = m_out.filePath(QStringLiteral("empty.rtf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("{\\rtf1"));
    QCOMPARE(readRtf(path)->toPlainText().trimmed(), QString());
    QCOMPARE(QDir(m_out.path()).entryList(QDir::Files), QStringList{QStringLiteral("empty.rtf")});
}

void TestEndToEnd::saveDuringRun()
{
    drop(Words);
    onceResultHas(Words[1], [&] { save(m_out.path(), QStringLiteral("partial")); });
    concatenate();
    QCOMPARE(headingOrder(result(), Words), Words);
    const auto partial = readRtf(m_out.filePath(QStringLiteral("partial.rtf")));
    QCOMPARE(headingOrder(partial->toPlainText(), Words), Words.mid(0, 2));
}

void TestEndToEnd::cancelledSave()
{
    drop({Words[0]});
    concatenate();
    whenModal<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); }, DialogName);
    bool reported = false;
    QPointer<QTimer> watcher = whenModal<QMessageBox>([&](QMessageBox *box) {
        reported = true;
        box->accept();
    });
    QTest::mouseClick(child<QPushButton>("command2"), Qt::LeftButton);
    QTest::qWait(200);
    delete watcher.data();
    QVERIFY(!reported);
    QVERIFY(QDir(m_out.path()).isEmpty());
    QCOMPARE(headingOrder(result(), Words), QStringList{Words[0]});
}

void TestEndToEnd::failedSaveKeepsOldFile()
{
    const QString folder = m_out.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/result.rtf");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("{\\rtf1 old}");
    }
    LockedFolder lock(folder);
    if (!lock.isLocked())
        QSKIP("cannot make a folder unwritable here");

    drop({Words[2]});
    concatenate();
    const QString before = result();
    QString report;
    whenModal<QMessageBox>(
        [&](QMessageBox *box) {
            report = box->text();
            box->accept();
        },
        QStringLiteral("ErrorReport"));
    save(folder, QStringLiteral("result"));
    QVERIFY2(report.contains(path), qPrintable(report));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("{\\rtf1 old}"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("result.rtf")});
    // The program goes on with its document, which can still be saved elsewhere.
    QCOMPARE(result(), before);
    save(m_out.path(), QStringLiteral("elsewhere"));
    QCOMPARE(headingOrder(readRtf(m_out.filePath(QStringLiteral("elsewhere.rtf")))->toPlainText(),
                          Words),
             QStringList{Words[2]});
}

void TestEndToEnd::previewDuringRun()
{
    drop({Words[0], Words[1], Words[2], Words[3]});
    // A click on the last entry previews it while the run waits for its second page.
    onceResultHas(Words[0], [&] { clickEntry(3); });
    concatenate();
    QCOMPARE(headingOrder(result(), Words), Words);
}

void TestEndToEnd::clearingListStopsRun()
{
    drop(Words);
    onceResultHas(Words[0], [&] {
        whenModal<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
        // The user goes back to the list (the button took the focus) and presses Delete.
        child<ListBox>("List1")->setFocus();
        QTest::keyClick(child<ListBox>("List1"), Qt::Key_Delete);
    });
    concatenate();
    QCOMPARE(PageList(*child<ListBox>("List1")).ListCount(), qint16(0));
    // The page whose load was under way when the list was cleared still comes; nothing after it.
    QCOMPARE(headingOrder(result(), Words), Words.mid(0, 2));
}

void TestEndToEnd::closingWindowEndsRun()
{
    drop(Words);
    QElapsedTimer sinceClose;
    onceResultHas(Words[0], [&] {
        sinceClose.start();
        m_form->close();
    });
    concatenate();
    qInfo("the run ended %lld ms after the window closed", sinceClose.elapsed());
    QVERIFY(!m_form->isVisible());
    QCOMPARE(headingOrder(result(), Words), QStringList{Words[0]});
}

namespace {

QString hostilePage(const char *name)
{
    return QFINDTESTDATA(QStringLiteral("../../platform/browser/tests/data/hostile/") +
                         QLatin1String(name));
}

} // namespace

// A run over each kind of hostile page, with ordinary pages around them: every entry gives its
// page once, in order (the page that the browser ends up showing, or the page saying that it
// stopped responding), nothing of a local file a page tried to read is in the clipboard, the
// pane or the saved file, and the window answers while a page is stuck.
void TestEndToEnd::hostilePagesInARun()
{
    HostileServer server;
    QVERIFY(server.isListening());
    // Short limits keep the test short; FOLVANE_HOSTILE_REAL_LIMITS=1 measures the run with the
    // control's own.
    if (!qEnvironmentVariableIsSet("FOLVANE_HOSTILE_REAL_LIMITS"))
        child<WebBrowser>("WebBrowser1")->setTimeouts({8000, 3000, 6000});
    const QStringList entries = {page(Words[0]),
                                 hostilePage("endless.html"),
                                 server.url("/stalled"),
                                 hostilePage("reader.html"),
                                 hostilePage("selfrefresh.html"),
                                 hostilePage("metarefresh.html"),
                                 hostilePage("replace.html"),
                                 hostilePage("tofile.html"),
                                 server.url("/redirect"),
                                 hostilePage("commandhang.html"),
                                 page(Words[1])};
    PageList list(*child<ListBox>("List1"));
    for (const QString &entry : entries)
        list.AddItem(entry);

    // The user previews the endless page, then starts the run while it is stuck.
    clickEntry(1);
    QVERIFY(QTest::qWaitFor(
        [&] { return child<WebBrowser>("WebBrowser1")->view()->page()->title() == "Endless"; }));
    // While the run waits on the endless page, the user saves what there is.
    onceResultHas(Words[0], [&] { save(m_out.path(), QStringLiteral("partial")); });
    QString clipboardAfterReader;
    auto *box = child<RichTextBox>("RichTextBox1");
    auto watch = connect(box, &QTextEdit::textChanged, this, [&] {
        if (clipboardAfterReader.isEmpty() && result().contains(QLatin1String("Heading Reader")))
            clipboardAfterReader = Clipboard::richText() +
                                   QGuiApplication::clipboard()->mimeData()->html() +
                                   QGuiApplication::clipboard()->text();
    });
    QElapsedTimer clock;
    clock.start();
    concatenate();
    qInfo("the run over %lld entries took %lld ms", qint64(entries.size()), clock.elapsed());
    disconnect(watch);
    // Into a folder of its own: the dialog would otherwise offer the partial file's name.
    const QString folder = m_out.filePath(QStringLiteral("final"));
    QVERIFY(QDir().mkpath(folder));
    save(folder, QStringLiteral("hostile"));

    const QString stopped = QStringLiteral("This page stopped responding");
    const QStringList order = {
        QStringLiteral("Heading ") + Words[0], stopped,
        QStringLiteral("endless.html"),        QStringLiteral("Heading Stalled"),
        QStringLiteral("AltNeverLoaded"),      QStringLiteral("Heading Reader"),
        QStringLiteral("Heading Selfsame"),    QStringLiteral("Heading Arrived"),
        QStringLiteral("Heading Replaced"),    QStringLiteral("Heading Tofile"),
        QStringLiteral("Heading Redirected"),  stopped,
        QStringLiteral("commandhang.html"),    QStringLiteral("Heading ") + Words[1]};
    const QStringList absent = {
        QStringLiteral("FolvaneSiblingSecret"), QStringLiteral("root:"),
        QStringLiteral("Heading Moving"),       QStringLiteral("Heading Replacing"),
        QStringLiteral("Heading Endless"),      QStringLiteral("Never reached"),
        QStringLiteral("Heading Hanging")};
    const auto saved = readRtf(QDir(folder).filePath(QStringLiteral("hostile.rtf")));
    QFile savedFile(QDir(folder).filePath(QStringLiteral("hostile.rtf")));
    QVERIFY(savedFile.open(QIODevice::ReadOnly));
    const QString savedRtf = QString::fromLatin1(savedFile.readAll());
    for (const QString &text : {result(), saved->toPlainText()}) {
        const QList<qsizetype> positions = positionsInOrder(text, order);
        QVERIFY2(!positions.contains(-1), qPrintable(text));
        for (const QString &marker : order)
            QVERIFY2(text.count(marker) == order.count(marker), qPrintable(marker));
        for (const QString &marker : absent)
            QVERIFY2(!text.contains(marker), qPrintable(marker));
    }
    for (const QString &marker :
         {QStringLiteral("FolvaneSiblingSecret"), QStringLiteral("root:")}) {
        QVERIFY(!savedRtf.contains(marker));
        QVERIFY2(clipboardAfterReader.contains(QLatin1String("Heading Reader")),
                 qPrintable(clipboardAfterReader));
        QVERIFY(!clipboardAfterReader.contains(marker));
    }
    // The reader page's own picture is in the result.
    QVERIFY(savedRtf.contains(QLatin1String("\\pict")));
    // Each server page was asked for once: a page that moves on is not loaded again.
    QCOMPARE(server.requests("/redirect"), 1);
    QCOMPARE(server.requests("/stalled"), 1);
    // The save made while the endless page was stuck holds what came before it.
    const auto partial = readRtf(m_out.filePath(QStringLiteral("partial.rtf")));
    QVERIFY(partial->toPlainText().contains(QStringLiteral("Heading ") + Words[0]));
    QDir(folder).removeRecursively();
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"

#include "dispatch.h"
#include "failure.h"
#include "lockedfolder.h"
#include "richtextbox.h"
#include "rtfreader.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>

namespace {

constexpr int TextId = -517;
constexpr int SelRTFId = 11;
constexpr int SaveFileId = 38;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

std::unique_ptr<QTextDocument> readRtf(const QByteArray &rtf)
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    RtfReader::insert(cursor, QByteArrayView(rtf));
    return document;
}

QTextCharFormat formatAt(const QTextDocument &document, const QString &word)
{
    const QTextCursor found = document.find(word);
    if (found.isNull())
        return {};
    QTextCursor inside(const_cast<QTextDocument *>(&document));
    inside.setPosition(found.selectionStart() + 1);
    return inside.charFormat();
}

QList<QTextImageFormat> images(const QTextDocument &document)
{
    QList<QTextImageFormat> found;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat())
                found << format.toImageFormat();
        }
    }
    return found;
}

QImage resourceImage(const QTextDocument &document, const QString &name)
{
    const QVariant data = document.resource(QTextDocument::ImageResource, QUrl(name));
    if (data.typeId() == QMetaType::QImage)
        return data.value<QImage>();
    if (data.typeId() == QMetaType::QPixmap)
        return data.value<QPixmap>().toImage();
    return QImage::fromData(data.toByteArray());
}

QByteArray pngPictureRtf(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "{\\rtf1\\ansi before {\\pict\\pngblip\\picw" + QByteArray::number(image.width()) +
           "\\pich" + QByteArray::number(image.height()) + "\\picwgoal" +
           QByteArray::number(image.width() * 15) + "\\pichgoal" +
           QByteArray::number(image.height() * 15) + " " + png.toHex() + "} after\\par}";
}

} // namespace

class TestRichTextBox : public QObject {
    Q_OBJECT

private slots:
    void startsEmptyAndEditable();
    void emptyTextClearsDocument();
    void selRtfInserts_data();
    void selRtfInserts();
    void selRtfReadsSelection();
    void undoAroundInsertions_data();
    void undoAroundInsertions();
    void imageShownAndSaved();
    void copyAndPasteKeepFormats();
    void saveFileRoundTrip();
    void saveFileFailures_data();
    void saveFileFailures();
    void saveFileIntoLockedFolderKeepsOldFile();
};

void TestRichTextBox::startsEmptyAndEditable()
{
    RichTextBox box;
    box.resize(300, 120);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(Dispatch::get(&box, TextId).toString(), QString());
    QTest::mouseClick(box.viewport(), Qt::LeftButton);
    QTest::keyClicks(&box, QStringLiteral("typed"));
    QCOMPARE(Dispatch::get(&box, TextId).toString(), QStringLiteral("typed"));
}

void TestRichTextBox::emptyTextClearsDocument()
{
    RichTextBox box;
    Dispatch::put(&box, SelRTFId, QStringLiteral("{\\rtf1 {\\b first}\\par second}"));
    QVERIFY(Dispatch::get(&box, TextId).toString().contains(QStringLiteral("second")));
    QTextCursor selection(box.document());
    selection.setPosition(2);
    selection.setPosition(4, QTextCursor::KeepAnchor);
    box.setTextCursor(selection);

    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    Dispatch::put(&box, SelRTFId, QString::fromLatin1(pngPictureRtf(blue)));
    const QString image = images(*box.document()).value(0).name();
    QVERIFY(!resourceImage(*box.document(), image).isNull());

    Dispatch::put(&box, TextId, QString());
    QCOMPARE(box.document()->toPlainText(), QString());
    // The images of the old content go with it.
    QVERIFY(resourceImage(*box.document(), image).isNull());
    QCOMPARE(box.textCursor().position(), 0);
    QVERIFY(!box.textCursor().hasSelection());
    // Text typed afterwards is not bold: nothing of the old content's formats stays behind.
    Dispatch::put(&box, SelRTFId, QStringLiteral("{\\rtf1 plain}"));
    QVERIFY(!formatAt(*box.document(), QStringLiteral("plain")).font().bold());
}

void TestRichTextBox::selRtfInserts_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("selectFrom");
    QTest::addColumn<int>("selectTo");
    QTest::addColumn<QStringList>("insertions");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursorAfter"); // -1: the end of the document

    QTest::newRow("into empty") << QString() << 0 << 0
                                << QStringList{QStringLiteral("{\\rtf1 one}")}
                                << QStringLiteral("one") << 3;
    QTest::newRow("second follows first")
        << QString() << 0 << 0
        << QStringList{QStringLiteral("{\\rtf1 one}"), QStringLiteral("{\\rtf1 two}")}
        << QStringLiteral("onetwo") << -1;
    QTest::newRow("replaces selection")
        << QStringLiteral("abcdef") << 2 << 4 << QStringList{QStringLiteral("{\\rtf1 XY}")}
        << QStringLiteral("abXYef") << 4;
    QTest::newRow("at a moved insertion point")
        << QStringLiteral("abcdef") << 1 << 1 << QStringList{QStringLiteral("{\\rtf1 Z}")}
        << QStringLiteral("aZbcdef") << 2;
    // What the run hands over: CR LF, then a page's RTF.
    QTest::newRow("leading CR LF") << QString() << 0 << 0
                                   << QStringList{QStringLiteral("\r\n{\\rtf1 page a\\par}"),
                                                  QStringLiteral("\r\n{\\rtf1 page b\\par}")}
                                   << QStringLiteral("page a\npage b\n") << -1;
    QTest::newRow("not rtf is text")
        << QString() << 0 << 0 << QStringList{QStringLiteral("just words")}
        << QStringLiteral("just words") << 10;
}

void TestRichTextBox::selRtfInserts()
{
    QFETCH(QString, initial);
    QFETCH(int, selectFrom);
    QFETCH(int, selectTo);
    QFETCH(QStringList, insertions);
    QFETCH(QString, expected);
    QFETCH(int, cursorAfter);

    RichTextBox box;
    box.setPlainText(initial);
    QTextCursor cursor(box.document());
    cursor.setPosition(selectFrom);
    cursor.setPosition(selectTo, QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
    for (const QString &rtf : insertions)
        Dispatch::put(&box, SelRTFId, rtf);
    // Where paragraphs break between two insertions is the reader's business; the text and its
    // order are not.
    QCOMPARE(box.document()->toPlainText().remove(QLatin1Char('\n')),
             QString(expected).remove(QLatin1Char('\n')));
    QVERIFY(!box.document()->toPlainText().contains(QLatin1String("rtf1")));
    QTextCursor end(box.document());
    end.movePosition(QTextCursor::End);
    QCOMPARE(box.textCursor().position(), cursorAfter < 0 ? end.position() : cursorAfter);
}

void TestRichTextBox::selRtfReadsSelection()
{
    RichTextBox box;
    Dispatch::put(&box, SelRTFId,
                  QStringLiteral("{\\rtf1 plain {\\b strong} and {\\i slanted} end}"));
    const QTextCursor strong = box.document()->find(QStringLiteral("strong and slanted"));
    QVERIFY(!strong.isNull());
    box.setTextCursor(strong);

    const QString rtf = Dispatch::get(&box, SelRTFId).toString();
    QVERIFY(rtf.startsWith(QLatin1String("{\\rtf")));
    const auto copy = readRtf(rtf.toLatin1());
    QCOMPARE(copy->toPlainText().trimmed(), QStringLiteral("strong and slanted"));
    QVERIFY(formatAt(*copy, QStringLiteral("strong")).font().bold());
    QVERIFY(formatAt(*copy, QStringLiteral("slanted")).font().italic());
    QVERIFY(!formatAt(*copy, QStringLiteral("slanted")).font().bold());
}

void TestRichTextBox::imageShownAndSaved()
{
    QImage red(40, 30, QImage::Format_RGB32);
    red.fill(Qt::red);
    RichTextBox box;
    box.resize(300, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    Dispatch::put(&box, SelRTFId, QString::fromLatin1(pngPictureRtf(red)));

    const QList<QTextImageFormat> shown = images(*box.document());
    QCOMPARE(shown.size(), 1);
    QCOMPARE(resourceImage(*box.document(), shown[0].name()).size(), red.size());
    // The pane paints it.
    const QImage screen = box.viewport()->grab().toImage();
    int redPixels = 0;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x)
            redPixels += screen.pixelColor(x, y) == QColor(Qt::red) ? 1 : 0;
    }
    QVERIFY2(redPixels >= 40 * 30 / 2, qPrintable(QString::number(redPixels)));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture.rtf"));
    Dispatch::call(&box, SaveFileId, {path});
    const auto saved = readRtf(readFile(path));
    QVERIFY(saved->toPlainText().contains(QLatin1String("before")));
    QVERIFY(saved->toPlainText().contains(QLatin1String("after")));
    const QList<QTextImageFormat> written = images(*saved);
    QCOMPARE(written.size(), 1);
    const QImage back = resourceImage(*saved, written[0].name());
    QCOMPARE(back.size(), red.size());
    QCOMPARE(back.pixelColor(20, 15), QColor(Qt::red));
}

void TestRichTextBox::undoAroundInsertions_data()
{
    QTest::addColumn<QString>("typedBefore");
    QTest::addColumn<bool>("pasted"); // the page comes by paste rather than through SelRTF
    QTest::addColumn<QString>("typedAfter");
    QTest::addColumn<QString>("afterUndo");

    // A page the program inserts is never undone, nor is what came before it; the user's own
    // typing after it and the user's own paste are.
    QTest::newRow("inserted page stays") << QString() << false << QString() << "page";
    QTest::newRow("typing after it is undone") << QString() << false << "xy"
                                               << "page";
    QTest::newRow("typing before it stays") << "ab" << false << QString() << "abpage";
    QTest::newRow("a paste is undone") << "ab" << true << QString() << "ab";
}

void TestRichTextBox::undoAroundInsertions()
{
    QFETCH(QString, typedBefore);
    QFETCH(bool, pasted);
    QFETCH(QString, typedAfter);
    QFETCH(QString, afterUndo);

    const QByteArray page = "{\\rtf1 {\\b page}}";
    RichTextBox box;
    QTest::keyClicks(&box, typedBefore);
    if (pasted) {
        auto *data = new QMimeData;
        data->setData(QStringLiteral("text/rtf"), page);
        QGuiApplication::clipboard()->setMimeData(data);
        box.paste();
    } else {
        Dispatch::put(&box, SelRTFId, QString::fromLatin1(page));
    }
    QTest::keyClicks(&box, typedAfter);
    // Where the page's paragraph begins is the reader's business.
    QCOMPARE(box.toPlainText().remove(QLatin1Char('\n')),
             typedBefore + QStringLiteral("page") + typedAfter);
    QVERIFY(formatAt(*box.document(), QStringLiteral("page")).font().bold());

    box.undo();
    QCOMPARE(box.toPlainText().remove(QLatin1Char('\n')), afterUndo);
    // Nothing further back: the typing before a page inserted through SelRTF is not undone.
    if (!pasted)
        QVERIFY(!box.document()->isUndoAvailable());
}

void TestRichTextBox::copyAndPasteKeepFormats()
{
    RichTextBox from;
    Dispatch::put(&from, SelRTFId, QStringLiteral("{\\rtf1 plain {\\b heavy} {\\i leaning}}"));
    from.selectAll();
    from.copy();
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QVERIFY(copied->hasFormat(QStringLiteral("text/rtf")));
    QVERIFY(copied->text().contains(QLatin1String("plain heavy leaning")));

    RichTextBox to;
    Dispatch::put(&to, SelRTFId, QStringLiteral("{\\rtf1 [] }"));
    QTextCursor between(to.document());
    between.setPosition(1);
    to.setTextCursor(between);
    to.paste();
    QCOMPARE(to.toPlainText().remove(QLatin1Char('\n')), QStringLiteral("[plain heavy leaning] "));
    QVERIFY(formatAt(*to.document(), QStringLiteral("heavy")).font().bold());
    QVERIFY(formatAt(*to.document(), QStringLiteral("leaning")).font().italic());
    QVERIFY(!formatAt(*to.document(), QStringLiteral("plain")).font().bold());
}

void TestRichTextBox::saveFileRoundTrip()
{
    RichTextBox box;
    Dispatch::put(&box, SelRTFId,
                  QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Title {\\b bold} "
                                 "{\\i italic} caf\\'e9\\par second line\\par}"));
    const QString before = box.toPlainText();

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("result.rtf"));
    QVERIFY(writeFile(path, "old content"));
    Dispatch::call(&box, SaveFileId, {path});
    const QByteArray rtf = readFile(path);
    QVERIFY(rtf.startsWith("{\\rtf1"));
    QVERIFY(rtf.trimmed().endsWith('}'));
    const auto saved = readRtf(rtf);
    QCOMPARE(saved->toPlainText().trimmed(), before.trimmed());
    QVERIFY(saved->toPlainText().contains(QStringLiteral("caf\u00e9")));
    QVERIFY(formatAt(*saved, QStringLiteral("bold")).font().bold());
    QVERIFY(formatAt(*saved, QStringLiteral("italic")).font().italic());
    QVERIFY(!formatAt(*saved, QStringLiteral("Title")).font().bold());
    // Nothing but the target is left in the folder, and the pane is as it was.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("result.rtf")});
    QCOMPARE(box.toPlainText(), before);
}

void TestRichTextBox::saveFileFailures_data()
{
    QTest::addColumn<QString>("name"); // relative to a temporary folder; "@" is that folder
    QTest::addColumn<QList<int>>("numbers");

    QTest::newRow("empty name") << QString() << QList<int>{ErrorNumber::PathFileAccessError};
    QTest::newRow("missing folder")
        << QStringLiteral("@/missing/out.rtf") << QList<int>{ErrorNumber::PathNotFound};
    QTest::newRow("folder is a file")
        << QStringLiteral("@/plain.txt/out.rtf") << QList<int>{ErrorNumber::PathNotFound};
    QTest::newRow("name is a folder")
        << QStringLiteral("@/sub") << QList<int>{ErrorNumber::PathFileAccessError};
    QTest::newRow("folder nobody can write")
        << QStringLiteral("/proc/folvane-out.rtf")
        << QList<int>{ErrorNumber::PermissionDenied, ErrorNumber::PathFileAccessError};
}

void TestRichTextBox::saveFileFailures()
{
    QFETCH(QString, name);
    QFETCH(QList<int>, numbers);

    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("plain.txt")), "text"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    const QString path = QString(name).replace(QLatin1Char('@'), dir.path());

    RichTextBox box;
    Dispatch::put(&box, SelRTFId, QStringLiteral("{\\rtf1 keep {\\b me}}"));
    try {
        Dispatch::call(&box, SaveFileId, {path});
        QFAIL("the save did not fail");
    } catch (const FailureException &e) {
        QVERIFY2(numbers.contains(e.failure().number), qPrintable(e.failure().description));
        QVERIFY2(e.failure().description.contains(path), qPrintable(e.failure().description));
    }
    QCOMPARE(box.toPlainText(), QStringLiteral("keep me"));
    QVERIFY(formatAt(*box.document(), QStringLiteral("me")).font().bold());
    QVERIFY(!box.takeFailure());
    // Nothing half-written is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("plain.txt")});
    QCOMPARE(QDir(dir.filePath(QStringLiteral("sub")))
                 .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList());
}

void TestRichTextBox::saveFileIntoLockedFolderKeepsOldFile()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/result.rtf");
    QVERIFY(writeFile(path, "{\\rtf1 old}"));

    RichTextBox box;
    Dispatch::put(&box, SelRTFId, QStringLiteral("{\\rtf1 new}"));
    LockedFolder lock(folder);
    if (!lock.isLocked())
        QSKIP("cannot make a folder unwritable here");
    try {
        Dispatch::call(&box, SaveFileId, {path});
        QFAIL("the save did not fail");
    } catch (const FailureException &e) {
        QVERIFY2(e.failure().number == ErrorNumber::PermissionDenied ||
                     e.failure().number == ErrorNumber::PathFileAccessError,
                 qPrintable(e.failure().description));
    }
    QCOMPARE(readFile(path), QByteArray("{\\rtf1 old}"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("result.rtf")});
    QCOMPARE(box.toPlainText(), QStringLiteral("new"));
}

QTEST_MAIN(TestRichTextBox)
#include "tst_richtextbox.moc"

#include "rtfformat.h"
#include "rtfreader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

// RTF that LibreOffice writes from documents made here, read with RtfReader.

namespace {

QDir dataDir()
{
    return QDir(QFINDTESTDATA("data/reader"));
}

} // namespace

class tst_RtfReaderLibreOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void textAndCharacterFormats();
    void lists();
    void table();
    void alignment();
    void centralEuropeanText();

private:
    QTextBlock blockWith(const QString &text) const;
    QTextCharFormat formatOf(const QString &word) const;

    QTemporaryDir m_dir;
    QTextDocument m_page;
    QTextDocument m_central;
};

void tst_RtfReaderLibreOffice::initTestCase()
{
    const QString soffice = QStandardPaths::findExecutable("soffice");
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QVERIFY(m_dir.isValid());
    const QDir dir(m_dir.path());
    QStringList inputs;
    for (const QString name : {"page.html", "central.html"}) {
        inputs << dir.filePath(name);
        QVERIFY(QFile::copy(dataDir().filePath("libreoffice_" + name), inputs.last()));
    }
    // One LibreOffice run converts all inputs; its profile stays in the temporary directory.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(soffice, QStringList{"--headless", "--norestore",
                                       "-env:UserInstallation=" +
                                           QUrl::fromLocalFile(dir.filePath("profile")).toString(),
                                       "--infilter=HTML (StarWriter)", "--convert-to", "rtf",
                                       "--outdir", dir.filePath("out")} +
                               inputs);
    QVERIFY(process.waitForFinished(120000));
    const QByteArray log = process.readAll();
    QVERIFY2(process.exitCode() == 0, log.constData());

    const QList<QPair<QString, QTextDocument *>> outputs{{"out/page.rtf", &m_page},
                                                         {"out/central.rtf", &m_central}};
    for (const auto &[name, doc] : outputs) {
        QFile f(dir.filePath(name));
        QVERIFY2(f.open(QIODevice::ReadOnly), log.constData());
        QTextCursor cursor(doc);
        const RtfReadResult result = RtfReader::insert(cursor, f.readAll());
        QVERIFY(result.isRtf);
        QVERIFY2(result.errors.isEmpty(), qPrintable(name));
    }
}

QTextBlock tst_RtfReaderLibreOffice::blockWith(const QString &text) const
{
    for (QTextBlock b = m_page.begin(); b.isValid(); b = b.next()) {
        if (b.text() == text)
            return b;
    }
    return {};
}

QTextCharFormat tst_RtfReaderLibreOffice::formatOf(const QString &word) const
{
    const qsizetype at = m_page.toRawText().indexOf(word);
    if (at < 0)
        return {};
    QTextCursor c(const_cast<QTextDocument *>(&m_page));
    c.setPosition(int(at) + 1);
    return c.charFormat();
}

void tst_RtfReaderLibreOffice::textAndCharacterFormats()
{
    QCOMPARE(m_page.begin().text(), "bold italic red big link under gone H2O x2");
    QVERIFY(blockWith(u"Zürich čeština Ελληνικά Жизнь 中文 日本語 €"_qs).isValid());
    QVERIFY(formatOf("bold").fontWeight() >= QFont::Bold);
    QVERIFY(formatOf(" italic").fontWeight() < QFont::DemiBold);
    QVERIFY(formatOf("italic").fontItalic());
    QCOMPARE(formatOf("red").foreground().color(), QColor(255, 0, 0));
    QCOMPARE(formatOf("big").fontPointSize(), 20.0);
    QVERIFY(formatOf("under").fontUnderline());
    QVERIFY(formatOf("gone").fontStrikeOut());
    QCOMPARE(formatOf("2O").verticalAlignment(), QTextCharFormat::AlignSubScript);
    QCOMPARE(formatOf("x2").verticalAlignment(), QTextCharFormat::AlignNormal);
    const QTextCharFormat link = formatOf("link");
    QVERIFY(link.isAnchor());
    QCOMPARE(link.anchorHref(), "https://example.org/x?a=1&b=2");
    QVERIFY(!formatOf(" under").isAnchor());
}

void tst_RtfReaderLibreOffice::lists()
{
    const QTextBlock one = blockWith("one"), two = blockWith("two"), nested = blockWith("nested");
    QVERIFY(one.textList());
    QCOMPARE(one.textList(), two.textList());
    QCOMPARE(one.textList()->format().style(), QTextListFormat::ListDisc);
    QCOMPARE(one.textList()->format().indent(), 1);
    QVERIFY(nested.textList());
    QCOMPARE(nested.textList()->format().indent(), 2);

    const QTextBlock three = blockWith("three"), four = blockWith("four");
    QVERIFY(three.textList());
    QCOMPARE(three.textList(), four.textList());
    QCOMPARE(three.textList()->format().style(), QTextListFormat::ListDecimal);
    QCOMPARE(three.textList()->format().property(RtfFormat::ListStart).toInt(), 3);
    QVERIFY(three.textList() != one.textList());
    // The markers LibreOffice writes for other readers are not text here.
    QVERIFY(!m_page.toPlainText().contains(u'\u2022'));
    QVERIFY(!m_page.toPlainText().contains("3."));
}

void tst_RtfReaderLibreOffice::table()
{
    QTextTable *table = nullptr;
    for (QTextFrame *f : m_page.rootFrame()->childFrames())
        table = table ? table : qobject_cast<QTextTable *>(f);
    QVERIFY(table);
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->columns(), 2);
    QCOMPARE(table->cellAt(0, 0).firstCursorPosition().block().text(), "A1");
    QCOMPARE(table->cellAt(0, 1).firstCursorPosition().block().text(), "B1");
    QCOMPARE(table->cellAt(1, 0).columnSpan(), 2);
    QCOMPARE(table->cellAt(1, 0).firstCursorPosition().block().text(), "wide");
    QVERIFY(table->format().border() > 0);
    const QTextBlock after = m_page.findBlock(table->lastPosition() + 1);
    QCOMPARE(after.text(), "centered");
}

void tst_RtfReaderLibreOffice::alignment()
{
    QCOMPARE(blockWith("centered").blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
    QCOMPARE(blockWith("right").blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight);
    QCOMPARE(blockWith("one").blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
}

void tst_RtfReaderLibreOffice::centralEuropeanText()
{
    QCOMPARE(m_central.toPlainText(),
             u"Příliš žluťoučký kůň úpěl ďábelské ódy.\nZażółć gęślą jaźń."_qs);
}

QTEST_MAIN(tst_RtfReaderLibreOffice)
#include "tst_rtfreader_libreoffice.moc"

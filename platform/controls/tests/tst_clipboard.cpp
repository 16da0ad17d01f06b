#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

class TestClipboard : public QObject {
    Q_OBJECT
private slots:
    void setRichTextOffersEveryRendering();
    void richTextReads_data();
    void richTextReads();
};

void TestClipboard::setRichTextOffersEveryRendering()
{
    const QByteArray rtf = "{\\rtf1\\ansi caf\\'e9 \\u8364?}";
    Clipboard::setRichText(rtf, QStringLiteral("<p>caf\u00e9 \u20ac</p>"),
                           QStringLiteral("caf\u00e9 \u20ac"));

    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QCOMPARE(data->data(QStringLiteral("text/rtf")), rtf);
    QCOMPARE(data->data(QStringLiteral("application/rtf")), rtf);
    QCOMPARE(data->html(), QStringLiteral("<p>caf\u00e9 \u20ac</p>"));
    QCOMPARE(data->text(), QStringLiteral("caf\u00e9 \u20ac"));
    QCOMPARE(Clipboard::richText(), QString::fromLatin1(rtf));
}

void TestClipboard::richTextReads_data()
{
    QTest::addColumn<QByteArray>("textRtf");
    QTest::addColumn<QByteArray>("applicationRtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("text/rtf first")
        << QByteArray("{\\rtf1 a}") << QByteArray("{\\rtf1 b}") << QStringLiteral("{\\rtf1 a}");
    QTest::newRow("only application/rtf")
        << QByteArray() << QByteArray("{\\rtf1 b}") << QStringLiteral("{\\rtf1 b}");
    QTest::newRow("no rtf at all") << QByteArray() << QByteArray() << QString();
}

void TestClipboard::richTextReads()
{
    QFETCH(QByteArray, textRtf);
    QFETCH(QByteArray, applicationRtf);
    QFETCH(QString, expected);

    auto *data = new QMimeData;
    data->setText(QStringLiteral("plain text only"));
    if (!textRtf.isNull())
        data->setData(QStringLiteral("text/rtf"), textRtf);
    if (!applicationRtf.isNull())
        data->setData(QStringLiteral("application/rtf"), applicationRtf);
    QGuiApplication::clipboard()->setMimeData(data);

    QCOMPARE(Clipboard::richText(), expected);
}

QTEST_MAIN(TestClipboard)
#include "tst_clipboard.moc"

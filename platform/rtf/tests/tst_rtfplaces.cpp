#include "rtfplaces.h"

#include <QTest>
#include <QTextCharFormat>
#include <QUrl>

using namespace Qt::StringLiterals;

class TestRtfPlaces : public QObject {
    Q_OBJECT
private slots:
    void key_data();
    void key();
    void isKey_data();
    void isKey();
    void readableName_data();
    void readableName();
    void bookmarkName_data();
    void bookmarkName();
    void uniqueNames_data();
    void uniqueNames();
    void addName();
};

void TestRtfPlaces::key_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"file:///docs/a.html"_s << u"file:///docs/a.html"_s;
    QTest::newRow("fragment") << u"file:///docs/a.html#intro"_s << u"file:///docs/a.html#intro"_s;
    QTest::newRow("empty fragment") << u"file:///docs/a.html#"_s << u"file:///docs/a.html"_s;
    QTest::newRow("encoded fragment")
        << u"file:///docs/a.html#caf%C3%A9%20x"_s << u"file:///docs/a.html#café x"_s;
    QTest::newRow("dot segments") << u"file:///docs/./x/../a.html#b"_s
                                  << u"file:///docs/a.html#b"_s;
    QTest::newRow("query kept") << u"https://example.org/p?id=3#s"_s
                                << u"https://example.org/p?id=3#s"_s;
    QTest::newRow("host case") << u"HTTPS://Example.ORG/p"_s << u"https://example.org/p"_s;
    QTest::newRow("space in path") << u"file:///my docs/a.html"_s << u"file:///my%20docs/a.html"_s;
    QTest::newRow("relative") << u"#intro"_s << QString();
    QTest::newRow("relative path") << u"a.html#x"_s << QString();
}

void TestRtfPlaces::key()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(RtfPlaces::key(QUrl(address)), expected);
    if (!expected.isEmpty()) {
        QVERIFY(RtfPlaces::isKey(expected));
        // A key is its own key: the writer can compare a link's key with a place's name.
        QCOMPARE(RtfPlaces::key(QUrl(expected)), expected);
    }
}

void TestRtfPlaces::isKey_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("expected");
    QTest::newRow("file") << u"file:///a.html"_s << true;
    QTest::newRow("https") << u"https://example.org/#x"_s << true;
    QTest::newRow("bookmark") << u"installing_python"_s << false;
    QTest::newRow("word toc") << u"_Toc123"_s << false;
    QTest::newRow("drive") << u"C:\\docs"_s << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("colon first") << u":x"_s << false;
    QTest::newRow("digit first") << u"2x:y"_s << false;
    QTest::newRow("only scheme") << u"file"_s << false;
}

void TestRtfPlaces::isKey()
{
    QFETCH(QString, name);
    QFETCH(bool, expected);
    QCOMPARE(RtfPlaces::isKey(name), expected);
}

void TestRtfPlaces::readableName_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fragment") << u"file:///docs/a.html#installing-python"_s
                              << u"installing-python"_s;
    QTest::newRow("page") << u"file:///docs/tutorial/index.html"_s << u"tutorial_index"_s;
    QTest::newRow("top file") << u"file:///index.html"_s << u"index"_s;
    QTest::newRow("no path") << u"https://example.org"_s << u"example.org"_s;
    QTest::newRow("encoded") << u"file:///d/%C3%BCber.html"_s << u"d_über"_s;
}

void TestRtfPlaces::readableName()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(RtfPlaces::readableName(key), expected);
}

void TestRtfPlaces::bookmarkName_data()
{
    QTest::addColumn<QString>("readable");
    QTest::addColumn<QString>("expected");
    QTest::newRow("hyphens") << u"installing-python"_s << u"installing_python"_s;
    QTest::newRow("digit first") << u"2nd"_s << u"id_2nd"_s;
    QTest::newRow("empty") << QString() << u"place"_s;
    QTest::newRow("accents") << u"ünïcode"_s << u"unicode"_s;
    QTest::newRow("not latin") << u"日本語"_s << u"place"_s;
    QTest::newRow("latin and not") << u"Ελλάδα-greece"_s << u"greece"_s;
    QTest::newRow("mixed") << u"Straße 1: Ärger"_s << u"Strasse_1_Arger"_s;
    QTest::newRow("ends trimmed") << u"--a..b--"_s << u"a_b"_s;
    QTest::newRow("underscore kept") << u"a_b"_s << u"a_b"_s;
    QTest::newRow("long") << QString(60, u'a') << QString(40, u'a');
    QTest::newRow("cut at separator") << (QString(39, u'a') + u"-bcd"_s) << QString(39, u'a');
    QTest::newRow("huge") << QString(1'000'000, u'-') + u"x"_s << u"place"_s;
}

void TestRtfPlaces::bookmarkName()
{
    QFETCH(QString, readable);
    QFETCH(QString, expected);
    const QString name = RtfPlaces::bookmarkName(readable);
    QCOMPARE(name, expected);
    QVERIFY(RtfPlaces::isValidBookmarkName(name));
}

void TestRtfPlaces::uniqueNames_data()
{
    QTest::addColumn<QStringList>("readables");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("distinct") << QStringList{u"a"_s, u"b"_s} << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("collision") << QStringList{u"intro"_s, u"intro"_s, u"Intro"_s}
                               << QStringList{u"intro"_s, u"intro_2"_s, u"Intro_3"_s};
    QTest::newRow("same after cleaning")
        << QStringList{u"a-b"_s, u"a.b"_s} << QStringList{u"a_b"_s, u"a_b_2"_s};
    QTest::newRow("suffix taken") << QStringList{u"a_2"_s, u"a"_s, u"a"_s}
                                  << QStringList{u"a_2"_s, u"a"_s, u"a_3"_s};
    const QString sixty(60, u'x');
    QTest::newRow("long collision")
        << QStringList{sixty, sixty, sixty}
        << QStringList{QString(40, u'x'), QString(38, u'x') + u"_2"_s, QString(38, u'x') + u"_3"_s};
}

void TestRtfPlaces::uniqueNames()
{
    QFETCH(QStringList, readables);
    QFETCH(QStringList, expected);
    RtfPlaces::BookmarkNames names;
    QStringList made;
    for (const QString &readable : readables)
        made << names.make(readable);
    QCOMPARE(made, expected);
    for (const QString &name : made) {
        QVERIFY(RtfPlaces::isValidBookmarkName(name));
        QVERIFY(names.contains(name.toUpper()));
    }
    QVERIFY(!names.reserve(made.first()));
}

void TestRtfPlaces::addName()
{
    QTextCharFormat format;
    RtfPlaces::addName(format, u"file:///a.html"_s);
    RtfPlaces::addName(format, u"x"_s);
    RtfPlaces::addName(format, u"x"_s);
    QVERIFY(format.isAnchor());
    QCOMPARE(RtfPlaces::names(format), (QStringList{u"file:///a.html"_s, u"x"_s}));
}

QTEST_APPLESS_MAIN(TestRtfPlaces)
#include "tst_rtfplaces.moc"

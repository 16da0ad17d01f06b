// A set of pages that link to each other and into themselves, joined by the window's run and by
// folvane-convert, as LibreOffice reads the result: links into the set jump to bookmarks inside
// the document, other links keep their addresses, headings are heading styles, and the
// converter's table of contents and page breaks are there when asked for.
#include "form1.h"
#include "pagelisthandlers.h"
#include "richtextbox.h"
#include "rtfplaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

const QString TextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString StyleNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString FoNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
const QString XlinkNs = QStringLiteral("http://www.w3.org/1999/xlink");

// What LibreOffice made of a document, from its flat ODT.
struct Odt {
    QHash<QString, QString> bookmarks;    // name -> the text after it in its paragraph
    QList<QPair<QString, QString>> links; // text, address
    struct Heading {
        QString text;
        int outlineLevel = 0;
        int styleLevel = 0; // N of the "Heading N" style it uses, 0 for none
    };
    QList<Heading> headings;
    int tablesOfContents = 0;
    QStringList contents;   // the paragraphs of the tables of contents
    QStringList onNewPage;  // paragraphs that begin a new page
    QStringList paragraphs; // every paragraph's text, headings included
};

Odt readFlatOdt(const QByteArray &xml)
{
    Odt odt;
    QHash<QString, QString> parent;
    QHash<QString, QString> displayName;
    QSet<QString> breakBefore;
    QString style;
    struct Open {
        QString text;
        bool heading = false;
        int outlineLevel = 0;
        QString style;
        QList<QPair<QString, qsizetype>> bookmarks; // name, where in text
    };
    QList<Open> open;
    QList<QPair<QString, QString>> links; // open links: address, text so far
    int inContents = 0;

    const auto headingLevel = [&](QString name) {
        static const QRegularExpression heading(QStringLiteral("^Heading(?: |_20_)([1-6])$"));
        for (int depth = 0; depth < 20 && !name.isEmpty(); ++depth) {
            for (const QString &n : {name, displayName.value(name)}) {
                const auto m = heading.match(n);
                if (m.hasMatch())
                    return m.captured(1).toInt();
            }
            name = parent.value(name);
        }
        return 0;
    };
    const auto pageBreak = [&](QString name) {
        for (int depth = 0; depth < 20 && !name.isEmpty(); ++depth) {
            if (breakBefore.contains(name))
                return true;
            name = parent.value(name);
        }
        return false;
    };
    const auto addText = [&](const QString &s) {
        if (!open.isEmpty())
            open.last().text += s;
        for (auto &link : links)
            link.second += s;
    };

    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        reader.readNext();
        const auto ns = reader.namespaceUri();
        const auto name = reader.name();
        if (reader.isStartElement()) {
            const auto a = reader.attributes();
            if (ns == StyleNs && name == u"style") {
                style = a.value(StyleNs, QStringLiteral("name")).toString();
                parent.insert(style,
                              a.value(StyleNs, QStringLiteral("parent-style-name")).toString());
                displayName.insert(style,
                                   a.value(StyleNs, QStringLiteral("display-name")).toString());
            } else if (ns == StyleNs && name == u"paragraph-properties") {
                if (a.value(FoNs, QStringLiteral("break-before")) == u"page")
                    breakBefore.insert(style);
            } else if (ns == TextNs && (name == u"p" || name == u"h")) {
                Open p;
                p.heading = name == u"h";
                p.outlineLevel = a.value(TextNs, QStringLiteral("outline-level")).toInt();
                p.style = a.value(TextNs, QStringLiteral("style-name")).toString();
                open << p;
            } else if (ns == TextNs && (name == u"bookmark" || name == u"bookmark-start")) {
                const QString bookmark = a.value(TextNs, QStringLiteral("name")).toString();
                if (!open.isEmpty())
                    open.last().bookmarks << qMakePair(bookmark, open.last().text.size());
                else
                    odt.bookmarks.insert(bookmark, QString());
            } else if (ns == TextNs && name == u"a") {
                links << qMakePair(a.value(XlinkNs, QStringLiteral("href")).toString(), QString());
            } else if (ns == TextNs && name == u"s") {
                addText(QString(qMax(1, a.value(TextNs, QStringLiteral("c")).toInt()), u' '));
            } else if (ns == TextNs && name == u"tab") {
                addText(QStringLiteral("\t"));
            } else if (ns == TextNs && name == u"line-break") {
                addText(QStringLiteral("\n"));
            } else if (ns == TextNs && name == u"table-of-content") {
                ++odt.tablesOfContents;
                ++inContents;
            }
        } else if (reader.isEndElement()) {
            if (ns == TextNs && (name == u"p" || name == u"h") && !open.isEmpty()) {
                const Open p = open.takeLast();
                for (const auto &[bookmark, at] : p.bookmarks)
                    odt.bookmarks.insert(bookmark, p.text.mid(at));
                if (p.heading)
                    odt.headings << Odt::Heading{p.text, p.outlineLevel, headingLevel(p.style)};
                if (inContents)
                    odt.contents << p.text;
                if (pageBreak(p.style))
                    odt.onNewPage << p.text;
                odt.paragraphs << p.text;
            } else if (ns == TextNs && name == u"a" && !links.isEmpty()) {
                const auto link = links.takeLast();
                odt.links << qMakePair(link.second, link.first);
            } else if (ns == TextNs && name == u"table-of-content") {
                --inContents;
            }
        } else if (reader.isCharacters()) {
            addText(reader.text().toString());
        }
    }
    return odt;
}

QString linkTo(const Odt &odt, const QString &text)
{
    for (const auto &[linkText, address] : odt.links) {
        if (linkText == text)
            return address;
    }
    return QStringLiteral("(no link \"%1\")").arg(text);
}

} // namespace

class tst_Navigable : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void windowSavesWhatTheConverterWrites();
    void linksJumpInside_data();
    void linksJumpInside();
    void everyInternalLinkHasItsBookmark_data();
    void everyInternalLinkHasItsBookmark();
    void headingsAreHeadingStyles_data();
    void headingsAreHeadingStyles();
    void tableOfContentsAndPageBreaks();

private:
    // Runs folvane-convert over the pages with arguments before them; the RTF it wrote.
    QByteArray convert(const QStringList &arguments);

    QTemporaryDir m_dir;
    QStringList m_pages;
    QByteArray m_window;              // the window's saved file
    QHash<QString, QByteArray> m_rtf; // by the converter's options
    QHash<QString, Odt> m_odt;        // the same, as LibreOffice read it
};

QByteArray tst_Navigable::convert(const QStringList &arguments)
{
    const QString out = m_dir.filePath(QStringLiteral("converted.rtf"));
    QFile::remove(out);
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.start(QStringLiteral(FOLVANE_CONVERT),
                  QStringList{QStringLiteral("-q"), QStringLiteral("-o"), out} + arguments +
                      m_pages);
    if (!process.waitForFinished(240000)) {
        process.kill();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qWarning("folvane-convert: %s", process.readAllStandardError().constData());
    QFile file(out);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void tst_Navigable::initTestCase()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QVERIFY(m_dir.isValid());
    const QString data = QFINDTESTDATA("data/navigable");
    QVERIFY(!data.isEmpty());
    for (const QString &name : QDir(data).entryList({QStringLiteral("*.html")}, QDir::Files))
        QVERIFY(QFile::copy(QDir(data).filePath(name), m_dir.filePath(name)));
    QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("beta.html")),
                        m_dir.filePath(QStringLiteral("beta-link.html"))));
    for (const char *page : {"alpha.html", "beta.html", "gamma.html"})
        m_pages << m_dir.filePath(QString::fromLatin1(page));

    // The window: the pages listed, Concatenate, and the pane's save.
    const QString saved = m_dir.filePath(QStringLiteral("window.rtf"));
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        PageListHandlers::open(form, m_pages);
        QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("Command1")),
                          Qt::LeftButton);
        auto *pane = form.findChild<RichTextBox *>(QStringLiteral("RichTextBox1"));
        pane->SaveFile(saved);
        QVERIFY(!pane->takeFailure());
    }
    QFile window(saved);
    QVERIFY(window.open(QIODevice::ReadOnly));
    m_window = window.readAll();

    const QList<QPair<QString, QStringList>> runs = {
        {QStringLiteral("default"), {}},
        {QStringLiteral("toc"), {QStringLiteral("--toc"), QStringLiteral("--page-breaks")}},
        {QStringLiteral("keep"), {QStringLiteral("--keep-links")}}};
    QStringList files;
    for (const auto &[name, arguments] : runs) {
        const QByteArray rtf = convert(arguments);
        QVERIFY2(!rtf.isEmpty(), qPrintable(name));
        m_rtf.insert(name, rtf);
        const QString file = m_dir.filePath(name + QStringLiteral(".rtf"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(rtf);
        files << file;
    }

    QProcess process;
    process.setProgram(soffice);
    process.setArguments(QStringList{QStringLiteral("--headless"), QStringLiteral("--norestore"),
                                     QStringLiteral("-env:UserInstallation=file://") +
                                         m_dir.filePath(QStringLiteral("profile")),
                                     QStringLiteral("--convert-to"), QStringLiteral("fodt"),
                                     QStringLiteral("--outdir"), m_dir.path()} +
                         files);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    QVERIFY(process.waitForFinished(300000));
    for (const auto &run : runs) {
        QFile fodt(m_dir.filePath(run.first + QStringLiteral(".fodt")));
        QVERIFY2(fodt.open(QIODevice::ReadOnly), process.readAll().constData());
        m_odt.insert(run.first, readFlatOdt(fodt.readAll()));
    }
}

// The window's run and the converter with its defaults write the same bytes.
void tst_Navigable::windowSavesWhatTheConverterWrites()
{
    QVERIFY(m_window == m_rtf.value(QStringLiteral("default")));
}

void tst_Navigable::linksJumpInside_data()
{
    QTest::addColumn<QString>("text");
    // Where it lands: the text after its bookmark; empty for a link that keeps its address.
    QTest::addColumn<QString>("lands");
    QTest::addColumn<QString>("address"); // relative to the pages' folder

    QTest::newRow("same page") << "to the introduction on the same page"
                               << "Introduction of Alpha"
                               << "alpha.html#intro";
    QTest::newRow("a page") << "to the Beta page"
                            << "Beta page"
                            << "beta.html";
    QTest::newRow("a place in another page") << "to Beta setup"
                                             << "Setting up Beta"
                                             << "beta.html#setup";
    QTest::newRow("a name") << "to the named place in Beta"
                            << "Named place in Beta"
                            << "beta.html#old";
    QTest::newRow("id no bookmark can be") << "to the dotted id"
                                           << "Dotted section"
                                           << "gamma.html#2.1-intro";
    QTest::newRow("id not in ASCII") << "to the umlaut id"
                                     << "Umlaut section"
                                     << "gamma.html#\u00fcber";
    QTest::newRow("same id, this page") << "to the shared id in Alpha"
                                        << "Shared id in Alpha"
                                        << "alpha.html#shared";
    QTest::newRow("same id, another page") << "to the shared id in Gamma"
                                           << "Shared id in Gamma"
                                           << "gamma.html#shared";
    QTest::newRow("hidden place") << "to a hidden place"
                                  << "Shown after the hidden note"
                                  << "gamma.html#hidden-note";
    QTest::newRow("dot segments") << "through dot segments"
                                  << "Setting up Beta"
                                  << "beta.html#setup";
    // kept by the file the link leads to
    QTest::newRow("symbolic link") << "through a symbolic link"
                                   << "Setting up Beta"
                                   << "beta.html#setup";
    QTest::newRow("back to the first page") << "back to Alpha"
                                            << "Alpha page"
                                            << "alpha.html";
    QTest::newRow("a page not in the list") << "to a page not in the list"
                                            << ""
                                            << "outside.html";
    QTest::newRow("a place in a page not in the list") << "to a place in a page not in the list"
                                                       << ""
                                                       << "outside.html#part";
    QTest::newRow("the web") << "to the web"
                             << ""
                             << "https://example.org/elsewhere";
}

void tst_Navigable::linksJumpInside()
{
    QFETCH(QString, text);
    QFETCH(QString, lands);
    QFETCH(QString, address);
    // LibreOffice gives the address of a file beside the document relative to it.
    const QUrl folder = QUrl::fromLocalFile(m_dir.path() + QLatin1Char('/'));
    const QString absolute = RtfPlaces::key(folder.resolved(QUrl(address)));
    // Written with --keep-links, every link has its address.
    const QString kept = linkTo(m_odt.value(QStringLiteral("keep")), text);
    QCOMPARE(RtfPlaces::key(folder.resolved(QUrl(kept))), absolute);

    const Odt &odt = m_odt.value(QStringLiteral("default"));
    const QString href = linkTo(odt, text);
    if (lands.isEmpty()) {
        QCOMPARE(RtfPlaces::key(folder.resolved(QUrl(href))), absolute);
        return;
    }
    QVERIFY2(href.startsWith(u'#'), qPrintable(href));
    const QString bookmark = href.mid(1);
    QVERIFY2(RtfPlaces::isValidBookmarkName(bookmark), qPrintable(bookmark));
    QVERIFY2(odt.bookmarks.contains(bookmark), qPrintable(bookmark));
    QVERIFY2(odt.bookmarks.value(bookmark).startsWith(lands),
             qPrintable(odt.bookmarks.value(bookmark)));
}

void tst_Navigable::everyInternalLinkHasItsBookmark_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<int>("internal"); // at least this many internal links
    QTest::newRow("default") << "default" << 12;
    QTest::newRow("--toc --page-breaks") << "toc" << 12;
    QTest::newRow("--keep-links") << "keep" << 0;
}

// No link leads nowhere, and none leads to a file of the pages' folder where an internal link
// is made.
void tst_Navigable::everyInternalLinkHasItsBookmark()
{
    QFETCH(QString, run);
    QFETCH(int, internal);
    const Odt &odt = m_odt.value(run);
    int internalLinks = 0;
    for (const auto &[text, href] : odt.links) {
        if (!href.startsWith(u'#'))
            continue;
        ++internalLinks;
        QVERIFY2(odt.bookmarks.contains(href.mid(1)),
                 qPrintable(text + QLatin1String(": ") + href));
    }
    if (internal == 0)
        QCOMPARE(internalLinks, 0);
    else
        QVERIFY2(internalLinks >= internal, qPrintable(QString::number(internalLinks)));
}

void tst_Navigable::headingsAreHeadingStyles_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("level");
    QTest::newRow("1") << "Alpha page" << 1;
    QTest::newRow("2") << "Introduction of Alpha" << 2;
    QTest::newRow("3") << "Shared id in Alpha" << 3;
    QTest::newRow("4") << "Beta fourth level" << 4;
    QTest::newRow("5") << "Gamma fifth level" << 5;
    QTest::newRow("6") << "Gamma sixth level" << 6;
    QTest::newRow("2, not in ASCII") << "Umlaut section" << 2;
}

void tst_Navigable::headingsAreHeadingStyles()
{
    QFETCH(QString, text);
    QFETCH(int, level);
    const Odt &odt = m_odt.value(QStringLiteral("default"));
    int found = 0;
    for (const Odt::Heading &h : odt.headings) {
        if (h.text.trimmed() != text)
            continue;
        ++found;
        QCOMPARE(h.outlineLevel, level);
        QCOMPARE(h.styleLevel, level);
    }
    QCOMPARE(found, 1);
    // A paragraph that is no heading is none in LibreOffice either.
    for (const Odt::Heading &h : odt.headings)
        QVERIFY2(!h.text.contains(QStringLiteral("opening text")), qPrintable(h.text));
}

// The table of contents lists the headings of levels 1 to 3 and nothing deeper; every page after
// the first starts on a new page.
void tst_Navigable::tableOfContentsAndPageBreaks()
{
    const Odt &plain = m_odt.value(QStringLiteral("default"));
    QCOMPARE(plain.tablesOfContents, 0);
    QVERIFY2(plain.onNewPage.isEmpty(), qPrintable(plain.onNewPage.join(u'|')));

    const Odt &odt = m_odt.value(QStringLiteral("toc"));
    QCOMPARE(odt.tablesOfContents, 1);
    const QString contents = odt.contents.join(u'\n');
    for (const char *entry :
         {"Alpha page", "Introduction of Alpha", "Shared id in Alpha", "Beta page",
          "Setting up Beta", "Gamma page", "Dotted section", "Shared id in Gamma"})
        QVERIFY2(contents.contains(QLatin1String(entry)), qPrintable(contents));
    for (const char *deeper : {"Beta fourth level", "Gamma fifth level", "Gamma sixth level"})
        QVERIFY2(!contents.contains(QLatin1String(deeper)), qPrintable(contents));
    // the entries are links to their headings
    int entryLinks = 0;
    for (const auto &[text, href] : odt.links) {
        if (!text.contains(QStringLiteral("Setting up Beta")))
            continue;
        ++entryLinks;
        QVERIFY2(odt.bookmarks.value(href.mid(1)).startsWith(QStringLiteral("Setting up Beta")),
                 qPrintable(href));
    }
    QCOMPARE(entryLinks, 1);

    QStringList pagesOnNewPage;
    for (const QString &p : odt.onNewPage)
        pagesOnNewPage << p.trimmed();
    pagesOnNewPage.removeAll(QStringLiteral("Alpha page")); // after the table of contents
    QCOMPARE(pagesOnNewPage,
             (QStringList{QStringLiteral("Beta page"), QStringLiteral("Gamma page")}));
}

QTEST_MAIN(tst_Navigable)
#include "tst_navigable.moc"

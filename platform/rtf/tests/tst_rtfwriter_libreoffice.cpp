// LibreOffice reads the writer's RTF: every document is converted to flat ODT in one soffice
// run and the ODT is checked for the same text and the key formats.

#include "rtfformat.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QXmlStreamReader>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// What LibreOffice's flat ODT says about a document, reduced to what the checks need.
struct Odt {
    using Properties = QMap<QString, QString>;
    struct Style {
        QString parent;
        QString listStyle;
        Properties properties;
    };
    struct ListLevel {
        QString kind; // "number" or "bullet"
        QString format;
        QString start;
        QString bullet;
    };
    struct Run {
        QString text;
        QString style;
        QString href;
    };
    struct Paragraph {
        QString style;
        QList<Run> runs;
        int listDepth = 0;
        QString listStyle;
        int tableDepth = 0;
        QString text() const
        {
            QString all;
            for (const Run &run : runs)
                all += run.text;
            return all;
        }
    };
    struct Cell {
        QString text;
        QString style;
        int columnSpan = 1;
        int rowSpan = 1;
        bool covered = false;
        int nestedTables = 0;
    };
    struct Table {
        int depth = 0;
        QList<QList<Cell>> rows;
    };
    struct Image {
        QString width;
        QString height;
        QString mime;
        qsizetype dataSize = 0;
    };

    QMap<QString, Style> styles;
    QMap<QString, QMap<int, ListLevel>> listStyles;
    QList<Paragraph> paragraphs;
    QList<Table> tables;
    QList<Image> images;

    // The properties in force for a style, its parents' below its own.
    Properties resolved(const QString &name) const
    {
        Properties result;
        QStringList chain;
        for (QString at = name; !at.isEmpty() && !chain.contains(at); at = styles.value(at).parent)
            chain.prepend(at);
        for (const QString &style : chain) {
            const Properties &own = styles.value(style).properties;
            for (auto it = own.cbegin(); it != own.cend(); ++it)
                result.insert(it.key(), it.value());
        }
        return result;
    }
    // Character properties of the run holding text: its paragraph's, then its span's.
    Properties runProperties(const QString &text, QString *href = nullptr) const
    {
        for (const Paragraph &paragraph : paragraphs) {
            for (const Run &run : paragraph.runs) {
                if (!run.text.contains(text))
                    continue;
                Properties result = resolved(paragraph.style);
                const Properties span = resolved(run.style);
                for (auto it = span.cbegin(); it != span.cend(); ++it)
                    result.insert(it.key(), it.value());
                if (href)
                    *href = run.href;
                return result;
            }
        }
        return {};
    }
    const Paragraph *paragraph(const QString &text) const
    {
        for (const Paragraph &paragraph : paragraphs) {
            if (paragraph.text().contains(text))
                return &paragraph;
        }
        return nullptr;
    }

    static Odt parse(const QByteArray &xml)
    {
        Odt odt;
        QXmlStreamReader reader(xml);
        QString style;
        QString listStyle;
        QStringList spans;
        QStringList links;
        QStringList lists;
        QList<int> openTables; // indexes into tables
        QList<QPoint> openCells;
        bool inParagraph = false;
        bool inBinary = false;
        int inFrame = 0;
        const auto addText = [&](const QString &text) {
            if (!inParagraph || odt.paragraphs.isEmpty())
                return;
            odt.paragraphs.last().runs.append({text, spans.isEmpty() ? QString() : spans.last(),
                                               links.isEmpty() ? QString() : links.last()});
            if (!openTables.isEmpty() && !openCells.isEmpty())
                cell(odt, openTables.last()).text += text;
        };
        while (!reader.atEnd()) {
            reader.readNext();
            const QString name = reader.qualifiedName().toString();
            const QXmlStreamAttributes attributes = reader.attributes();
            const auto attribute = [&](const char *key) {
                return attributes.value(QLatin1StringView(key)).toString();
            };
            if (reader.isStartElement()) {
                if (name == "style:style"_L1) {
                    style = attribute("style:name");
                    odt.styles[style].parent = attribute("style:parent-style-name");
                    odt.styles[style].listStyle = attribute("style:list-style-name");
                } else if (name.endsWith("-properties"_L1) && !style.isEmpty()) {
                    for (const QXmlStreamAttribute &a : attributes)
                        odt.styles[style].properties.insert(a.qualifiedName().toString(),
                                                            a.value().toString());
                } else if (name == "style:tab-stop"_L1 && !style.isEmpty()) {
                    QString &stops = odt.styles[style].properties[u"tab-stops"_s];
                    stops +=
                        (attribute("style:type").isEmpty() ? u"left"_s : attribute("style:type")) +
                        u'@' + attribute("style:position") + u' ';
                } else if (name == "text:list-style"_L1) {
                    listStyle = attribute("style:name");
                } else if (name == "text:list-level-style-number"_L1 ||
                           name == "text:list-level-style-bullet"_L1) {
                    odt.listStyles[listStyle][attribute("text:level").toInt()] = {
                        name.endsWith("number"_L1) ? u"number"_s : u"bullet"_s,
                        attribute("style:num-format"), attribute("text:start-value"),
                        attribute("text:bullet-char")};
                } else if (name == "text:list"_L1) {
                    lists.append(attribute("text:style-name"));
                } else if (name == "text:p"_L1 || name == "text:h"_L1) {
                    inParagraph = true;
                    Paragraph paragraph;
                    paragraph.style = attribute("text:style-name");
                    paragraph.listDepth = int(lists.size());
                    for (const QString &list : lists) {
                        if (!list.isEmpty())
                            paragraph.listStyle = list;
                    }
                    if (paragraph.listStyle.isEmpty())
                        paragraph.listStyle = odt.styles.value(paragraph.style).listStyle;
                    paragraph.tableDepth = int(openTables.size());
                    if (!openTables.isEmpty() && !openCells.isEmpty() &&
                        !cell(odt, openTables.last()).text.isEmpty())
                        cell(odt, openTables.last()).text += u'\n';
                    odt.paragraphs.append(paragraph);
                } else if (name == "text:span"_L1) {
                    spans.append(attribute("text:style-name"));
                } else if (name == "text:a"_L1) {
                    links.append(attribute("xlink:href"));
                } else if (name == "text:s"_L1) {
                    addText(QString(qMax(1, attribute("text:c").toInt()), u' '));
                } else if (name == "text:tab"_L1) {
                    addText(u"\t"_s);
                } else if (name == "text:line-break"_L1) {
                    addText(u"\u2028"_s);
                } else if (name == "table:table"_L1) {
                    if (!openTables.isEmpty() && !openCells.isEmpty())
                        ++cell(odt, openTables.last()).nestedTables;
                    odt.tables.append(Table{int(openTables.size()) + 1, {}});
                    openTables.append(int(odt.tables.size()) - 1);
                } else if (name == "table:table-row"_L1) {
                    odt.tables[openTables.last()].rows.append(QList<Cell>());
                } else if (name == "table:table-cell"_L1 || name == "table:covered-table-cell"_L1) {
                    Cell cell;
                    cell.style = attribute("table:style-name");
                    cell.covered = name == "table:covered-table-cell"_L1;
                    cell.columnSpan = qMax(1, attribute("table:number-columns-spanned").toInt());
                    cell.rowSpan = qMax(1, attribute("table:number-rows-spanned").toInt());
                    odt.tables[openTables.last()].rows.last().append(cell);
                    openCells.append(QPoint());
                } else if (name == "draw:frame"_L1) {
                    ++inFrame;
                    odt.images.append(
                        Image{attribute("svg:width"), attribute("svg:height"), {}, 0});
                } else if (name == "draw:image"_L1 && !odt.images.isEmpty()) {
                    odt.images.last().mime = attribute("draw:mime-type");
                } else if (name == "office:binary-data"_L1) {
                    inBinary = true;
                }
            } else if (reader.isEndElement()) {
                if (name == "style:style"_L1) {
                    style.clear();
                } else if (name == "text:list"_L1) {
                    lists.removeLast();
                } else if (name == "text:p"_L1 || name == "text:h"_L1) {
                    inParagraph = false;
                } else if (name == "text:span"_L1) {
                    spans.removeLast();
                } else if (name == "text:a"_L1) {
                    links.removeLast();
                } else if (name == "table:table"_L1) {
                    openTables.removeLast();
                } else if (name == "table:table-cell"_L1 || name == "table:covered-table-cell"_L1) {
                    openCells.removeLast();
                } else if (name == "office:binary-data"_L1) {
                    inBinary = false;
                } else if (name == "draw:frame"_L1) {
                    --inFrame;
                }
            } else if (reader.isCharacters()) {
                if (inBinary && !odt.images.isEmpty())
                    odt.images.last().dataSize += reader.text().trimmed().size();
                else if (inParagraph && !inFrame)
                    addText(reader.text().toString());
            }
        }
        return odt;
    }

    static Cell &cell(Odt &odt, int table) { return odt.tables[table].rows.last().last(); }
};

// A length such as "0.4165in" or "12pt" in points; NaN when it is none.
double points(const QString &length)
{
    static const QRegularExpression pattern(u"^(-?[0-9.]+)(in|cm|mm|pt)$"_s);
    const auto match = pattern.match(length);
    if (!match.hasMatch())
        return qQNaN();
    const double value = match.captured(1).toDouble();
    const QString unit = match.captured(2);
    if (unit == "in"_L1)
        return value * 72;
    if (unit == "cm"_L1)
        return value * 72 / 2.54;
    if (unit == "mm"_L1)
        return value * 72 / 25.4;
    return value;
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

void insertRun(QTextCursor &cursor, const QString &text,
               const std::function<void(QTextCharFormat &)> &set)
{
    QTextCharFormat format;
    set(format);
    cursor.insertText(text, format);
    cursor.insertText(u" "_s, QTextCharFormat());
}

std::unique_ptr<QTextDocument> formatsDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    insertRun(cursor, u"heavy"_s, [](auto &f) { f.setFontWeight(QFont::Bold); });
    insertRun(cursor, u"slanted"_s, [](auto &f) { f.setFontItalic(true); });
    insertRun(cursor, u"underlined"_s, [](auto &f) { f.setFontUnderline(true); });
    insertRun(cursor, u"dashed"_s,
              [](auto &f) { f.setUnderlineStyle(QTextCharFormat::DashUnderline); });
    insertRun(cursor, u"wavy"_s,
              [](auto &f) { f.setUnderlineStyle(QTextCharFormat::WaveUnderline); });
    insertRun(cursor, u"struck"_s, [](auto &f) { f.setFontStrikeOut(true); });
    insertRun(cursor, u"raised"_s,
              [](auto &f) { f.setVerticalAlignment(QTextCharFormat::AlignSuperScript); });
    insertRun(cursor, u"lowered"_s,
              [](auto &f) { f.setVerticalAlignment(QTextCharFormat::AlignSubScript); });
    insertRun(cursor, u"reddish"_s, [](auto &f) { f.setForeground(QColor(200, 0, 0)); });
    insertRun(cursor, u"marked"_s, [](auto &f) { f.setBackground(QColor(255, 255, 0)); });
    insertRun(cursor, u"large"_s, [](auto &f) { f.setFontPointSize(15); });
    insertRun(cursor, u"pixels"_s, [](auto &f) { f.setProperty(QTextFormat::FontPixelSize, 24); });
    insertRun(cursor, u"typed"_s, [](auto &f) { f.setFontFamilies({u"Courier New"_s}); });
    insertRun(cursor, u"smallcaps"_s, [](auto &f) { f.setFontCapitalization(QFont::SmallCaps); });
    insertRun(cursor, u"shouting"_s, [](auto &f) { f.setFontCapitalization(QFont::AllUppercase); });
    insertRun(cursor, u"linked"_s, [](auto &f) {
        f.setAnchor(true);
        f.setAnchorHref(u"https://example.org/path?q=1"_s);
        f.setFontUnderline(true);
        f.setForeground(QColor(0, 0, 238));
    });
    cursor.insertBlock();
    cursor.insertText(u"Unicode: caf\u00e9 \u20ac \u4e2d\u6587 \U0001F600 \u0416"_s);
    QTextBlockFormat preformatted;
    preformatted.setNonBreakableLines(true);
    cursor.insertBlock(preformatted);
    cursor.insertText(u"pre    four\tspaces\u2028next line"_s);
    return document;
}

std::unique_ptr<QTextDocument> paragraphsDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    const auto paragraph = [&cursor](const QString &text, const auto &set) {
        QTextBlockFormat format;
        set(format);
        cursor.insertBlock(format);
        cursor.insertText(text);
    };
    cursor.insertText(u"plain start"_s);
    paragraph(u"centred"_s, [](auto &f) { f.setAlignment(Qt::AlignHCenter); });
    paragraph(u"flush right"_s, [](auto &f) { f.setAlignment(Qt::AlignRight); });
    paragraph(u"justified"_s, [](auto &f) { f.setAlignment(Qt::AlignJustify); });
    paragraph(u"indented"_s, [](auto &f) { f.setLeftMargin(48); });
    paragraph(u"hanging"_s, [](auto &f) {
        f.setLeftMargin(96);
        f.setTextIndent(-24);
    });
    paragraph(u"right margin"_s, [](auto &f) { f.setRightMargin(72); });
    paragraph(u"spaced"_s, [](auto &f) {
        f.setTopMargin(16);
        f.setBottomMargin(8);
    });
    paragraph(u"airy"_s,
              [](auto &f) { f.setLineHeight(200, QTextBlockFormat::ProportionalHeight); });
    paragraph(u"new page"_s,
              [](auto &f) { f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore); });
    paragraph(u"shaded"_s, [](auto &f) { f.setBackground(QColor(0xcc, 0xee, 0xff)); });
    paragraph(u"tabbed\tcentre\tright"_s, [](auto &f) {
        f.setTabPositions({QTextOption::Tab(96, QTextOption::CenterTab),
                           QTextOption::Tab(192, QTextOption::RightTab)});
    });
    return document;
}

std::unique_ptr<QTextDocument> listsDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    cursor.insertText(u"before lists"_s);
    const auto list = [&cursor](QTextListFormat::Style style, int start, int indent,
                                const QStringList &items) {
        QTextListFormat format;
        format.setStyle(style);
        format.setIndent(indent);
        if (start != 1)
            format.setProperty(RtfFormat::ListStart, start);
        cursor.insertList(format);
        cursor.insertText(items.first());
        for (qsizetype i = 1; i < items.size(); ++i) {
            cursor.insertBlock();
            cursor.insertText(items.at(i));
        }
    };
    list(QTextListFormat::ListDecimal, 3, 1, {u"decimal three"_s, u"decimal four"_s});
    list(QTextListFormat::ListCircle, 1, 2, {u"nested circle"_s});
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(u"between"_s);
    list(QTextListFormat::ListLowerAlpha, 1, 1, {u"alpha one"_s});
    cursor.insertBlock(QTextBlockFormat());
    list(QTextListFormat::ListUpperRoman, 4, 1, {u"roman four"_s});
    cursor.insertBlock(QTextBlockFormat());
    list(QTextListFormat::ListDisc, 1, 1, {u"disc item"_s});
    cursor.insertBlock(QTextBlockFormat());
    list(QTextListFormat::ListSquare, 1, 1, {u"square item"_s});
    // lists like earlier ones, apart from them: bullets share their definition in the file,
    // numbers start afresh
    cursor.insertBlock(QTextBlockFormat());
    list(QTextListFormat::ListDisc, 1, 1, {u"second disc"_s});
    cursor.insertBlock(QTextBlockFormat());
    list(QTextListFormat::ListDecimal, 1, 1, {u"restarted one"_s, u"restarted two"_s});
    // items without markers, at two levels
    cursor.insertBlock(QTextBlockFormat());
    list(QTextListFormat::ListStyleUndefined, 1, 1, {u"unmarked one"_s});
    list(QTextListFormat::ListStyleUndefined, 1, 2, {u"unmarked nested"_s});
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(u"after lists"_s);
    return document;
}

std::unique_ptr<QTextDocument> tablesDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    cursor.insertText(u"table follows"_s);
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setCellPadding(4);
    format.setHeaderRowCount(1);
    format.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 96),
                                      QTextLength(QTextLength::PercentageLength, 40),
                                      QTextLength()});
    QTextTable *table = cursor.insertTable(4, 3, format);
    table->mergeCells(1, 0, 2, 1);
    table->mergeCells(1, 1, 1, 2);
    table->mergeCells(3, 0, 1, 3);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() == r && cell.column() == c)
                cell.firstCursorPosition().insertText(u"c%1%2"_s.arg(r).arg(c));
        }
    }
    QTextTableCellFormat shaded;
    shaded.setBackground(QColor(0x99, 0xcc, 0x33));
    shaded.setLeftPadding(12);
    table->cellAt(0, 1).setFormat(shaded);
    QTextCursor inCell = table->cellAt(2, 2).lastCursorPosition();
    QTextTable *inner = inCell.insertTable(2, 2);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 2; ++c)
            inner->cellAt(r, c).firstCursorPosition().insertText(u"n%1%2"_s.arg(r).arg(c));
    }
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(u"after table"_s);
    return document;
}

std::unique_ptr<QTextDocument> imagesDocument()
{
    auto document = std::make_unique<QTextDocument>();
    QImage image(48, 24, QImage::Format_RGB32);
    image.fill(QColor(30, 90, 160));
    document->addResource(QTextDocument::ImageResource, QUrl(u"img:png"_s), encoded(image, "PNG"));
    document->addResource(QTextDocument::ImageResource, QUrl(u"img:jpeg"_s),
                          encoded(image, "JPEG"));
    document->addResource(QTextDocument::ImageResource, QUrl(u"img:qimage"_s), image);
    QTextCursor cursor(document.get());
    cursor.insertText(u"png "_s);
    QTextImageFormat format;
    format.setName(u"img:png"_s);
    format.setWidth(96);
    cursor.insertImage(format);
    cursor.insertText(u" jpeg "_s);
    format = QTextImageFormat();
    format.setName(u"img:jpeg"_s);
    cursor.insertImage(format);
    cursor.insertText(u" qimage "_s);
    format.setName(u"img:qimage"_s);
    format.setHeight(12);
    cursor.insertImage(format);
    return document;
}

} // namespace

class tst_RtfWriterLibreOffice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void text_data();
    void text();
    void characterFormats_data();
    void characterFormats();
    void hyperlink();
    void paragraphFormats_data();
    void paragraphFormats();
    void lists_data();
    void lists();
    void tables();
    void images();

private:
    QTemporaryDir m_directory;
    QMap<QString, Odt> m_converted;
};

void tst_RtfWriterLibreOffice::initTestCase()
{
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QVERIFY(m_directory.isValid());

    const std::pair<QString, std::unique_ptr<QTextDocument>> documents[] = {
        {u"formats"_s, formatsDocument()},
        {u"paragraphs"_s, paragraphsDocument()},
        {u"lists"_s, listsDocument()},
        {u"tables"_s, tablesDocument()},
        {u"images"_s, imagesDocument()}};
    QStringList files;
    for (const auto &[name, document] : documents) {
        QFile file(m_directory.filePath(name + u".rtf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(RtfWriter::write(*document));
        files << file.fileName();
    }
    // A range: the middle block of the formats document, nothing before or after it.
    {
        const auto document = formatsDocument();
        const QTextBlock middle = document->findBlockByNumber(1);
        QFile file(m_directory.filePath(u"range.rtf"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(RtfWriter::write(*document, middle.position() + 9,
                                    middle.position() + middle.length() - 1));
        files << file.fileName();
    }

    QProcess process;
    process.setProgram(soffice);
    process.setArguments(
        QStringList{u"--headless"_s, u"--norestore"_s,
                    u"-env:UserInstallation=file://"_s + m_directory.filePath(u"profile"_s),
                    u"--convert-to"_s, u"fodt"_s, u"--outdir"_s, m_directory.filePath(u"out"_s)} +
        files);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start();
    QVERIFY(process.waitForFinished(180000));
    for (const QString &path : std::as_const(files)) {
        const QString name = QFileInfo(path).completeBaseName();
        QFile file(m_directory.filePath(u"out/"_s + name + u".fodt"_s));
        QVERIFY2(file.open(QIODevice::ReadOnly), process.readAll().constData());
        m_converted.insert(name, Odt::parse(file.readAll()));
    }
}

void tst_RtfWriterLibreOffice::text_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("paragraph");
    QTest::newRow("runs")
        << u"formats"_s
        << u"heavy slanted underlined dashed wavy struck raised lowered reddish marked "
           u"large pixels typed smallcaps shouting linked "_s;
    QTest::newRow("non-ascii") << u"formats"_s
                               << u"Unicode: caf\u00e9 \u20ac \u4e2d\u6587 \U0001F600 \u0416"_s;
    QTest::newRow("preformatted") << u"formats"_s << u"pre    four\tspaces\u2028next line"_s;
    QTest::newRow("range") << u"range"_s << u"caf\u00e9 \u20ac \u4e2d\u6587 \U0001F600 \u0416"_s;
}

void tst_RtfWriterLibreOffice::text()
{
    QFETCH(QString, document);
    QFETCH(QString, paragraph);
    const Odt &odt = m_converted[document];
    QStringList texts;
    for (const auto &p : odt.paragraphs)
        texts << p.text();
    QVERIFY2(texts.contains(paragraph), qPrintable(texts.join(u" | "_s)));
    if (document == "range"_L1) {
        texts.removeAll(QString());
        QCOMPARE(texts, QStringList{paragraph});
    }
}

void tst_RtfWriterLibreOffice::characterFormats_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("bold") << u"heavy"_s << u"fo:font-weight"_s << u"bold"_s;
    QTest::newRow("italic") << u"slanted"_s << u"fo:font-style"_s << u"italic"_s;
    QTest::newRow("underline") << u"underlined"_s << u"style:text-underline-style"_s << u"solid"_s;
    QTest::newRow("dashed underline")
        << u"dashed"_s << u"style:text-underline-style"_s << u"dash"_s;
    QTest::newRow("wavy underline") << u"wavy"_s << u"style:text-underline-style"_s << u"wave"_s;
    QTest::newRow("strike") << u"struck"_s << u"style:text-line-through-style"_s << u"solid"_s;
    QTest::newRow("superscript") << u"raised"_s << u"style:text-position"_s << u"super.*"_s;
    QTest::newRow("subscript") << u"lowered"_s << u"style:text-position"_s << u"sub.*"_s;
    QTest::newRow("colour") << u"reddish"_s << u"fo:color"_s << u"#c80000"_s;
    QTest::newRow("background") << u"marked"_s << u"fo:background-color"_s << u"#ffff00"_s;
    QTest::newRow("point size") << u"large"_s << u"fo:font-size"_s << u"15pt"_s;
    QTest::newRow("pixel size") << u"pixels"_s << u"fo:font-size"_s << u"18pt"_s;
    QTest::newRow("font") << u"typed"_s << u"style:font-name"_s << u"Courier New"_s;
    QTest::newRow("small capitals") << u"smallcaps"_s << u"fo:font-variant"_s << u"small-caps"_s;
    QTest::newRow("capitals") << u"shouting"_s << u"fo:text-transform"_s << u"uppercase"_s;
    QTest::newRow("plain stays plain") << u"Unicode"_s << u"fo:font-weight"_s << u"(normal)?"_s;
}

void tst_RtfWriterLibreOffice::characterFormats()
{
    QFETCH(QString, run);
    QFETCH(QString, property);
    QFETCH(QString, pattern);
    const Odt::Properties properties = m_converted[u"formats"_s].runProperties(run);
    QVERIFY2(!properties.isEmpty() || pattern.endsWith(u'?'), qPrintable(run));
    const QString value = properties.value(property);
    QVERIFY2(
        QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(value).hasMatch(),
        qPrintable(property + u"="_s + value));
}

void tst_RtfWriterLibreOffice::hyperlink()
{
    QString href;
    const Odt::Properties properties = m_converted[u"formats"_s].runProperties(u"linked"_s, &href);
    QCOMPARE(href, u"https://example.org/path?q=1"_s);
    QCOMPARE(properties.value(u"fo:color"_s), u"#0000ee"_s);
    QString other;
    m_converted[u"formats"_s].runProperties(u"shouting"_s, &other);
    QVERIFY(other.isEmpty());
}

void tst_RtfWriterLibreOffice::paragraphFormats_data()
{
    QTest::addColumn<QString>("paragraph");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("points");
    const double text = qQNaN();
    QTest::newRow("centre") << u"centred"_s << u"fo:text-align"_s << u"center"_s << text;
    QTest::newRow("right") << u"flush right"_s << u"fo:text-align"_s << u"end|right"_s << text;
    QTest::newRow("justify") << u"justified"_s << u"fo:text-align"_s << u"justify"_s << text;
    QTest::newRow("left indent") << u"indented"_s << u"fo:margin-left"_s << QString() << 36.0;
    QTest::newRow("hanging left") << u"hanging"_s << u"fo:margin-left"_s << QString() << 72.0;
    QTest::newRow("hanging first") << u"hanging"_s << u"fo:text-indent"_s << QString() << -18.0;
    QTest::newRow("right indent") << u"right margin"_s << u"fo:margin-right"_s << QString() << 54.0;
    QTest::newRow("space before") << u"spaced"_s << u"fo:margin-top"_s << QString() << 12.0;
    QTest::newRow("space after") << u"spaced"_s << u"fo:margin-bottom"_s << QString() << 6.0;
    QTest::newRow("line spacing") << u"airy"_s << u"fo:line-height"_s << u"200%"_s << text;
    QTest::newRow("page break") << u"new page"_s << u"fo:break-before"_s << u"page"_s << text;
    QTest::newRow("background") << u"shaded"_s << u"fo:background-color"_s << u"#cceeff"_s << text;
    QTest::newRow("tab stops") << u"tabbed"_s << u"tab-stops"_s
                               << u"center@1(\\.0+)?in right@2(\\.0+)?in "_s << text;
    QTest::newRow("default alignment")
        << u"plain start"_s << u"fo:text-align"_s << u"(start)?"_s << text;
}

void tst_RtfWriterLibreOffice::paragraphFormats()
{
    QFETCH(QString, paragraph);
    QFETCH(QString, property);
    QFETCH(QString, pattern);
    QFETCH(double, points);
    const Odt &odt = m_converted[u"paragraphs"_s];
    const Odt::Paragraph *found = odt.paragraph(paragraph);
    QVERIFY2(found, qPrintable(paragraph));
    const QString value = odt.resolved(found->style).value(property);
    if (qIsNaN(points)) {
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                     .match(value)
                     .hasMatch(),
                 qPrintable(property + u"="_s + value));
    } else {
        QVERIFY2(qAbs(::points(value) - points) < 0.5, qPrintable(property + u"="_s + value));
    }
}

void tst_RtfWriterLibreOffice::lists_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("start");
    QTest::newRow("decimal") << u"decimal four"_s << 1 << u"number"_s << u"1"_s << u"3"_s;
    QTest::newRow("nested bullet")
        << u"nested circle"_s << 2 << u"bullet"_s << u"\u25e6"_s << QString();
    QTest::newRow("lower alpha") << u"alpha one"_s << 1 << u"number"_s << u"a"_s << u"1"_s;
    QTest::newRow("upper roman") << u"roman four"_s << 1 << u"number"_s << u"I"_s << u"4"_s;
    QTest::newRow("disc") << u"disc item"_s << 1 << u"bullet"_s << u"\u2022"_s << QString();
    QTest::newRow("square") << u"square item"_s << 1 << u"bullet"_s << u"\u25aa"_s << QString();
    QTest::newRow("second disc list")
        << u"second disc"_s << 1 << u"bullet"_s << u"\u2022"_s << QString();
    QTest::newRow("second decimal list")
        << u"restarted two"_s << 1 << u"number"_s << u"1"_s << u"1"_s;
    // a list item all the same, at its level, with neither number nor bullet
    QTest::newRow("no marker") << u"unmarked one"_s << 1 << u"number"_s << QString() << u"1"_s;
    QTest::newRow("no marker, nested")
        << u"unmarked nested"_s << 2 << u"number"_s << QString() << u"1"_s;
}

void tst_RtfWriterLibreOffice::lists()
{
    QFETCH(QString, item);
    QFETCH(int, depth);
    QFETCH(QString, kind);
    QFETCH(QString, format);
    QFETCH(QString, start);
    const Odt &odt = m_converted[u"lists"_s];
    QCOMPARE(odt.paragraph(u"before lists"_s)->listDepth, 0);
    QCOMPARE(odt.paragraph(u"between"_s)->listDepth, 0);
    const Odt::Paragraph *paragraph = odt.paragraph(item);
    QVERIFY(paragraph);
    QCOMPARE(paragraph->listDepth, depth);
    const Odt::ListLevel level = odt.listStyles.value(paragraph->listStyle).value(depth);
    QCOMPARE(level.kind, kind);
    if (kind == "number"_L1) {
        QCOMPARE(level.format, format);
        QCOMPARE(level.start.isEmpty() ? u"1"_s : level.start, start);
    } else {
        QCOMPARE(level.bullet, format);
    }
}

void tst_RtfWriterLibreOffice::tables()
{
    const Odt &odt = m_converted[u"tables"_s];
    QCOMPARE(odt.tables.size(), 2);
    const Odt::Table &outer = odt.tables.at(0);
    QCOMPARE(outer.depth, 1);
    QCOMPARE(outer.rows.size(), 4);
    // \trhdr is written (see tst_rtfwriter) but LibreOffice's RTF import does not turn it
    // into repeated header rows, so header rows are not checked here.
    QStringList grid;
    for (const auto &row : outer.rows) {
        QCOMPARE(row.size(), 3);
        QStringList cells;
        for (const Odt::Cell &cell : row) {
            cells << (cell.covered ? u"-"_s
                                   : u"%1[%2x%3]"_s.arg(cell.text.section(u'\n', 0, 0))
                                         .arg(cell.rowSpan)
                                         .arg(cell.columnSpan));
        }
        grid << cells.join(u' ');
    }
    QCOMPARE(grid, (QStringList{u"c00[1x1] c01[1x1] c02[1x1]"_s, u"c10[2x1] c11[1x2] -"_s,
                                u"- c21[1x1] c22[1x1]"_s, u"c30[1x3] - -"_s}));
    const QString cellStyle = outer.rows.at(0).at(1).style;
    QCOMPARE(odt.resolved(cellStyle).value(u"fo:background-color"_s), u"#99cc33"_s);
    QVERIFY2(qAbs(points(odt.resolved(cellStyle).value(u"fo:padding-left"_s)) - 9) < 0.5,
             qPrintable(odt.resolved(cellStyle).value(u"fo:padding-left"_s)));
    QVERIFY2(qAbs(points(odt.resolved(cellStyle).value(u"fo:padding-top"_s)) - 3) < 0.5,
             qPrintable(odt.resolved(cellStyle).value(u"fo:padding-top"_s)));
    QVERIFY(
        odt.resolved(outer.rows.at(0).at(0).style).value(u"fo:border"_s).contains(u"solid"_s) ||
        odt.resolved(outer.rows.at(0).at(0).style).value(u"fo:border-top"_s).contains(u"solid"_s));

    QCOMPARE(outer.rows.at(2).at(2).nestedTables, 1);
    const Odt::Table &inner = odt.tables.at(1);
    QCOMPARE(inner.depth, 2);
    QCOMPARE(inner.rows.size(), 2);
    QCOMPARE(inner.rows.at(0).size(), 2);
    QCOMPARE(inner.rows.at(1).at(1).text, u"n11"_s);
    QVERIFY(odt.paragraph(u"after table"_s));
    QCOMPARE(odt.paragraph(u"after table"_s)->tableDepth, 0);

    // Column widths: 96 px is one inch, 40 % of the 6.5 in text width.
    QMap<QString, QList<double>> columnWidths; // by table style
    for (auto it = odt.styles.cbegin(); it != odt.styles.cend(); ++it) {
        const QString width = it.value().properties.value(u"style:column-width"_s);
        if (!width.isEmpty())
            columnWidths[it.key().section(u'.', 0, 0)] << points(width);
    }
    QList<double> outerWidths;
    for (const auto &widths : std::as_const(columnWidths)) {
        if (widths.size() == 3)
            outerWidths = widths;
    }
    QCOMPARE(outerWidths.size(), 3);
    QVERIFY2(qAbs(outerWidths.at(0) - 72) < 1, qPrintable(QString::number(outerWidths.at(0))));
    QVERIFY2(qAbs(outerWidths.at(1) - 0.4 * 6.5 * 72) < 1,
             qPrintable(QString::number(outerWidths.at(1))));
}

void tst_RtfWriterLibreOffice::images()
{
    const Odt &odt = m_converted[u"images"_s];
    QCOMPARE(odt.images.size(), 3);
    const struct {
        const char *mime;
        double width;
        double height;
    } expected[] = {{"image/png", 72, 36}, {"image/jpeg", 36, 18}, {"image/png", 18, 9}};
    for (int i = 0; i < 3; ++i) {
        const Odt::Image &image = odt.images.at(i);
        QCOMPARE(image.mime, QString::fromLatin1(expected[i].mime));
        QVERIFY2(qAbs(points(image.width) - expected[i].width) < 0.5, qPrintable(image.width));
        QVERIFY2(qAbs(points(image.height) - expected[i].height) < 0.5, qPrintable(image.height));
        QVERIFY(image.dataSize > 100);
    }
    QCOMPARE(odt.paragraphs.first().text(), u"png  jpeg  qimage "_s);
}

QTEST_MAIN(tst_RtfWriterLibreOffice)
#include "tst_rtfwriter_libreoffice.moc"

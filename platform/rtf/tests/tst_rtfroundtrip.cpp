#include "rtfformat.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>

using namespace Qt::StringLiterals;

// Documents built at random from the features the RTF engine supports, written and read back.
// Every failure names the seed of the document, so it can be rebuilt.

namespace {

class Generator {
public:
    explicit Generator(quint32 seed) : m_random(seed) {}

    void build(QTextDocument &doc)
    {
        m_doc = &doc;
        QTextCursor c(&doc);
        bool fresh = true; // the cursor's block is empty and still unused
        const int items = int(m_random.bounded(1, 12));
        for (int i = 0; i < items; ++i) {
            const int kind = int(m_random.bounded(10));
            if (kind < 5) {
                paragraph(c, fresh, nullptr);
            } else if (kind < 7) {
                listGroup(c, fresh);
            } else if (kind < 9) {
                table(c, 1);
                fresh = true;
            } else {
                paragraph(c, fresh, nullptr, true);
            }
        }
    }

private:
    int pick(int n) { return int(m_random.bounded(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    QColor color()
    {
        static const QColor colors[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255),
                                        QColor(255, 255, 0), QColor(51, 102, 153)};
        return colors[pick(5)];
    }

    QString word()
    {
        static const char16_t *const words[] = {
            u"alpha", u"Zürich",   u"čeština", u"Жизнь",     u"中文",          u"😀",
            u"€uro",  u"a\\b",     u"{brace}", u"tab\there", u"  two  spaces", u"naïve",
            u"x",     u"ελληνικά", u"–—"};
        return QString::fromUtf16(words[pick(int(std::size(words)))]);
    }

    QTextCharFormat charFormat()
    {
        QTextCharFormat f;
        if (chance(30))
            f.setFontWeight(QFont::Bold);
        if (chance(30))
            f.setFontItalic(true);
        if (chance(20)) {
            static const QTextCharFormat::UnderlineStyle styles[] = {
                QTextCharFormat::SingleUnderline, QTextCharFormat::DashUnderline,
                QTextCharFormat::DotLine, QTextCharFormat::WaveUnderline};
            f.setUnderlineStyle(styles[pick(4)]);
        }
        if (chance(15))
            f.setFontStrikeOut(true);
        if (chance(15))
            f.setVerticalAlignment(chance(50) ? QTextCharFormat::AlignSuperScript
                                              : QTextCharFormat::AlignSubScript);
        if (chance(25))
            f.setForeground(color());
        if (chance(15))
            f.setBackground(color());
        if (chance(30)) {
            static const qreal sizes[] = {8, 10, 14, 18, 24, 9.5};
            f.setFontPointSize(sizes[pick(6)]);
        }
        if (chance(25)) {
            static const char *const families[] = {"Arial", "Courier New", "Times New Roman",
                                                   "DejaVu Sans"};
            f.setFontFamilies(QStringList{QString::fromLatin1(families[pick(4)])});
        }
        if (chance(10))
            f.setFontCapitalization(chance(50) ? QFont::AllUppercase : QFont::SmallCaps);
        if (chance(10)) {
            f.setAnchor(true);
            f.setAnchorHref(chance(70)
                                ? QStringLiteral("https://example.org/p?q=1&r=%1").arg(pick(9))
                                : QStringLiteral("#part%1").arg(pick(9)));
        }
        return f;
    }

    QTextBlockFormat blockFormat(bool inList)
    {
        QTextBlockFormat f;
        if (chance(30)) {
            static const Qt::Alignment aligns[] = {Qt::AlignHCenter, Qt::AlignRight,
                                                   Qt::AlignJustify};
            f.setAlignment(aligns[pick(3)]);
        }
        if (!inList && chance(25))
            f.setLeftMargin(4 * pick(20));
        if (chance(20))
            f.setRightMargin(4 * pick(10));
        if (!inList && chance(20))
            f.setTextIndent(4 * (pick(10) - 5));
        if (chance(25))
            f.setTopMargin(2 * pick(10));
        if (chance(25))
            f.setBottomMargin(2 * pick(10));
        if (chance(15)) {
            switch (pick(3)) {
            case 0:
                f.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
                break;
            case 1:
                f.setLineHeight(20, QTextBlockFormat::FixedHeight);
                break;
            default:
                f.setLineHeight(18, QTextBlockFormat::MinimumHeight);
                break;
            }
        }
        if (chance(8))
            f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        if (chance(10))
            f.setBackground(color());
        if (chance(10)) {
            f.setTabPositions({QTextOption::Tab(40, QTextOption::LeftTab),
                               QTextOption::Tab(200, QTextOption::RightTab),
                               QTextOption::Tab(300, QTextOption::CenterTab)});
        }
        if (!inList && chance(8))
            f.setNonBreakableLines(true);
        return f;
    }

    QTextImageFormat image()
    {
        const QSize size(pick(6) + 1, pick(6) + 1);
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(color());
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, chance(70) ? "PNG" : "JPEG");
        const QString name = QStringLiteral("generated:%1").arg(++m_images);
        m_doc->addResource(QTextDocument::ImageResource, QUrl(name), bytes);
        QTextImageFormat f;
        f.setName(name);
        if (chance(60)) {
            f.setWidth(size.width() * (pick(3) + 1));
            f.setHeight(size.height() * (pick(3) + 1));
        }
        return f;
    }

    void paragraph(QTextCursor &c, bool &fresh, QTextList *list, bool withImage = false)
    {
        if (!fresh)
            c.insertBlock(QTextBlockFormat(), QTextCharFormat());
        fresh = false;
        const QTextBlockFormat f = blockFormat(list != nullptr);
        c.setBlockFormat(f);
        if (list)
            list->add(c.block());
        const int runs = pick(5);
        for (int r = 0; r < runs; ++r) {
            if (withImage && pick(3) == 0) {
                c.insertText(QString(QChar::ObjectReplacementCharacter), image());
                continue;
            }
            QString text = word();
            if (f.nonBreakableLines() && chance(50))
                text += QChar(QChar::LineSeparator) + QStringLiteral("  indented");
            else if (chance(10))
                text += QChar(QChar::LineSeparator);
            c.insertText(text + u' ', charFormat());
        }
    }

    void listGroup(QTextCursor &c, bool &fresh)
    {
        static const QTextListFormat::Style styles[] = {
            QTextListFormat::ListDisc,       QTextListFormat::ListCircle,
            QTextListFormat::ListSquare,     QTextListFormat::ListDecimal,
            QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperAlpha,
            QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman};
        QTextListFormat lf;
        lf.setStyle(styles[pick(8)]);
        lf.setIndent(1);
        if (chance(30))
            lf.setProperty(RtfFormat::ListStart, pick(5) + 2);
        QTextList *list = nullptr;
        QTextList *nested = nullptr;
        const int items = pick(4) + 1;
        for (int i = 0; i < items; ++i) {
            if (i > 0 && chance(30)) {
                if (!nested) {
                    QTextListFormat nf;
                    nf.setStyle(styles[pick(8)]);
                    nf.setIndent(2);
                    paragraph(c, fresh, nullptr);
                    nested = c.createList(nf);
                    c.setBlockFormat(c.blockFormat());
                    continue;
                }
                paragraph(c, fresh, nested);
                continue;
            }
            if (!list) {
                paragraph(c, fresh, nullptr);
                list = c.createList(lf);
            } else {
                paragraph(c, fresh, list);
            }
        }
    }

    void table(QTextCursor &c, int depth)
    {
        const int rows = pick(3) + 1;
        const int cols = pick(3) + 1;
        QTextTableFormat tf;
        tf.setCellPadding(pick(3) * 2);
        tf.setBorder(pick(2));
        if (rows > 1 && chance(30))
            tf.setHeaderRowCount(1);
        QTextTable *t = c.insertTable(rows, cols, tf);
        // Merges first, so that the content goes into cells that stay.
        if (chance(40) && cols > 1)
            t->mergeCells(0, 0, 1, 2);
        if (chance(40) && rows > 1)
            t->mergeCells(rows - 2, cols - 1, 2, 1);
        for (int r = 0; r < rows; ++r) {
            for (int col = 0; col < cols; ++col) {
                QTextTableCell cell = t->cellAt(r, col);
                if (cell.row() != r || cell.column() != col)
                    continue;
                if (chance(20)) {
                    QTextTableCellFormat cf = cell.format().toTableCellFormat();
                    cf.setBackground(color());
                    cell.setFormat(cf);
                }
                QTextCursor cc = cell.firstCursorPosition();
                bool fresh = true;
                const int paragraphs = pick(3);
                for (int p = 0; p < paragraphs; ++p)
                    paragraph(cc, fresh, nullptr);
                if (depth < 2 && chance(10)) {
                    table(cc, depth + 1);
                    fresh = true;
                    if (chance(50))
                        paragraph(cc, fresh, nullptr);
                }
            }
        }
        c.setPosition(t->lastPosition() + 1);
    }

    QRandomGenerator m_random;
    QTextDocument *m_doc = nullptr;
    int m_images = 0;
};

// The properties the RTF engine carries, in a form that compares equal when they mean the same.
QString describeChar(const QTextDocument &doc, const QTextCharFormat &f)
{
    QStringList p;
    if (f.isImageFormat()) {
        const QTextImageFormat img = f.toImageFormat();
        const QByteArray bytes =
            doc.resource(QTextDocument::ImageResource, QUrl(img.name())).toByteArray();
        const QImage image = QImage::fromData(bytes);
        const qreal w = img.width() > 0 ? img.width() : image.width();
        const qreal h = img.height() > 0 ? img.height() : image.height();
        p << QStringLiteral("image %1x%2 %3 bytes %4")
                 .arg(w)
                 .arg(h)
                 .arg(bytes.size())
                 .arg(qHash(bytes));
    }
    if (f.fontWeight() >= QFont::DemiBold)
        p << "bold";
    if (f.fontItalic())
        p << "italic";
    if (f.underlineStyle() != QTextCharFormat::NoUnderline)
        p << QStringLiteral("underline%1").arg(int(f.underlineStyle()));
    if (f.fontStrikeOut())
        p << "strike";
    if (f.verticalAlignment() != QTextCharFormat::AlignNormal)
        p << QStringLiteral("valign%1").arg(int(f.verticalAlignment()));
    if (f.foreground().style() != Qt::NoBrush)
        p << "fg " + f.foreground().color().name();
    if (f.background().style() != Qt::NoBrush)
        p << "bg " + f.background().color().name();
    const qreal size = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize()
                                                                 : doc.defaultFont().pointSizeF();
    p << QStringLiteral("size %1").arg(size);
    const QStringList families = f.fontFamilies().toStringList();
    p << "font " + (families.isEmpty() || families.first().isEmpty() ? doc.defaultFont().family()
                                                                     : families.first());
    if (f.fontCapitalization() != QFont::MixedCase)
        p << QStringLiteral("caps%1").arg(int(f.fontCapitalization()));
    if (f.isAnchor())
        p << "link " + f.anchorHref();
    return p.join(u',');
}

QString describeBlock(const QTextDocument &doc, const QTextBlock &b)
{
    const QTextBlockFormat f = b.blockFormat();
    QStringList p;
    p << QStringLiteral("align%1").arg(int(f.alignment() & Qt::AlignHorizontal_Mask));
    QTextList *list = b.textList();
    if (list) {
        const QTextListFormat lf = list->format();
        const int start =
            lf.hasProperty(RtfFormat::ListStart) ? lf.intProperty(RtfFormat::ListStart) : 1;
        p << QStringLiteral("list style%1 level%2 start%3 item%4")
                 .arg(int(lf.style()))
                 .arg(lf.indent())
                 .arg(start)
                 .arg(list->itemNumber(b));
    } else {
        p << QStringLiteral("left %1 indent %2")
                 .arg(f.leftMargin() + f.indent() * doc.indentWidth())
                 .arg(f.textIndent());
    }
    p << QStringLiteral("right %1 top %2 bottom %3")
             .arg(f.rightMargin())
             .arg(f.topMargin())
             .arg(f.bottomMargin());
    if (f.lineHeightType() != QTextBlockFormat::SingleHeight)
        p << QStringLiteral("line %1 %2").arg(f.lineHeightType()).arg(f.lineHeight());
    if (f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
        p << "pagebreak";
    if (f.background().style() != Qt::NoBrush)
        p << "bg " + f.background().color().name();
    for (const QTextOption::Tab &t : f.tabPositions())
        p << QStringLiteral("tab %1 %2").arg(t.position).arg(int(t.type));
    if (f.nonBreakableLines())
        p << "pre";
    p << "text " + b.text();
    // Runs of equal formatting, so that a split fragment does not count as a difference.
    QString runs, last;
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment fr = it.fragment();
        const QString d = describeChar(doc, fr.charFormat());
        if (d != last || d.startsWith("image"))
            runs += "\n    [" + d + "] ";
        runs += fr.text();
        last = d;
    }
    return p.join(u' ') + runs;
}

void describeFrame(const QTextDocument &doc, QTextFrame *frame, QStringList &out, int depth);

void describeTable(const QTextDocument &doc, QTextTable *t, QStringList &out, int depth)
{
    const QString indent(depth * 2, u' ');
    out << indent + QStringLiteral("table %1x%2 header %3")
                        .arg(t->rows())
                        .arg(t->columns())
                        .arg(t->format().headerRowCount());
    for (int r = 0; r < t->rows(); ++r) {
        for (int c = 0; c < t->columns(); ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            if (cell.row() != r || cell.column() != c)
                continue;
            const QBrush bg = cell.format().background();
            out << indent + QStringLiteral("cell %1,%2 span %3x%4 %5")
                                .arg(r)
                                .arg(c)
                                .arg(cell.rowSpan())
                                .arg(cell.columnSpan())
                                .arg(bg.style() == Qt::NoBrush ? QString() : bg.color().name());
            for (QTextFrame::iterator it = cell.begin(); !it.atEnd(); ++it) {
                if (QTextFrame *child = it.currentFrame())
                    describeFrame(doc, child, out, depth + 1);
                else
                    out << indent + "  " + describeBlock(doc, it.currentBlock());
            }
        }
    }
}

void describeFrame(const QTextDocument &doc, QTextFrame *frame, QStringList &out, int depth)
{
    if (auto *t = qobject_cast<QTextTable *>(frame)) {
        describeTable(doc, t, out, depth);
        return;
    }
    for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame())
            describeFrame(doc, child, out, depth + 1);
        else
            out << QString(depth * 2, u' ') + describeBlock(doc, it.currentBlock());
    }
}

QStringList describe(const QTextDocument &doc)
{
    QStringList out;
    describeFrame(doc, doc.rootFrame(), out, 0);
    return out;
}

void read(QTextDocument &doc, const QByteArray &rtf)
{
    QTextCursor c(&doc);
    const RtfReadResult r = RtfReader::insert(c, QByteArray("\r\n") + rtf);
    QVERIFY(r.isRtf);
    QVERIFY2(r.errors.isEmpty(), "the writer's output read with errors");
}

// The first line where two descriptions differ, with some context.
QString firstDifference(const QStringList &a, const QStringList &b)
{
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const QString x = a.value(i, "<none>"), y = b.value(i, "<none>");
        if (x != y)
            return QStringLiteral("line %1\n  expected: %2\n  actual:   %3").arg(i).arg(x, y);
    }
    return {};
}

} // namespace

class tst_RtfRoundTrip : public QObject {
    Q_OBJECT

private slots:
    void documentToRtfToDocument();
    void rtfToDocumentToRtfIsStable();
    void rangeOfDocument();
    void otherProgramsRtfIsStable_data();
    void otherProgramsRtfIsStable();
    void familyTheFontTableCannotHold_data();
    void familyTheFontTableCannotHold();
};

void tst_RtfRoundTrip::documentToRtfToDocument()
{
    for (quint32 seed = 1; seed <= 400; ++seed) {
        QTextDocument original;
        Generator(seed).build(original);
        const QByteArray rtf = RtfWriter::write(original);
        QTextDocument copy;
        read(copy, rtf);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("seed %1").arg(seed)));
        const QString diff = firstDifference(describe(original), describe(copy));
        QVERIFY2(diff.isEmpty(),
                 qPrintable(QStringLiteral("seed %1: %2\n%3").arg(seed).arg(diff, rtf)));
    }
}

void tst_RtfRoundTrip::rtfToDocumentToRtfIsStable()
{
    for (quint32 seed = 1000; seed < 1300; ++seed) {
        QTextDocument original;
        Generator(seed).build(original);
        const QByteArray rtf1 = RtfWriter::write(original);
        QTextDocument first;
        read(first, rtf1);
        const QByteArray rtf2 = RtfWriter::write(first);
        QTextDocument second;
        read(second, rtf2);
        const QByteArray rtf3 = RtfWriter::write(second);
        const QString diff = firstDifference(describe(first), describe(second));
        QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(diff)));
        QVERIFY2(rtf2 == rtf3,
                 qPrintable(QStringLiteral("seed %1:\n%2\n----\n%3")
                                .arg(seed)
                                .arg(QString::fromLatin1(rtf2), QString::fromLatin1(rtf3))));
    }
}

void tst_RtfRoundTrip::rangeOfDocument()
{
    // A part of a document pasted into another: text and formats of the part, nothing else.
    for (quint32 seed = 2000; seed < 2100; ++seed) {
        QTextDocument original;
        Generator(seed).build(original);
        QTextCursor all(&original);
        all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        const QString text = all.selectedText();
        if (text.size() < 4)
            continue;
        const int from = 1, to = original.characterCount() - 2;
        QTextCursor part(&original);
        part.setPosition(from);
        part.setPosition(to, QTextCursor::KeepAnchor);
        const QString expected = part.selection().toPlainText();
        QTextDocument copy;
        QTextCursor c(&copy);
        RtfReader::insert(c, RtfWriter::write(original, from, to));
        // Tables in the range come back with their cells; compare the flat text.
        QCOMPARE(copy.toPlainText().remove(u'\n'), QString(expected).remove(u'\n'));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("seed %1").arg(seed)));
    }
}

// The format of the first run holding `text`, described as describe() does.
QString formatOf(const QTextDocument &doc, const QString &text)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().text().contains(text))
                return describeChar(doc, it.fragment().charFormat());
        }
    }
    return QStringLiteral("<no run holds %1>").arg(text);
}

void tst_RtfRoundTrip::otherProgramsRtfIsStable_data()
{
    // Reductions of what pandoc and LibreOffice write for real pages, and of fuzz findings:
    // the run holding `text` must have `format` (a part of its description) after the first
    // read and after the second.
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("format");
    const QByteArray fonts = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\froman Times;}"
                             "{\\f2\\fmodern Courier;}";
    QTest::newRow("link to the top of the page (pandoc)")
        << QByteArray("{\\rtf1\\ansi {\\field{\\*\\fldinst{HYPERLINK \"#\"}}"
                      "{\\fldrslt{\\ul Top}}} after\\par}")
        << "Top"
        << "link #";
    QTest::newRow("link to an empty bookmark")
        << QByteArray("{\\rtf1\\ansi {\\field{\\*\\fldinst{HYPERLINK \\\\l \"\"}}"
                      "{\\fldrslt{\\ul Top}}} after\\par}")
        << "Top"
        << "link #";
    QTest::newRow("link to a bookmark")
        << QByteArray("{\\rtf1\\ansi {\\field{\\*\\fldinst{HYPERLINK \\\\l \"intro\"}}"
                      "{\\fldrslt{\\ul Intro}}} after\\par}")
        << "Intro"
        << "link #intro";
    QTest::newRow("link to an address that reads as a switch")
        << QByteArray("{\\rtf1\\ansi {\\field{\\*\\fldinst{HYPERLINK \"\\\\\\\\l\"}}"
                      "{\\fldrslt{\\ul Top}}} after\\par}")
        << "Top"
        << "link \\l";
    QTest::newRow("font with an empty name")
        << fonts + "{\\f1\\fswiss ;}}{\\f2 mono {\\f1 nameless} back}\\par}"
        << "nameless"
        << "font <default>";
    QTest::newRow("font named by a delete character")
        << fonts + "{\\f1\\fswiss \\u127?;}}{\\f2 mono {\\f1 nameless} back}\\par}"
        << "nameless"
        << "font <default>";
    QTest::newRow("font named by an object replacement character")
        << fonts + "{\\f1\\fswiss \\u-4?;}}{\\f2 mono {\\f1 nameless} back}\\par}"
        << "nameless"
        << "font <default>";
    QTest::newRow("font missing from the table") << fonts + "}{\\f2 mono {\\f7 unknown} back}\\par}"
                                                 << "unknown"
                                                 << "font <default>";
    QTest::newRow("marker text with a null character")
        << QByteArray("{\\rtf1\\ansi {\\pntext a\\u0?b\\tab}text\\par}") << "a b text"
        << "font <default>";
    QTest::newRow("marker text before a picture")
        << QByteArray("{\\rtf1\\ansi {\\pntext 1.\\tab}{\\pict\\pngblip\\picw1\\pich1 "
                      "89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c49"
                      "44415408d763f8cfc0000003010100c9fe92ef0000000049454e44ae426082}\\par}")
        << "1. "
        << "font <default>";
    QTest::newRow("plain text with a delete character") << QByteArray("plain \x7f text") << "plain"
                                                        << "font <default>";
    QTest::newRow("delete character within a font name")
        << fonts + "{\\f1\\fswiss Ari\\u127?al;}}{\\f2 mono {\\f1 sans} back}\\par}"
        << "sans"
        << "font Arial";
}

void tst_RtfRoundTrip::otherProgramsRtfIsStable()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(QString, format);
    QTextDocument first;
    QTextCursor cursor(&first);
    RtfReader::insert(cursor, rtf);
    const QByteArray rtf1 = RtfWriter::write(first);
    QTextDocument second;
    read(second, rtf1);
    const QByteArray rtf2 = RtfWriter::write(second);
    QCOMPARE(second.toPlainText(), first.toPlainText());
    const QString diff = firstDifference(describe(first), describe(second));
    QVERIFY2(diff.isEmpty(), qPrintable(diff + "\n" + QString::fromLatin1(rtf1)));
    QVERIFY2(rtf1 == rtf2, qPrintable(QString::fromLatin1(rtf1 + "\n----\n" + rtf2)));
    // No entry of the font table goes without a name.
    QVERIFY2(!QRegularExpression(R"(\\fprq\d+ ;\})").match(QString::fromLatin1(rtf1)).hasMatch(),
             rtf1.constData());
    const QString expected = QString(format).replace("<default>", second.defaultFont().family());
    QVERIFY2(formatOf(first, text).contains(expected), qPrintable(formatOf(first, text)));
    QVERIFY2(formatOf(second, text).contains(expected), qPrintable(formatOf(second, text)));
}

void tst_RtfRoundTrip::familyTheFontTableCannotHold_data()
{
    // Families that a page's style can name but a font table entry cannot hold as they are.
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("readBack"); // the family read back; empty: the default font
    QTest::newRow("semicolon") << u";"_s << QString();
    QTest::newRow("delete character") << u"\x7f"_s << QString();
    QTest::newRow("spaces around a semicolon") << u" ; "_s << QString();
    QTest::newRow("semicolon within") << u"Deja;Vu"_s << u"DejaVu"_s;
    QTest::newRow("control character within") << u"Libera\x01tion"_s << u"Liberation"_s;
    QTest::newRow("spaces around") << u"  Courier  "_s << u"Courier"_s;
    QTest::newRow("ordinary") << u"Courier"_s << u"Courier"_s;
}

void tst_RtfRoundTrip::familyTheFontTableCannotHold()
{
    QFETCH(QString, family);
    QFETCH(QString, readBack);
    QTextDocument original;
    QTextCursor c(&original);
    QTextCharFormat named;
    named.setFontFamilies({family});
    c.insertText(u"named "_s, named);
    QTextCharFormat mono;
    mono.setFontFamilies({u"Courier New"_s});
    c.insertText(u"mono"_s, mono);
    const QByteArray rtf1 = RtfWriter::write(original);
    QVERIFY2(!QRegularExpression(R"(\\fprq\d+ ;\})").match(QString::fromLatin1(rtf1)).hasMatch(),
             rtf1.constData());
    QTextDocument copy;
    read(copy, rtf1);
    QCOMPARE(RtfWriter::write(copy), rtf1);
    const QString expected =
        "font " + (readBack.isEmpty() ? copy.defaultFont().family() : readBack);
    QVERIFY2(formatOf(copy, u"named"_s).contains(expected), qPrintable(formatOf(copy, u"named"_s)));
    QVERIFY(formatOf(copy, u"mono"_s).contains(u"font Courier New"_s));
}

QTEST_MAIN(tst_RtfRoundTrip)
#include "tst_rtfroundtrip.moc"

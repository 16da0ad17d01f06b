#include "rtfformat.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QImage>
#include <QPixmap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <functional>

using namespace Qt::StringLiterals;

using CharSetter = std::function<void(QTextCharFormat &)>;
using BlockSetter = std::function<void(QTextBlockFormat &)>;
Q_DECLARE_METATYPE(CharSetter)
Q_DECLARE_METATYPE(BlockSetter)

namespace {

// A small RTF interpreter, independent of the real reader: it follows groups, \plain and \pard,
// decodes text and records for every run the control words in force.
class RtfProbe {
public:
    using Words = QMap<QByteArray, int>;
    struct Run {
        QString text;
        Words chars;
        QString link;
    };
    struct Paragraph {
        Words words;
        QList<Run> runs;
        QString marker;
        QByteArray end;
        QString text() const
        {
            QString all;
            for (const Run &run : runs)
                all += run.text;
            return all;
        }
    };
    struct Cell {
        QSet<QByteArray> flags;
        int right = 0;
    };
    struct Font {
        QByteArray declaration;
        QString name;
    };

    explicit RtfProbe(const QByteArray &rtf) : m_rtf(rtf) { parse(); }

    QList<Paragraph> paragraphs;
    QList<QList<Cell>> rows;
    QList<Words> rowWords;
    QMap<int, Font> fonts;
    QList<QColor> colors{QColor()};
    QMultiMap<QByteArray, QByteArray> destinations;

    // The run holding the first occurrence of text.
    const Run *run(const QString &text) const
    {
        for (const Paragraph &paragraph : paragraphs) {
            for (const Run &run : paragraph.runs) {
                if (run.text.contains(text))
                    return &run;
            }
        }
        return nullptr;
    }
    const Paragraph *paragraph(const QString &text) const
    {
        for (const Paragraph &paragraph : paragraphs) {
            if (paragraph.text().contains(text))
                return &paragraph;
        }
        return nullptr;
    }

private:
    struct State {
        Words chars;
        Words paragraph;
        QString link;
        QString fieldLink;
        int uc = 1;
    };

    static bool isCharWord(const QByteArray &word)
    {
        static const QSet<QByteArray> words{"f",      "fs",     "b",       "i",        "ul",
                                            "uldash", "uld",    "uldashd", "uldashdd", "ulwave",
                                            "ulc",    "strike", "super",   "sub",      "caps",
                                            "scaps",  "cf",     "chcbpat", "cb"};
        return words.contains(word);
    }

    qsizetype groupEnd(qsizetype open) const
    {
        int depth = 0;
        for (qsizetype i = open; i < m_rtf.size(); ++i) {
            const char c = m_rtf.at(i);
            if (c == '\\') {
                ++i;
            } else if (c == '{') {
                ++depth;
            } else if (c == '}' && --depth == 0) {
                return i;
            }
        }
        return m_rtf.size() - 1;
    }

    void addText(QStringView text)
    {
        if (text.isEmpty())
            return;
        const State &state = m_states.last();
        if (!m_current.runs.isEmpty() && m_current.runs.last().chars == state.chars &&
            m_current.runs.last().link == state.link) {
            m_current.runs.last().text += text;
        } else {
            m_current.runs.append({text.toString(), state.chars, state.link});
        }
        m_current.words = state.paragraph;
    }

    void endParagraph(const QByteArray &word)
    {
        m_current.words = m_states.last().paragraph;
        m_current.end = word;
        paragraphs.append(m_current);
        m_current = Paragraph();
    }

    // Decodes the text of a destination such as \pntext.
    static QString plainText(const QByteArray &raw)
    {
        RtfProbe inner("{" + raw + "\\par}");
        return inner.paragraphs.isEmpty() ? QString() : inner.paragraphs.first().text();
    }

    void destination(const QByteArray &name, const QByteArray &raw)
    {
        destinations.insert(name, raw);
        if (name == "fonttbl") {
            static const QRegularExpression entry(R"(\{\\f(\d+)([^ ]*) ([^;]*);\})");
            for (const auto &match : entry.globalMatch(QString::fromLatin1(raw)))
                fonts.insert(match.captured(1).toInt(), {match.captured(2).toLatin1(),
                                                         plainText(match.captured(3).toLatin1())});
        } else if (name == "colortbl") {
            static const QRegularExpression entry(R"(\\red(\d+)\\green(\d+)\\blue(\d+);)");
            for (const auto &match : entry.globalMatch(QString::fromLatin1(raw)))
                colors.append(QColor(match.captured(1).toInt(), match.captured(2).toInt(),
                                     match.captured(3).toInt()));
        } else if (name == "fldinst") {
            static const QRegularExpression link(R"(HYPERLINK (?:\\\\l )?"([^"]*)\")");
            const auto match = link.match(QString::fromLatin1(raw));
            if (match.hasMatch())
                m_states.last().fieldLink = plainText(match.captured(1).toLatin1());
        } else if (name == "pntext") {
            QByteArray inner = raw.mid(raw.indexOf("pntext") + 6);
            inner.chop(1);
            if (inner.startsWith(' ')) // the control word's delimiter
                inner.remove(0, 1);
            m_current.marker = plainText(inner);
        }
    }

    void parse()
    {
        static const QSet<QByteArray> destinationWords{
            "fonttbl",   "colortbl", "listtable", "listoverridetable", "pict",
            "fldinst",   "pntext",   "generator", "nesttableprops",    "nonesttables",
            "bkmkstart", "bkmkend",  "stylesheet"};
        m_states.append(State());
        QList<Cell> row;
        QSet<QByteArray> cellFlags;
        Words rowDefinition;
        int skip = 0;
        qsizetype i = 0;
        while (i < m_rtf.size()) {
            const char c = m_rtf.at(i);
            if (c == '{') {
                static const QRegularExpression head(R"(^\{(\\\*)?\\([a-z]+))");
                const auto match = head.match(QString::fromLatin1(m_rtf.mid(i, 40)));
                const QByteArray word = match.captured(2).toLatin1();
                if (match.hasMatch() &&
                    (match.capturedLength(1) || destinationWords.contains(word))) {
                    const qsizetype end = groupEnd(i);
                    destination(word, m_rtf.mid(i, end - i + 1));
                    i = end + 1;
                    continue;
                }
                m_states.append(m_states.last());
                ++i;
            } else if (c == '}') {
                if (m_states.size() > 1)
                    m_states.removeLast();
                ++i;
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else if (c == '\\') {
                const char next = i + 1 < m_rtf.size() ? m_rtf.at(i + 1) : '\0';
                if (!std::isalpha(uchar(next))) {
                    i += 2;
                    if (next == '\'') {
                        const char16_t byte = char16_t(m_rtf.mid(i, 2).toInt(nullptr, 16));
                        i += 2;
                        if (skip > 0)
                            --skip;
                        else
                            addText(QString(QChar(byte)));
                        continue;
                    }
                    static const QHash<char, char16_t> symbols{{'~', 0xa0},   {'-', 0xad},
                                                               {'_', 0x2011}, {'\\', '\\'},
                                                               {'{', '{'},    {'}', '}'}};
                    if (symbols.contains(next))
                        addText(QString(QChar(symbols.value(next))));
                    continue;
                }
                qsizetype j = i + 1;
                while (j < m_rtf.size() && std::isalpha(uchar(m_rtf.at(j))))
                    ++j;
                const QByteArray word = m_rtf.mid(i + 1, j - i - 1);
                qsizetype k = j;
                if (k < m_rtf.size() && (m_rtf.at(k) == '-' || std::isdigit(uchar(m_rtf.at(k)))))
                    ++k;
                while (k < m_rtf.size() && std::isdigit(uchar(m_rtf.at(k))))
                    ++k;
                const bool hasValue = k > j;
                const int value = hasValue ? m_rtf.mid(j, k - j).toInt() : 1;
                i = k < m_rtf.size() && m_rtf.at(k) == ' ' ? k + 1 : k;
                State &state = m_states.last();
                if (word == "u") {
                    addText(QString(QChar(char16_t(value < 0 ? value + 65536 : value))));
                    skip = state.uc;
                } else if (word == "uc") {
                    state.uc = value;
                } else if (word == "plain") {
                    state.chars.clear();
                } else if (word == "pard") {
                    state.paragraph.clear();
                } else if (word == "tab") {
                    addText(u"\t");
                } else if (word == "line") {
                    addText(u"\u2028");
                } else if (word == "par" || word == "cell" || word == "nestcell") {
                    endParagraph(word);
                } else if (word == "fldrslt") {
                    state.link = state.fieldLink;
                } else if (word == "trowd") {
                    row.clear();
                    cellFlags.clear();
                    rowDefinition.clear();
                } else if (word == "cellx") {
                    row.append({cellFlags, value});
                    cellFlags.clear();
                } else if (word.startsWith("cl")) {
                    cellFlags.insert(hasValue ? word + QByteArray::number(value) : word);
                } else if (word.startsWith("tr") || word.startsWith("brdr")) {
                    if (word.startsWith("tr"))
                        rowDefinition.insert(word, value);
                    if (!cellFlags.isEmpty() || word.startsWith("brdr"))
                        cellFlags.insert(hasValue ? word + QByteArray::number(value) : word);
                } else if (word == "row") {
                    rows.append(row);
                    rowWords.append(rowDefinition);
                } else if (isCharWord(word)) {
                    state.chars.insert(word, value);
                } else {
                    state.paragraph.insert(word, value);
                }
            } else {
                qsizetype j = i;
                while (j < m_rtf.size() && !QByteArrayView("{}\\\r\n").contains(m_rtf.at(j)))
                    ++j;
                QString text = QString::fromLatin1(m_rtf.mid(i, j - i));
                while (skip > 0 && !text.isEmpty()) {
                    text.remove(0, 1);
                    --skip;
                }
                addText(text);
                i = j;
            }
        }
    }

    QByteArray m_rtf;
    QList<State> m_states;
    Paragraph m_current;
};

QByteArray pngBytes(QSize size, const char *format = "PNG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(10, 200, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

bool isSevenBit(const QByteArray &bytes)
{
    return std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
}

} // namespace

class tst_RtfWriter : public QObject {
    Q_OBJECT

private slots:
    void frame_data();
    void frame();
    void text_data();
    void text();
    void characterFormats_data();
    void characterFormats();
    void fontTable_data();
    void fontTable();
    void paragraphFormats_data();
    void paragraphFormats();
    void lists_data();
    void lists();
    void nestedListLevels();
    void separateListsAndTheirDefinitions();
    void hyperlinks_data();
    void hyperlinks();
    void images_data();
    void images();
    void tableStructure();
    void tableWidths_data();
    void tableWidths();
    void nestedTable();
    void range_data();
    void range();
    void pageBreakAfter();
    void rangeInsideList();
    void rightToLeftRuns_data();
    void rightToLeftRuns();
    void rightToLeftTable();
    void randomDocuments_data();
    void randomDocuments();
};

// The text of one group of the body: \\uN and its fallback as the character, words dropped.
QString groupText(QStringView group)
{
    static const QRegularExpression token(
        u"\\\\u(-?\\d+)(?:\\?|\\\\'[0-9a-f]{2})|\\\\[a-z]+-?\\d* ?"_s);
    QString out;
    qsizetype at = 0;
    for (auto it = token.globalMatch(group); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += group.mid(at, m.capturedStart() - at);
        if (m.capturedLength(1) > 0)
            out += QChar(char16_t(m.captured(1).toInt()));
        at = m.capturedEnd();
    }
    out += group.mid(at);
    return out;
}

// Every output is 7-bit, opens with the RTF header and ends with a paragraph mark.
void tst_RtfWriter::frame_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("empty") << QString();
    QTest::newRow("plain") << u"one line"_s;
    QTest::newRow("non-ascii") << u"caf\u00e9 \u4e2d\u6587 \U0001F600"_s;
    QTest::newRow("ends with table") << u"<p>x</p><table><tr><td>a</td></tr></table>"_s;
    QTest::newRow("ends with list") << u"<ol><li>a</li><li>b</li></ol>"_s;
}

void tst_RtfWriter::frame()
{
    QFETCH(QString, html);
    QTextDocument document;
    document.setHtml(html);
    const QByteArray rtf = RtfWriter::write(document);
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0"));
    QVERIFY(isSevenBit(rtf));
    QVERIFY2(rtf.endsWith("\\par\n}"), rtf.right(40).constData());
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        if (rtf.at(i) == '\\')
            ++i;
        else if (rtf.at(i) == '{')
            ++depth;
        else if (rtf.at(i) == '}')
            QVERIFY(--depth >= 0);
    }
    QCOMPARE(depth, 0);
    RtfProbe probe(rtf);
    QString text;
    for (const auto &paragraph : probe.paragraphs)
        text += paragraph.text() + u'\n';
    for (const QString &word :
         document.toPlainText().split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts))
        QVERIFY2(text.contains(word), qPrintable(word));
}

void tst_RtfWriter::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("latin-1") << u"caf\u00e9"_s << QByteArray("caf\\u233\\'e9");
    QTest::newRow("cp1252 high block")
        << u"\u20ac \u201cq\u201d"_s << QByteArray("\\u8364\\'80 \\u8220\\'93q\\u8221\\'94");
    QTest::newRow("no ansi form") << u"\u4e2d"_s << QByteArray("\\u20013?");
    QTest::newRow("negative") << u"\uff01"_s << QByteArray("\\u-255?");
    QTest::newRow("surrogate pair") << u"\U0001F600"_s << QByteArray("\\u-10179?\\u-8704?");
    QTest::newRow("rtf specials") << u"{a}\\b"_s << QByteArray("\\{a\\}\\\\b");
    QTest::newRow("tab") << u"a\tb"_s << QByteArray("a\\tab b");
    QTest::newRow("line separator") << u"a\u2028b"_s << QByteArray("a\\line b");
    QTest::newRow("no-break space and hyphens")
        << u"a\u00a0b\u00adc\u2011d"_s << QByteArray("a\\~b\\-c\\_d");
    QTest::newRow("spaces kept") << u"a    b"_s << QByteArray("a    b");
}

void tst_RtfWriter::text()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat preformatted;
    preformatted.setNonBreakableLines(true);
    cursor.setBlockFormat(preformatted);
    cursor.insertText(text);
    const QByteArray rtf = RtfWriter::write(document);
    QVERIFY(isSevenBit(rtf));
    QVERIFY2(rtf.contains(expected), rtf.constData());
    const RtfProbe probe(rtf);
    QCOMPARE(probe.paragraphs.size(), 1);
    QCOMPARE(probe.paragraphs.first().text(), text);
    QVERIFY(probe.paragraphs.first().words.contains("keep"));
}

void tst_RtfWriter::characterFormats_data()
{
    QTest::addColumn<CharSetter>("set");
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("value");
    QTest::addColumn<QColor>("color");

    const QColor none;
    QTest::newRow("bold") << CharSetter([](auto &f) { f.setFontWeight(QFont::Bold); }) << "b"_ba
                          << 1 << none;
    QTest::newRow("semibold is bold")
        << CharSetter([](auto &f) { f.setFontWeight(QFont::DemiBold); }) << "b"_ba << 1 << none;
    QTest::newRow("italic") << CharSetter([](auto &f) { f.setFontItalic(true); }) << "i"_ba << 1
                            << none;
    QTest::newRow("underline") << CharSetter([](auto &f) { f.setFontUnderline(true); }) << "ul"_ba
                               << 1 << none;
    QTest::newRow("dashed underline")
        << CharSetter([](auto &f) { f.setUnderlineStyle(QTextCharFormat::DashUnderline); })
        << "uldash"_ba << 1 << none;
    QTest::newRow("wave underline")
        << CharSetter([](auto &f) { f.setUnderlineStyle(QTextCharFormat::WaveUnderline); })
        << "ulwave"_ba << 1 << none;
    QTest::newRow("strike") << CharSetter([](auto &f) { f.setFontStrikeOut(true); }) << "strike"_ba
                            << 1 << none;
    QTest::newRow("superscript") << CharSetter([](auto &f) {
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    }) << "super"_ba << 1 << none;
    QTest::newRow("subscript") << CharSetter([](auto &f) {
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    }) << "sub"_ba << 1 << none;
    QTest::newRow("capitals") << CharSetter([](auto &f) {
        f.setFontCapitalization(QFont::AllUppercase);
    }) << "caps"_ba << 1 << none;
    QTest::newRow("small capitals")
        << CharSetter([](auto &f) { f.setFontCapitalization(QFont::SmallCaps); }) << "scaps"_ba << 1
        << none;
    QTest::newRow("point size") << CharSetter([](auto &f) { f.setFontPointSize(15.5); }) << "fs"_ba
                                << 31 << none;
    QTest::newRow("pixel size at 96 dpi")
        << CharSetter([](auto &f) { f.setProperty(QTextFormat::FontPixelSize, 20); }) << "fs"_ba
        << 30 << none;
    QTest::newRow("text colour") << CharSetter([](auto &f) {
        f.setForeground(QColor(0x12, 0x34, 0x56));
    }) << "cf"_ba << -1 << QColor(0x12, 0x34, 0x56);
    QTest::newRow("background colour")
        << CharSetter([](auto &f) { f.setBackground(QColor(255, 255, 0)); }) << "chcbpat"_ba << -1
        << QColor(255, 255, 0);
    QTest::newRow("underline colour") << CharSetter([](auto &f) {
        f.setFontUnderline(true);
        f.setUnderlineColor(QColor(200, 0, 0));
    }) << "ulc"_ba << -1 << QColor(200, 0, 0);
}

void tst_RtfWriter::characterFormats()
{
    QFETCH(CharSetter, set);
    QFETCH(QByteArray, word);
    QFETCH(int, value);
    QFETCH(QColor, color);

    QTextDocument document;
    QFont font = document.defaultFont();
    font.setPointSize(10);
    document.setDefaultFont(font);
    QTextCursor cursor(&document);
    cursor.insertText(u"before "_s);
    QTextCharFormat format;
    set(format);
    cursor.insertText(u"target"_s, format);
    cursor.insertText(u" after"_s, QTextCharFormat());

    const RtfProbe probe(RtfWriter::write(document));
    const RtfProbe::Run *target = probe.run(u"target"_s);
    QVERIFY(target);
    QVERIFY2(target->chars.contains(word), target->chars.keys().join(' ').constData());
    if (color.isValid()) {
        const int index = target->chars.value(word);
        QVERIFY(index > 0 && index < probe.colors.size());
        QCOMPARE(probe.colors.at(index), color);
    } else {
        QCOMPARE(target->chars.value(word), value);
    }
    // Neighbours keep the plain state, at the document's default size.
    const RtfProbe::Run *after = probe.run(u"after"_s);
    QVERIFY(after);
    QCOMPARE(after->chars.value("fs"), 20);
    if (word != "fs")
        QVERIFY(!after->chars.contains(word));
}

void tst_RtfWriter::fontTable_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("hint");
    QTest::addColumn<QByteArray>("kind");
    QTest::newRow("times") << u"Times New Roman"_s << int(QFont::AnyStyle) << "\\froman"_ba;
    QTest::newRow("arial") << u"Arial"_s << int(QFont::AnyStyle) << "\\fswiss"_ba;
    QTest::newRow("courier") << u"Courier New"_s << int(QFont::AnyStyle) << "\\fmodern"_ba;
    QTest::newRow("hint wins") << u"Fancy Face"_s << int(QFont::Monospace) << "\\fmodern"_ba;
    QTest::newRow("symbol charset") << u"Symbol"_s << int(QFont::AnyStyle) << "\\fcharset2"_ba;
    QTest::newRow("unknown") << u"Qwerty Zx"_s << int(QFont::AnyStyle) << "\\fnil"_ba;
    QTest::newRow("non-ascii name") << u"\u5b8b\u4f53"_s << int(QFont::AnyStyle) << "\\fnil"_ba;
}

void tst_RtfWriter::fontTable()
{
    QFETCH(QString, family);
    QFETCH(int, hint);
    QFETCH(QByteArray, kind);
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat format;
    format.setFontFamilies({family});
    format.setFontStyleHint(QFont::StyleHint(hint));
    cursor.insertText(u"x"_s, format);
    cursor.insertText(u" y"_s, QTextCharFormat());
    cursor.insertText(u" z"_s, format);
    const RtfProbe probe(RtfWriter::write(document));
    const int index = probe.run(u"x"_s)->chars.value("f", -1);
    QVERIFY(index > 0);
    QCOMPARE(probe.run(u"z"_s)->chars.value("f"), index);
    QVERIFY(!probe.run(u"y"_s)->chars.contains("f"));
    QCOMPARE(probe.fonts.value(index).name, family);
    QVERIFY2(probe.fonts.value(index).declaration.contains(kind),
             probe.fonts.value(index).declaration.constData());
    QVERIFY(probe.fonts.contains(0));
}

// Runs of Arabic or Hebrew letters are marked right to left (\\rtlch) with their font, size and
// weight for that script; the Latin words among them are runs of their own, and text without
// such letters is written as it always was.
void tst_RtfWriter::rightToLeftRuns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rightToLeft"); // the groups marked \\rtlch, in order
    QTest::addColumn<QStringList>("other");       // the other groups
    QTest::newRow("Persian with numbers and Latin words")
        << u"\u0646\u0635\u0628 12 \u0628\u0627 APT \u0648 dpkg (2.6)"_s
        << QStringList{u"\u0646\u0635\u0628 12 \u0628\u0627 "_s, u"\u0648 "_s}
        << QStringList{u"APT "_s, u"dpkg (2.6)"_s};
    QTest::newRow("Hebrew") << u"\u05e9\u05dc\u05d5\u05dd"_s
                            << QStringList{u"\u05e9\u05dc\u05d5\u05dd"_s} << QStringList();
    QTest::newRow("Latin begins") << u"SELinux \u0627\u0635\u0648\u0644"_s
                                  << QStringList{u"\u0627\u0635\u0648\u0644"_s}
                                  << QStringList{u"SELinux "_s};
    QTest::newRow("no right-to-left letters")
        << u"plain 42 text"_s << QStringList() << QStringList{u"plain 42 text"_s};
}

void tst_RtfWriter::rightToLeftRuns()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rightToLeft);
    QFETCH(QStringList, other);
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat block;
    block.setLayoutDirection(Qt::RightToLeft);
    cursor.setBlockFormat(block);
    QTextCharFormat format;
    format.setFontFamilies({u"DejaVu Sans"_s});
    format.setFontPointSize(11);
    format.setFontWeight(QFont::Bold);
    cursor.insertText(text, format);
    const QByteArray rtf = RtfWriter::write(document);
    const QString body = QString::fromLatin1(rtf.mid(rtf.indexOf("\\pard")));
    QVERIFY(body.contains(u"\\rtlpar"_s));
    QStringList marked;
    QStringList plain;
    static const QRegularExpression group(u"\\{(\\\\[^ {}]*) ([^{}]*)\\}"_s);
    for (auto it = group.globalMatch(body); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString words = m.captured(1);
        if (words.contains(u"\\rtlch"_s)) {
            QVERIFY2(QRegularExpression(u"\\\\rtlch\\\\af\\d+\\\\afs22\\\\ab$"_s)
                         .match(words)
                         .hasMatch(),
                     qPrintable(words));
            marked << groupText(m.captured(2));
        } else {
            plain << groupText(m.captured(2));
        }
    }
    QCOMPARE(marked, rightToLeft);
    QCOMPARE(plain, other);
    // read back, the text is as it was, in a right-to-left paragraph
    QTextDocument back;
    QTextCursor reader(&back);
    RtfReader::insert(reader, rtf);
    QCOMPARE(back.begin().text(), text);
    QCOMPARE(back.begin().blockFormat().layoutDirection(), Qt::RightToLeft);
}

// A table whose columns run from right to left is written \\rtlrow, row by row, and read back so.
void tst_RtfWriter::rightToLeftTable()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setLayoutDirection(Qt::RightToLeft);
    QTextTable *table = cursor.insertTable(2, 2, format);
    table->cellAt(0, 0).firstCursorPosition().insertText(u"\u0627\u0648\u0644"_s);
    const QByteArray rtf = RtfWriter::write(document);
    QCOMPARE(rtf.count("\\rtlrow"), 4); // each row's definition, before its cells and at its end
    QTextDocument back;
    QTextCursor reader(&back);
    RtfReader::insert(reader, rtf);
    QTextTable *read = nullptr;
    for (QTextFrame *frame : back.rootFrame()->childFrames())
        read = read ? read : qobject_cast<QTextTable *>(frame);
    QVERIFY(read);
    QCOMPARE(read->format().layoutDirection(), Qt::RightToLeft);
    QCOMPARE(read->cellAt(0, 0).firstCursorPosition().block().text(), u"\u0627\u0648\u0644"_s);

    QTextDocument plainTable;
    QTextCursor plainCursor(&plainTable);
    plainCursor.insertTable(1, 1, QTextTableFormat());
    QVERIFY(!RtfWriter::write(plainTable).contains("\\rtlrow"));
}

void tst_RtfWriter::paragraphFormats_data()
{
    QTest::addColumn<BlockSetter>("set");
    QTest::addColumn<QByteArray>("word");
    QTest::addColumn<int>("value");

    QTest::newRow("right") << BlockSetter([](auto &f) { f.setAlignment(Qt::AlignRight); })
                           << "qr"_ba << 1;
    QTest::newRow("center") << BlockSetter([](auto &f) { f.setAlignment(Qt::AlignHCenter); })
                            << "qc"_ba << 1;
    QTest::newRow("justify") << BlockSetter([](auto &f) { f.setAlignment(Qt::AlignJustify); })
                             << "qj"_ba << 1;
    QTest::newRow("left margin") << BlockSetter([](auto &f) { f.setLeftMargin(20); }) << "li"_ba
                                 << 300;
    QTest::newRow("indent levels use the indent width")
        << BlockSetter([](auto &f) { f.setIndent(2); }) << "li"_ba << 2 * 50 * 15;
    QTest::newRow("margin and indent add up") << BlockSetter([](auto &f) {
        f.setIndent(1);
        f.setLeftMargin(10);
    }) << "li"_ba << 50 * 15 + 150;
    QTest::newRow("right margin") << BlockSetter([](auto &f) { f.setRightMargin(8); }) << "ri"_ba
                                  << 120;
    QTest::newRow("first line") << BlockSetter([](auto &f) { f.setTextIndent(-10); }) << "fi"_ba
                                << -150;
    QTest::newRow("space before") << BlockSetter([](auto &f) { f.setTopMargin(12); }) << "sb"_ba
                                  << 180;
    QTest::newRow("space after") << BlockSetter([](auto &f) { f.setBottomMargin(6); }) << "sa"_ba
                                 << 90;
    QTest::newRow("proportional spacing")
        << BlockSetter([](auto &f) { f.setLineHeight(150, QTextBlockFormat::ProportionalHeight); })
        << "sl"_ba << 360;
    QTest::newRow("exact spacing")
        << BlockSetter([](auto &f) { f.setLineHeight(20, QTextBlockFormat::FixedHeight); })
        << "sl"_ba << -300;
    QTest::newRow("page break before")
        << BlockSetter([](auto &f) { f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore); })
        << "pagebb"_ba << 1;
    QTest::newRow("preformatted") << BlockSetter([](auto &f) { f.setNonBreakableLines(true); })
                                  << "keep"_ba << 1;
    QTest::newRow("right tab") << BlockSetter([](auto &f) {
        f.setTabPositions({QTextOption::Tab(100, QTextOption::RightTab)});
    }) << "tqr"_ba << 1;
    QTest::newRow("tab position") << BlockSetter([](auto &f) {
        f.setTabPositions({QTextOption::Tab(100, QTextOption::CenterTab)});
    }) << "tx"_ba << 1500;
    QTest::newRow("heading") << BlockSetter([](auto &f) { f.setHeadingLevel(2); })
                             << "outlinelevel"_ba << 1;
}

void tst_RtfWriter::paragraphFormats()
{
    QFETCH(BlockSetter, set);
    QFETCH(QByteArray, word);
    QFETCH(int, value);
    QTextDocument document;
    document.setIndentWidth(50);
    QTextCursor cursor(&document);
    cursor.insertText(u"first"_s);
    QTextBlockFormat format;
    set(format);
    cursor.insertBlock(format);
    cursor.insertText(u"second"_s);
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(u"third"_s);

    const RtfProbe probe(RtfWriter::write(document));
    QCOMPARE(probe.paragraphs.size(), 3);
    QVERIFY(probe.paragraph(u"second"_s)->words.contains(word));
    QCOMPARE(probe.paragraph(u"second"_s)->words.value(word), value);
    QVERIFY(!probe.paragraph(u"first"_s)->words.contains(word));
    QVERIFY(!probe.paragraph(u"third"_s)->words.contains(word));
}

void tst_RtfWriter::lists_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("levelFormat");
    QTest::addColumn<QStringList>("markers");

    QTest::newRow("decimal") << int(QTextListFormat::ListDecimal) << 1 << 0
                             << QStringList{u"1."_s, u"2."_s, u"3."_s};
    QTest::newRow("decimal from 9")
        << int(QTextListFormat::ListDecimal) << 9 << 0 << QStringList{u"9."_s, u"10."_s, u"11."_s};
    QTest::newRow("lower alpha") << int(QTextListFormat::ListLowerAlpha) << 1 << 4
                                 << QStringList{u"a."_s, u"b."_s, u"c."_s};
    QTest::newRow("upper alpha past z") << int(QTextListFormat::ListUpperAlpha) << 26 << 3
                                        << QStringList{u"Z."_s, u"AA."_s, u"AB."_s};
    QTest::newRow("lower roman") << int(QTextListFormat::ListLowerRoman) << 3 << 2
                                 << QStringList{u"iii."_s, u"iv."_s, u"v."_s};
    QTest::newRow("upper roman") << int(QTextListFormat::ListUpperRoman) << 1998 << 1
                                 << QStringList{u"MCMXCVIII."_s, u"MCMXCIX."_s, u"MM."_s};
    QTest::newRow("disc") << int(QTextListFormat::ListDisc) << 1 << 23
                          << QStringList(3, u"\u2022"_s);
    QTest::newRow("circle") << int(QTextListFormat::ListCircle) << 1 << 23
                            << QStringList(3, u"\u25e6"_s);
    QTest::newRow("square") << int(QTextListFormat::ListSquare) << 1 << 23
                            << QStringList(3, u"\u25aa"_s);
}

void tst_RtfWriter::lists()
{
    QFETCH(int, style);
    QFETCH(int, start);
    QFETCH(int, levelFormat);
    QFETCH(QStringList, markers);

    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(u"intro"_s);
    QTextListFormat format;
    format.setStyle(QTextListFormat::Style(style));
    format.setProperty(RtfFormat::ListStart, start);
    cursor.insertList(format);
    cursor.insertText(u"item 0"_s);
    for (int i = 1; i < markers.size(); ++i) {
        cursor.insertBlock();
        cursor.insertText(u"item %1"_s.arg(i));
    }
    const QByteArray rtf = RtfWriter::write(document);
    const RtfProbe probe(rtf);
    QVERIFY(probe.paragraph(u"intro"_s)->marker.isEmpty());
    QVERIFY(!probe.paragraph(u"intro"_s)->words.contains("ls"));
    for (int i = 0; i < markers.size(); ++i) {
        const RtfProbe::Paragraph *item = probe.paragraph(u"item %1"_s.arg(i));
        QVERIFY(item);
        QCOMPARE(item->marker, markers.at(i) + u'\t');
        QCOMPARE(item->words.value("ls"), 1);
        QCOMPARE(item->words.value("ilvl", -1), 0);
        QVERIFY(item->words.value("li") > 0);
    }
    QCOMPARE(probe.destinations.count("listtable"), 1);
    QCOMPARE(probe.destinations.count("listoverridetable"), 1);
    const QByteArray table = probe.destinations.value("listtable");
    QVERIFY2(table.contains("\\levelnfc" + QByteArray::number(levelFormat) + "\\"),
             table.left(300).constData());
    QVERIFY(table.contains("\\levelstartat" + QByteArray::number(start)));
    QVERIFY(probe.destinations.value("listoverridetable").contains("\\ls1"));
}

// Nested QTextLists become separate RTF lists whose \ilvl follows the list's indent.
void tst_RtfWriter::nestedListLevels()
{
    QTextDocument document;
    document.setHtml(u"<ul><li>outer 1<ol><li>inner 1</li><li>inner 2</li></ol></li>"
                     "<li>outer 2</li></ul>"_s);
    const RtfProbe probe(RtfWriter::write(document));
    const auto *outer1 = probe.paragraph(u"outer 1"_s);
    const auto *outer2 = probe.paragraph(u"outer 2"_s);
    const auto *inner2 = probe.paragraph(u"inner 2"_s);
    QVERIFY(outer1 && outer2 && inner2);
    QCOMPARE(outer1->words.value("ilvl"), 0);
    QCOMPARE(inner2->words.value("ilvl"), 1);
    QCOMPARE(outer1->words.value("ls"), outer2->words.value("ls"));
    QVERIFY(outer1->words.value("ls") != inner2->words.value("ls"));
    QVERIFY(inner2->words.value("li") > outer2->words.value("li"));
    QCOMPARE(inner2->marker, u"2.\t"_s);
    QCOMPARE(outer2->marker, u"\u2022\t"_s);
}

// Every list has its own override (\ls). Bullet lists alike share one definition, numbered
// lists have one each, so that the numbering of each starts afresh.
void tst_RtfWriter::separateListsAndTheirDefinitions()
{
    QTextDocument document;
    document.setHtml(u"<ul><li>bullets a</li></ul><p>x</p><ul><li>bullets b</li></ul><p>y</p>"
                     "<ol><li>numbers c1</li><li>numbers c2</li></ol><p>z</p>"
                     "<ol><li>numbers d1</li></ol><p>w</p><ul><li>bullets e</li></ul>"_s);
    const RtfProbe probe(RtfWriter::write(document));
    QStringList items{u"bullets a"_s, u"bullets b"_s, u"numbers c1"_s, u"numbers d1"_s,
                      u"bullets e"_s};
    QList<int> overrides;
    for (const QString &item : items) {
        const auto *paragraph = probe.paragraph(item);
        QVERIFY2(paragraph, qPrintable(item));
        overrides << paragraph->words.value("ls");
    }
    QCOMPARE(QSet<int>(overrides.cbegin(), overrides.cend()).size(), 5);
    QCOMPARE(probe.paragraph(u"numbers c2"_s)->marker, u"2.\t"_s);
    QCOMPARE(probe.paragraph(u"numbers d1"_s)->marker, u"1.\t"_s);

    // \ls -> \listid, as the override table gives it
    QHash<int, int> definitionOf;
    static const QRegularExpression override(
        uR"(\\listoverride\\listid(\d+)\\listoverridecount0\\ls(\d+))"_s);
    for (auto m = override.globalMatch(
             QString::fromLatin1(probe.destinations.value("listoverridetable")));
         m.hasNext();) {
        const auto match = m.next();
        definitionOf.insert(match.captured(2).toInt(), match.captured(1).toInt());
    }
    QCOMPARE(definitionOf.size(), 5);
    QCOMPARE(definitionOf.value(overrides[0]), definitionOf.value(overrides[1]));
    QCOMPARE(definitionOf.value(overrides[0]), definitionOf.value(overrides[4]));
    QVERIFY(definitionOf.value(overrides[2]) != definitionOf.value(overrides[3]));
    QVERIFY(definitionOf.value(overrides[0]) != definitionOf.value(overrides[2]));
    const QByteArray table = probe.destinations.value("listtable");
    QCOMPARE(table.count("\\listid"), 3);
    for (int id : definitionOf)
        QVERIFY(table.contains("\\listid" + QByteArray::number(id)));
}

void tst_RtfWriter::hyperlinks_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QByteArray>("instruction");
    QTest::newRow("web") << u"https://example.com/a?b=1&c=2"_s
                         << "HYPERLINK \"https://example.com/a?b=1&c=2\""_ba;
    QTest::newRow("quote escaped")
        << u"https://example.com/\"q\""_s << "HYPERLINK \"https://example.com/%22q%22\""_ba;
    QTest::newRow("in-document place") << u"#section-2"_s << "HYPERLINK \\\\l \"section-2\""_ba;
}

void tst_RtfWriter::hyperlinks()
{
    QFETCH(QString, href);
    QFETCH(QByteArray, instruction);
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(u"see "_s);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(href);
    link.setFontUnderline(true);
    cursor.insertText(u"the "_s, link);
    link.setFontWeight(QFont::Bold);
    cursor.insertText(u"site"_s, link);
    cursor.insertText(u" now"_s, QTextCharFormat());

    const QByteArray rtf = RtfWriter::write(document);
    QCOMPARE(rtf.count("\\field"), 1);
    const RtfProbe probe(rtf);
    QVERIFY2(probe.destinations.value("fldinst").contains(instruction),
             probe.destinations.value("fldinst").constData());
    QString target = href.startsWith(u'#') ? href.mid(1) : href;
    QCOMPARE(probe.run(u"the"_s)->link, target.replace(u"\""_s, u"%22"_s));
    QVERIFY(probe.run(u"the"_s)->chars.contains("ul"));
    QVERIFY(probe.run(u"site"_s)->chars.contains("b"));
    QVERIFY(probe.run(u"now"_s)->link.isEmpty());
    QCOMPARE(probe.paragraphs.first().text(), u"see the site now"_s);
}

void tst_RtfWriter::images_data()
{
    QTest::addColumn<QVariant>("resource");
    QTest::addColumn<QByteArray>("blip");
    QTest::addColumn<QSizeF>("displaySize");
    QTest::addColumn<QSize>("goal");

    const QSize natural(40, 20);
    QTest::newRow("png bytes, natural size")
        << QVariant(pngBytes(natural)) << "pngblip"_ba << QSizeF() << QSize(600, 300);
    QTest::newRow("jpeg bytes, both sizes") << QVariant(pngBytes(natural, "JPEG")) << "jpegblip"_ba
                                            << QSizeF(80, 30) << QSize(1200, 450);
    QTest::newRow("bmp bytes become png, width only")
        << QVariant(pngBytes(natural, "BMP")) << "pngblip"_ba << QSizeF(20, 0) << QSize(300, 150);
    QImage image(natural, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QTest::newRow("QImage, height only")
        << QVariant(image) << "pngblip"_ba << QSizeF(0, 40) << QSize(1200, 600);
    QTest::newRow("QPixmap") << QVariant(QPixmap::fromImage(image)) << "pngblip"_ba << QSizeF()
                             << QSize(600, 300);
}

void tst_RtfWriter::images()
{
    QFETCH(QVariant, resource);
    QFETCH(QByteArray, blip);
    QFETCH(QSizeF, displaySize);
    QFETCH(QSize, goal);

    QTextDocument document;
    const QUrl url(u"folvane://image/1"_s);
    document.addResource(QTextDocument::ImageResource, url, resource);
    QTextCursor cursor(&document);
    cursor.insertText(u"a "_s);
    QTextImageFormat format;
    format.setName(url.toString());
    if (displaySize.width() > 0)
        format.setWidth(displaySize.width());
    if (displaySize.height() > 0)
        format.setHeight(displaySize.height());
    cursor.insertImage(format);
    cursor.insertText(u" b"_s);
    format.setName(u"folvane://image/missing"_s);
    cursor.insertImage(format);

    const RtfProbe probe(RtfWriter::write(document));
    QCOMPARE(probe.destinations.count("pict"), 1);
    const QString pict = QString::fromLatin1(probe.destinations.value("pict"));
    static const QRegularExpression header(
        uR"(^\{\\pict\\(\w+)\\picw(\d+)\\pich(\d+)\\picwgoal(\d+)\\pichgoal(\d+)\s([0-9a-f\s]+)\}$)"_s);
    const auto match = header.match(pict);
    QVERIFY2(match.hasMatch(), qPrintable(pict.left(120)));
    QCOMPARE(match.captured(1).toLatin1(), blip);
    QCOMPARE(QSize(match.captured(2).toInt(), match.captured(3).toInt()), QSize(40, 20));
    QCOMPARE(QSize(match.captured(4).toInt(), match.captured(5).toInt()), goal);
    const QByteArray data = QByteArray::fromHex(match.captured(6).remove(u'\n').toLatin1());
    const QImage decoded = QImage::fromData(data);
    QCOMPARE(decoded.size(), QSize(40, 20));
    QCOMPARE(probe.paragraphs.first().text(), u"a  b"_s);
}

void tst_RtfWriter::tableStructure()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setBorder(2);
    format.setCellPadding(4);
    format.setHeaderRowCount(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Dashed);
    QTextTable *table = cursor.insertTable(4, 3, format);
    table->mergeCells(1, 0, 2, 1); // vertical
    table->mergeCells(1, 1, 1, 2); // horizontal
    table->mergeCells(3, 1, 1, 2);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() == r && cell.column() == c)
                cell.firstCursorPosition().insertText(u"r%1c%2"_s.arg(r).arg(c));
        }
    }
    QTextTableCellFormat shaded;
    shaded.setBackground(QColor(0, 128, 255));
    shaded.setLeftPadding(10);
    shaded.setTopPadding(2);
    table->cellAt(2, 2).setFormat(shaded);

    const RtfProbe probe(RtfWriter::write(document));
    QCOMPARE(probe.rows.size(), 4);
    for (const auto &row : probe.rows) {
        QCOMPARE(row.size(), 3);
        QVERIFY(row.at(0).right < row.at(1).right && row.at(1).right < row.at(2).right);
        QVERIFY(row.at(0).flags.contains("brdrdash"));
        QVERIFY(row.at(0).flags.contains("brdrw30"));
    }
    QVERIFY(probe.rowWords.at(0).contains("trhdr"));
    QVERIFY(!probe.rowWords.at(1).contains("trhdr"));
    QCOMPARE(probe.rowWords.at(1).value("trpaddl"), 60);
    QVERIFY(probe.rows.at(1).at(0).flags.contains("clvmgf"));
    QVERIFY(probe.rows.at(2).at(0).flags.contains("clvmrg"));
    QVERIFY(probe.rows.at(1).at(1).flags.contains("clmgf"));
    QVERIFY(probe.rows.at(1).at(2).flags.contains("clmrg"));
    QVERIFY(!probe.rows.at(2).at(1).flags.contains("clmgf"));
    QVERIFY(probe.rows.at(3).at(2).flags.contains("clmrg"));
    QSet<QByteArray> shadedFlags = probe.rows.at(2).at(2).flags;
    const auto background =
        std::find_if(shadedFlags.cbegin(), shadedFlags.cend(),
                     [](const QByteArray &f) { return f.startsWith("clcbpat"); });
    QVERIFY(background != shadedFlags.cend());
    QCOMPARE(probe.colors.at(background->mid(7).toInt()), QColor(0, 128, 255));
    // Word's swapped padding words: \clpadt is the left padding, \clpadl the top.
    QVERIFY(shadedFlags.contains("clpadt150") && shadedFlags.contains("clpadft3"));
    QVERIFY(shadedFlags.contains("clpadl30") && shadedFlags.contains("clpadfl3"));
    QVERIFY(!probe.rows.at(2).at(1).flags.contains("clpadt150"));

    // One \cell per grid position; covered positions are empty cells.
    QStringList cells;
    for (const auto &paragraph : probe.paragraphs) {
        if (paragraph.end == "cell")
            cells << paragraph.text();
    }
    QCOMPARE(cells,
             (QStringList{u"r0c0"_s, u"r0c1"_s, u"r0c2"_s, u"r1c0"_s, u"r1c1"_s, QString(),
                          QString(), u"r2c1"_s, u"r2c2"_s, u"r3c0"_s, u"r3c1"_s, QString()}));
}

void tst_RtfWriter::tableWidths_data()
{
    QTest::addColumn<QList<QTextLength>>("constraints");
    QTest::addColumn<QTextLength>("tableWidth");
    QTest::addColumn<QList<int>>("boundaries");
    // What the document said: \clftsWidth and \clwWidth per cell, \trftsWidth for the table.
    QTest::addColumn<QByteArrayList>("preferred");
    QTest::addColumn<int>("tableUnit");

    const QTextLength variable;
    QTest::newRow("fixed pixels") << QList<QTextLength>{QTextLength(QTextLength::FixedLength, 100),
                                                        QTextLength(QTextLength::FixedLength, 50)}
                                  << variable << QList<int>{1500, 2250}
                                  << QByteArrayList{"clftsWidth3 clwWidth1500",
                                                    "clftsWidth3 clwWidth750"}
                                  << 1;
    QTest::newRow("percent of the text width")
        << QList<QTextLength>{QTextLength(QTextLength::PercentageLength, 25),
                              QTextLength(QTextLength::PercentageLength, 75)}
        << variable << QList<int>{2340, 9360}
        << QByteArrayList{"clftsWidth2 clwWidth1250", "clftsWidth2 clwWidth3750"} << 1;
    QTest::newRow("rest shared")
        << QList<QTextLength>{QTextLength(QTextLength::FixedLength, 24), variable, variable}
        << QTextLength(QTextLength::FixedLength, 400) << QList<int>{360, 3180, 6000}
        << QByteArrayList{"clftsWidth3 clwWidth360", "clftsWidth1", "clftsWidth1"} << 3;
    QTest::newRow("half the page")
        << QList<QTextLength>{} << QTextLength(QTextLength::PercentageLength, 50)
        << QList<int>{2340, 4680} << QByteArrayList{"clftsWidth1", "clftsWidth1"} << 2;
}

void tst_RtfWriter::tableWidths()
{
    QFETCH(QList<QTextLength>, constraints);
    QFETCH(QTextLength, tableWidth);
    QFETCH(QList<int>, boundaries);
    QFETCH(QByteArrayList, preferred);
    QFETCH(int, tableUnit);
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setColumnWidthConstraints(constraints);
    format.setWidth(tableWidth);
    cursor.insertTable(1, int(boundaries.size()), format);
    const RtfProbe probe(RtfWriter::write(document));
    QCOMPARE(probe.rows.size(), 1);
    QList<int> actual;
    for (qsizetype i = 0; i < probe.rows.first().size(); ++i) {
        const RtfProbe::Cell &cell = probe.rows.first().at(i);
        actual << cell.right;
        for (const QByteArray &flag : preferred.at(i).split(' '))
            QVERIFY2(cell.flags.contains(flag), flag.constData());
    }
    QCOMPARE(actual, boundaries);
    QCOMPARE(probe.rowWords.first().value("trftsWidth"), tableUnit);
}

void tst_RtfWriter::nestedTable()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTable *outer = cursor.insertTable(1, 2);
    outer->cellAt(0, 0).firstCursorPosition().insertText(u"left"_s);
    QTextCursor inCell = outer->cellAt(0, 1).firstCursorPosition();
    inCell.insertText(u"above"_s);
    QTextTable *inner = inCell.insertTable(2, 2);
    inner->cellAt(0, 0).firstCursorPosition().insertText(u"i00"_s);
    inner->cellAt(1, 1).firstCursorPosition().insertText(u"i11"_s);
    QTextTable *deepest = inner->cellAt(1, 0).firstCursorPosition().insertTable(1, 1);
    deepest->cellAt(0, 0).firstCursorPosition().insertText(u"deep"_s);

    const QByteArray rtf = RtfWriter::write(document);
    const RtfProbe probe(rtf);
    QCOMPARE(probe.rows.size(), 1);
    QCOMPARE(probe.destinations.count("nesttableprops"), 3); // two inner rows, one deepest
    QCOMPARE(probe.paragraph(u"i00"_s)->end, "nestcell"_ba);
    QCOMPARE(probe.paragraph(u"i00"_s)->words.value("itap"), 2);
    QCOMPARE(probe.paragraph(u"deep"_s)->words.value("itap"), 3);
    QCOMPARE(probe.paragraph(u"left"_s)->words.value("itap"), 1);
    QCOMPARE(probe.paragraph(u"left"_s)->end, "cell"_ba);
    QCOMPARE(rtf.count("\\nestcell"), 5);
    // The inner table fits inside its cell.
    for (const QByteArray &props : probe.destinations.values("nesttableprops")) {
        QVERIFY(props.endsWith("\\nestrow}"));
        static const QRegularExpression cellx(uR"(\\cellx(\d+))"_s);
        for (const auto &match : cellx.globalMatch(QString::fromLatin1(props)))
            QVERIFY(match.captured(1).toInt() <=
                    probe.rows.first().at(1).right - probe.rows.first().at(0).right);
    }
}

void tst_RtfWriter::range_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QStringList>("paragraphs");
    // "alpha beta" (0..10), separator, "gamma" (11..16), separator, "delta" (17..22)
    QTest::newRow("inside one block") << 6 << 10 << QStringList{u"beta"_s};
    QTest::newRow("across blocks") << 6 << 14 << QStringList{u"beta"_s, u"gam"_s};
    QTest::newRow("reversed") << 14 << 6 << QStringList{u"beta"_s, u"gam"_s};
    QTest::newRow("whole blocks") << 11 << 23 << QStringList{u"gamma"_s, u"delta"_s};
    QTest::newRow("out of bounds")
        << -5 << 1000 << QStringList{u"alpha beta"_s, u"gamma"_s, u"delta"_s};
}

void tst_RtfWriter::range()
{
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QStringList, paragraphs);
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(u"alpha "_s);
    cursor.insertText(u"beta"_s, bold);
    cursor.insertBlock();
    cursor.insertText(u"gamma"_s, QTextCharFormat());
    cursor.insertBlock();
    cursor.insertText(u"delta"_s);

    const QByteArray rtf = RtfWriter::write(document, from, to);
    QVERIFY(rtf.endsWith("\\par\n}"));
    const RtfProbe probe(rtf);
    QStringList actual;
    for (const auto &paragraph : probe.paragraphs)
        actual << paragraph.text();
    QCOMPARE(actual, paragraphs);
    if (const RtfProbe::Run *beta = probe.run(u"beta"_s))
        QVERIFY(beta->chars.contains("b"));
    QVERIFY(!probe.run(u"gam"_s) || !probe.run(u"gam"_s)->chars.contains("b"));
}

void tst_RtfWriter::pageBreakAfter()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat breakAfter;
    breakAfter.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysAfter);
    cursor.setBlockFormat(breakAfter);
    cursor.insertText(u"page one"_s);
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(u"page two"_s);
    const RtfProbe probe(RtfWriter::write(document));
    QVERIFY(!probe.paragraph(u"page one"_s)->words.contains("pagebb"));
    QVERIFY(probe.paragraph(u"page two"_s)->words.contains("pagebb"));
}

// A range that starts inside a list keeps the items' numbers.
void tst_RtfWriter::rangeInsideList()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextListFormat format;
    format.setStyle(QTextListFormat::ListDecimal);
    format.setProperty(RtfFormat::ListStart, 5);
    cursor.insertList(format);
    cursor.insertText(u"first"_s);
    cursor.insertBlock();
    const int second = cursor.position();
    cursor.insertText(u"second"_s);
    cursor.insertBlock();
    cursor.insertText(u"third"_s);
    const RtfProbe probe(RtfWriter::write(document, second, document.characterCount()));
    QCOMPARE(probe.paragraphs.size(), 2);
    QCOMPARE(probe.paragraphs.at(0).marker, u"6.\t"_s);
    QCOMPARE(probe.paragraphs.at(1).marker, u"7.\t"_s);
}

namespace {

// Text of every block in the order the writer visits them, without empty ones.
void collectBlocks(QTextFrame *frame, QStringList &texts)
{
    for (QTextFrame::iterator it = frame->begin(); !it.atEnd(); ++it) {
        if (QTextFrame *child = it.currentFrame()) {
            if (auto *table = qobject_cast<QTextTable *>(child)) {
                for (int r = 0; r < table->rows(); ++r) {
                    for (int c = 0; c < table->columns(); ++c) {
                        const QTextTableCell cell = table->cellAt(r, c);
                        if (cell.row() != r || cell.column() != c)
                            continue;
                        for (QTextFrame::iterator inner = cell.begin(); !inner.atEnd(); ++inner) {
                            if (inner.currentFrame())
                                collectBlocks(inner.currentFrame(), texts);
                            else if (!inner.currentBlock()
                                          .text()
                                          .remove(QChar::ObjectReplacementCharacter)
                                          .isEmpty())
                                texts << inner.currentBlock().text().remove(
                                    QChar::ObjectReplacementCharacter);
                        }
                    }
                }
            } else {
                collectBlocks(child, texts);
            }
        } else {
            const QString text = it.currentBlock().text().remove(QChar::ObjectReplacementCharacter);
            if (!text.isEmpty())
                texts << text;
        }
    }
}

QString randomText(QRandomGenerator &random)
{
    static const QStringList pieces{u"plain "_s, u"{brace}"_s,   u"back\\slash"_s, u"\t"_s,
                                    u"\u2028"_s, u"caf\u00e9"_s, u"\u4e2d"_s,      u"\U0001F600"_s,
                                    u"\u00a0"_s, u"  "_s,        u"\u20ac"_s,      u"word"_s};
    QString text;
    const int count = random.bounded(1, 6);
    for (int i = 0; i < count; ++i)
        text += pieces.at(random.bounded(int(pieces.size())));
    return text;
}

QTextCharFormat randomCharFormat(QRandomGenerator &random)
{
    QTextCharFormat format;
    if (random.bounded(3) == 0)
        format.setFontWeight(QFont::Bold);
    if (random.bounded(3) == 0)
        format.setFontItalic(true);
    if (random.bounded(4) == 0)
        format.setForeground(QColor::fromRgb(random.generate() & 0xffffff));
    if (random.bounded(4) == 0)
        format.setFontPointSize(random.bounded(6, 40));
    if (random.bounded(5) == 0) {
        format.setAnchor(true);
        format.setAnchorHref(u"https://example.com/%1"_s.arg(random.bounded(3)));
    }
    return format;
}

void fillRandomly(QTextCursor &cursor, QRandomGenerator &random, int depth)
{
    const int blocks = random.bounded(1, 8);
    for (int b = 0; b < blocks; ++b) {
        if (b > 0)
            cursor.insertBlock();
        if (random.bounded(4) == 0) {
            QTextListFormat list;
            list.setStyle(QTextListFormat::Style(-random.bounded(1, 9)));
            list.setIndent(random.bounded(1, 4));
            cursor.insertList(list);
        }
        const int runs = random.bounded(1, 5);
        for (int r = 0; r < runs; ++r)
            cursor.insertText(randomText(random), randomCharFormat(random));
        if (random.bounded(6) == 0) {
            QTextImageFormat image;
            image.setName(u"img"_s);
            cursor.insertImage(image);
        }
        if (depth < 3 && random.bounded(8) == 0) {
            QTextFrame *frame = cursor.insertFrame(QTextFrameFormat());
            QTextCursor inFrame = frame->firstCursorPosition();
            fillRandomly(inFrame, random, depth + 1);
            cursor = frame->lastCursorPosition();
            cursor.movePosition(QTextCursor::NextBlock);
        }
        if (depth < 3 && random.bounded(5) == 0) {
            const int rows = random.bounded(1, 4);
            const int columns = random.bounded(1, 4);
            QTextTable *table = cursor.insertTable(rows, columns);
            if (random.bounded(2))
                table->mergeCells(random.bounded(rows), random.bounded(columns), 2, 2);
            for (int r = 0; r < rows; ++r) {
                for (int c = 0; c < columns; ++c) {
                    const QTextTableCell cell = table->cellAt(r, c);
                    if (cell.row() != r || cell.column() != c)
                        continue;
                    QTextCursor inCell = cell.firstCursorPosition();
                    fillRandomly(inCell, random, depth + 1);
                }
            }
            cursor = table->lastCursorPosition();
            cursor.movePosition(QTextCursor::NextBlock);
        }
    }
}

} // namespace

void tst_RtfWriter::randomDocuments_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 60; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

// Documents mixing every feature at random: the output stays well formed and every block's
// text comes back, in order.
void tst_RtfWriter::randomDocuments()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    QTextDocument document;
    document.addResource(QTextDocument::ImageResource, QUrl(u"img"_s), pngBytes(QSize(3, 2)));
    QTextCursor cursor(&document);
    fillRandomly(cursor, random, 0);

    const QByteArray rtf = RtfWriter::write(document);
    QVERIFY(isSevenBit(rtf));
    QVERIFY(rtf.endsWith("\\par\n}"));
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        if (rtf.at(i) == '\\')
            ++i;
        else if (rtf.at(i) == '{')
            ++depth;
        else if (rtf.at(i) == '}')
            QVERIFY(--depth >= 0);
    }
    QCOMPARE(depth, 0);
    const RtfProbe probe(rtf);
    QStringList written;
    for (const auto &paragraph : probe.paragraphs) {
        if (!paragraph.text().isEmpty())
            written << paragraph.text();
    }
    QStringList expected;
    collectBlocks(document.rootFrame(), expected);
    QCOMPARE(written, expected);
}

QTEST_MAIN(tst_RtfWriter)
#include "tst_rtfwriter.moc"

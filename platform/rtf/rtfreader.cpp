#include "rtfreader.h"

#include "rtfformat.h"
#include "rtfreader_p.h"

#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QStringDecoder>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace RtfImport {

// The read loop and the work it does for every token are here, in one translation unit, and
// marked inline where they are not used elsewhere: calls to the other parts cost a call each,
// and those are made once per control word at most.

// QTextFormat compares its properties in the order they were set, so the same formatting
// reached in two orders would make fragments that never merge. Sorted by key, it is one format.
static QTextCharFormat canonical(const QTextCharFormat &format)
{
    QTextFormat sorted(format.type());
    const QMap<int, QVariant> properties = format.properties();
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        sorted.setProperty(it.key(), it.value());
    return sorted.toCharFormat();
}

// ASCII (only) into UTF-16, with plainCharacter() applied.
static void widenAscii(const char *in, qsizetype n, char16_t *out)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), space = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t'),
                  del = _mm_set1_epi8(0x7f);
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i control =
            _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi8(v, tab), _mm_cmplt_epi8(v, space)),
                         _mm_cmpeq_epi8(v, del));
        v = _mm_or_si128(_mm_andnot_si128(control, v), _mm_and_si128(control, space));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
    // The last few bytes of a longer run as one more (overlapping) block.
    if (i < n && n >= 16) {
        i = n - 16;
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i control =
            _mm_or_si128(_mm_andnot_si128(_mm_cmpeq_epi8(v, tab), _mm_cmplt_epi8(v, space)),
                         _mm_cmpeq_epi8(v, del));
        v = _mm_or_si128(_mm_andnot_si128(control, v), _mm_and_si128(control, space));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(v, zero));
        return;
    }
#endif
    for (; i < n; ++i) {
        const char16_t c = uchar(in[i]);
        out[i] = (c < 0x20 && c != u'\t') || c == 0x7f ? u' ' : c;
    }
}

template <typename Char> void Builder::run(const Char *data, qsizetype size, qsizetype start)
{
    RtfTokenizer<Char> tokenizer(data, size, start, m_errors);
    RtfToken t;
    while (!m_done) {
        tokenizer.next(t);
        if (t.type == RtfToken::Type::End)
            break;
        m_offset = t.offset;
        if (!m_bytes.isEmpty() && t.type != RtfToken::Type::Text && t.type != RtfToken::Type::Hex)
            flushBytes();
        const bool star = m_star;
        m_star = false;
        if (m_skip > 0) {
            switch (t.type) {
            case RtfToken::Type::GroupStart:
            case RtfToken::Type::GroupEnd:
                m_skip = 0;
                break;
            case RtfToken::Type::Text: {
                const qsizetype n = std::min<qsizetype>(m_skip, t.length);
                m_skip -= int(n);
                t.start += n;
                t.length -= n;
                if (t.length == 0)
                    continue;
                break;
            }
            default:
                --m_skip;
                continue;
            }
        }
        if (state().dest == Dest::Skip && t.type != RtfToken::Type::GroupStart &&
            t.type != RtfToken::Type::GroupEnd)
            continue;
        switch (t.type) {
        case RtfToken::Type::End:
            break;
        case RtfToken::Type::GroupStart:
            groupStart();
            break;
        case RtfToken::Type::GroupEnd:
            groupEnd();
            if (m_done && tokenizer.position() < size) {
                for (qsizetype i = tokenizer.position(); i < size; ++i) {
                    const char16_t c = char16_t(data[i]);
                    if (c != ' ' && c != '\r' && c != '\n' && c != '\t' && c != 0) {
                        m_offset = i;
                        error(RtfError::Code::UnbalancedBraces);
                        break;
                    }
                }
            }
            break;
        case RtfToken::Type::ControlWord: {
            // \u is by far the most frequent word in text from other programs.
            if (t.wordLength == 1 && t.wordData[0] == 'u' && !star) {
                unicode(t.parameter);
                break;
            }
            const RtfControlWord *w = rtfLookupControlWord(t.name(), t.wordHash);
            if (star && (!w || w->kind != RtfWordKind::Destination)) {
                state().dest = Dest::Skip;
                break;
            }
            if (w)
                controlWord(*w, t);
            break;
        }
        case RtfToken::Type::ControlSymbol:
            if (t.symbol == '*')
                m_star = true;
            else
                controlSymbol(t.symbol);
            break;
        case RtfToken::Type::Hex:
            if (state().dest == Dest::Picture) {
                m_picture.badHex = true;
                break;
            }
            m_bytes.append(char(t.symbol));
            break;
        case RtfToken::Type::Binary:
            if (state().dest == Dest::Picture) {
                for (qsizetype i = 0; i < t.length; ++i)
                    m_picture.data.append(char(data[t.start + i]));
            }
            break;
        case RtfToken::Type::Text:
            if constexpr (sizeof(Char) == 1)
                textBytes(QByteArrayView(data + t.start, t.length), t.ascii);
            else
                textChars(QStringView(data + t.start, t.length));
            break;
        }
    }
    flushBytes();
    if (!m_done) {
        m_offset = size;
        error(RtfError::Code::UnexpectedEnd);
    }
    finish();
}

Q_ALWAYS_INLINE void Builder::groupStart()
{
    if (m_states.size() >= size_t(kMaxStateDepth)) {
        if (m_overflowDepth == 0)
            error(RtfError::Code::NestingTooDeep);
        ++m_overflowDepth;
        return;
    }
    m_states.push_back(m_states.back());
}

inline void Builder::endState(const State &ended)
{
    if (ended.dest != state().dest || ended.dest == Dest::FontTable)
        endDestination(ended);
}

Q_ALWAYS_INLINE void Builder::groupEnd()
{
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_states.size() <= 2) {
        // The end of the {\rtf group; its state stays for the last paragraph.
        m_done = true;
        return;
    }
    // Most groups end within the destination they started in: nothing to finish, no copy.
    const State &ended = m_states.back();
    const State &parent = m_states[m_states.size() - 2];
    if (ended.dest == parent.dest && ended.dest != Dest::FontTable) {
        m_states.pop_back();
        return;
    }
    State copy = std::move(m_states.back());
    m_states.pop_back();
    endState(copy);
}

Q_ALWAYS_INLINE void Builder::controlWord(const RtfControlWord &w, const RtfToken &t)
{
    switch (w.kind) {
    case RtfWordKind::Destination:
        destination(w.word);
        break;
    case RtfWordKind::Flag:
        flag(w.word);
        break;
    case RtfWordKind::Toggle:
        toggle(w.word, !t.hasParameter || t.parameter != 0);
        break;
    case RtfWordKind::Value:
        value(w.word, t.parameter, t.hasParameter);
        break;
    case RtfWordKind::Symbol:
        symbol(w.word);
        break;
    }
}

// Whether the current font's code page reads bytes below 0x80 as ASCII, so that a run of them
// can go into the paragraph without waiting for the bytes around it.
Q_ALWAYS_INLINE bool Builder::asciiDecodesAsLatin1()
{
    const int font = state().font;
    if (font != m_asciiFont) {
        const int codePage = currentCodePage();
        // Double-byte code pages keep a run of ASCII with the bytes next to it: some of them
        // read a few ASCII bytes as other characters.
        m_asciiIsLatin1 = codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
        m_asciiFont = font;
    }
    return m_asciiIsLatin1;
}

Q_ALWAYS_INLINE void Builder::textBytes(QByteArrayView bytes, bool ascii)
{
    const State &st = state();
    if (ascii && st.dest == Dest::Normal && m_bytes.isEmpty() && asciiDecodesAsLatin1()) {
        if (!st.hidden)
            appendAsciiToParagraph(bytes, st.chr);
        return;
    }
    switch (st.dest) {
    case Dest::Picture:
        pictureHex(bytes);
        return;
    case Dest::Skip:
    case Dest::ListTable:
    case Dest::List:
    case Dest::ListLevel:
    case Dest::ListOverrideTable:
    case Dest::ListOverride:
    case Dest::Pn:
    case Dest::NestTableProps:
    case Dest::Upr:
        return;
    default:
        m_bytes.append(bytes.data(), bytes.size());
    }
}

Q_ALWAYS_INLINE void Builder::textChars(QStringView chars)
{
    if (state().dest == Dest::Picture) {
        pictureHex(chars);
        return;
    }
    flushBytes();
    text(chars);
}

void Builder::text(QStringView s)
{
    State &st = state();
    switch (st.dest) {
    case Dest::Normal:
        if (!st.hidden)
            appendToParagraph(s, st.chr);
        break;
    case Dest::FontTable:
        for (QChar c : s) {
            if (c == u';') {
                commitFont();
                m_fontEntry.name.clear();
            } else if (!RtfFormat::isDroppedFromFontName(c.unicode()) &&
                       m_fontEntry.name.size() < 256) {
                m_fontEntry.name += c;
            }
        }
        break;
    case Dest::ColorTable:
        for (QChar c : s) {
            if (c != u';')
                continue;
            if (m_colors.size() < 65536)
                m_colors.push_back(
                    m_red < 0 && m_green < 0 && m_blue < 0
                        ? QColor()
                        : QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
            m_red = m_green = m_blue = -1;
        }
        break;
    case Dest::FieldInstruction:
        if (st.field >= 0 && m_fields[size_t(st.field)].instruction.size() < 65536)
            m_fields[size_t(st.field)].instruction += s;
        break;
    case Dest::LevelText:
        if (m_levelText.size() < 256)
            m_levelText += s;
        break;
    case Dest::PnText:
        if (m_pnText.size() < 256)
            m_pnText += s;
        break;
    case Dest::PnTextBefore:
        if (m_pnBullet.size() < 256)
            m_pnBullet += s;
        break;
    case Dest::BookmarkName:
    case Dest::PlaceKey:
    case Dest::LinkAddress:
        if (m_destinationText.size() < kMaxNameLength)
            m_destinationText += s.left(kMaxNameLength - m_destinationText.size());
        break;
    case Dest::StyleSheet:
        for (QChar c : s) {
            if (c == u';')
                endStyle();
            else if (m_styleName.size() < 256)
                m_styleName += c;
        }
        break;
    default:
        break;
    }
}

inline void Builder::appendToParagraph(QStringView s, const CharStyle &style)
{
    Run &run = runFor(style);
    std::u16string &text = m_paragraph.text;
    if (s.size() == 1) {
        text.push_back(plainCharacter(s.front().unicode()));
    } else {
        const size_t before = text.size();
        text.resize(before + size_t(s.size()));
        char16_t *out = text.data() + before;
        for (QChar c : s)
            *out++ = plainCharacter(c.unicode());
    }
    run.length += s.size();
}

Q_ALWAYS_INLINE void Builder::appendAsciiToParagraph(QByteArrayView ascii, const CharStyle &style)
{
    Run &run = runFor(style);
    std::u16string &text = m_paragraph.text;
    const size_t before = text.size();
    text.resize(before + size_t(ascii.size()));
    widenAscii(ascii.data(), ascii.size(), text.data() + before);
    run.length += ascii.size();
}

const QTextCharFormat &Builder::charFormat(const CharStyle &c)
{
    if (const auto it = m_charFormats.constFind(c); it != m_charFormats.constEnd())
        return *it;
    QTextCharFormat f;
    if (c.bold)
        f.setFontWeight(QFont::Bold);
    if (c.italic)
        f.setFontItalic(true);
    if (c.underline)
        f.setUnderlineStyle(QTextCharFormat::UnderlineStyle(c.underline));
    if (c.strike)
        f.setFontStrikeOut(true);
    if (c.vAlign)
        f.setVerticalAlignment(QTextCharFormat::VerticalAlignment(c.vAlign));
    if (c.caps)
        f.setFontCapitalization(QFont::Capitalization(c.caps));
    if (c.halfPoints)
        f.setFontPointSize(c.halfPoints / 2.0);
    if (c.family >= 0)
        f.setFontFamilies(QStringList{m_families[size_t(c.family)]});
    if (c.foreground >= 0)
        f.setForeground(QColor(qRed(QRgb(c.foreground)), qGreen(QRgb(c.foreground)),
                               qBlue(QRgb(c.foreground))));
    if (c.background >= 0)
        f.setBackground(QColor(qRed(QRgb(c.background)), qGreen(QRgb(c.background)),
                               qBlue(QRgb(c.background))));
    if (c.href >= 0) {
        f.setAnchor(true);
        f.setAnchorHref(m_hrefs[size_t(c.href)]);
    }
    return *m_charFormats.insert(c, canonical(f));
}

const QTextBlockFormat &Builder::blockFormat(const BlockStyle &b)
{
    if (const auto it = m_blockFormats.constFind(b); it != m_blockFormats.constEnd())
        return *it;
    QTextBlockFormat f;
    if (b.left != BlockStyle::None)
        f.setLeftMargin(b.left / kTwipsPerPixel);
    if (b.right != BlockStyle::None)
        f.setRightMargin(b.right / kTwipsPerPixel);
    if (b.indent != BlockStyle::None)
        f.setTextIndent(b.indent / kTwipsPerPixel);
    if (b.top != BlockStyle::None)
        f.setTopMargin(b.top / kTwipsPerPixel);
    if (b.bottom != BlockStyle::None)
        f.setBottomMargin(b.bottom / kTwipsPerPixel);
    if (b.background >= 0)
        f.setBackground(QColor(qRed(QRgb(b.background)), qGreen(QRgb(b.background)),
                               qBlue(QRgb(b.background))));
    if (b.alignment)
        f.setAlignment(Qt::Alignment(b.alignment));
    if (b.headingLevel)
        f.setHeadingLevel(b.headingLevel);
    if (b.rightToLeft)
        f.setLayoutDirection(Qt::RightToLeft);
    if (b.pageBreakBefore)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    if (b.nonBreakable)
        f.setNonBreakableLines(true);
    return *m_blockFormats.insert(b, f);
}

int Builder::intern(std::vector<QString> &strings, QHash<QString, int> &index, const QString &s)
{
    if (const auto it = index.constFind(s); it != index.constEnd())
        return *it;
    strings.push_back(s);
    index.insert(s, int(strings.size() - 1));
    return int(strings.size() - 1);
}

void Builder::page()
{
    if (!m_paragraph.isEmpty())
        endParagraph(size_t(state().itap));
    m_pageBreakPending = true;
}

void Builder::endParagraph(size_t depth)
{
    const State &s = state();
    Paragraph &p = m_paragraph;
    p.format = blockFormat(s.blk);
    if (!s.tabs.isEmpty())
        p.format.setTabPositions(s.tabs);
    if (s.lineSpacing != 0) {
        if (s.lineMultiple)
            p.format.setLineHeight(std::abs(s.lineSpacing) * 100.0 / 240.0,
                                   QTextBlockFormat::ProportionalHeight);
        else if (s.lineSpacing > 0)
            p.format.setLineHeight(s.lineSpacing / kTwipsPerPixel, QTextBlockFormat::MinimumHeight);
        else
            p.format.setLineHeight(-s.lineSpacing / kTwipsPerPixel, QTextBlockFormat::FixedHeight);
    }
    if (m_pageBreakPending) {
        p.format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        m_pageBreakPending = false;
    }
    bool inList = false;
    if (s.ls > 0) {
        inList = true;
        const int level = std::clamp(s.ilvl, 0, 8);
        p.listKey = (quint64(1) << 48) | (quint64(quint32(s.ls)) << 8) | quint64(level);
        QTextListFormat::Style style = QTextListFormat::ListDisc;
        int start = 1;
        if (const auto it = m_overrides.constFind(s.ls); it != m_overrides.constEnd()) {
            const ListDef &list = m_lists[size_t(*it)];
            if (size_t(level) < list.levels.size()) {
                const ListLevelDef &l = list.levels[size_t(level)];
                style = styleForNfc(l.nfc,
                                    QStringView(l.text).mid(std::min<qsizetype>(1, l.text.size())));
                start = l.start;
            }
        }
        p.listFormat.setStyle(style);
        p.listFormat.setIndent(level + 1);
        if (start != 1)
            p.listFormat.setProperty(RtfFormat::ListStart, start);
    } else if (s.pnStyle != QTextListFormat::ListStyleUndefined) {
        inList = true;
        p.listKey = (quint64(2) << 48) | (quint64(-int(s.pnStyle)) << 8) | quint64(s.pnLevel);
        p.listFormat.setStyle(s.pnStyle);
        p.listFormat.setIndent(s.pnLevel);
        if (s.pnStart != 1)
            p.listFormat.setProperty(RtfFormat::ListStart, s.pnStart);
    }
    if (inList) {
        // The marker's own indent comes from the list; keeping the paragraph's too would
        // indent list items twice.
        p.format.clearProperty(QTextFormat::BlockLeftMargin);
        p.format.clearProperty(QTextFormat::TextIndent);
    } else if (!m_pnText.isEmpty()) {
        // No list information beyond the marker text: show the marker as text.
        // The marker is text like any other: control characters become spaces here as well.
        QString t = m_pnText;
        for (QChar &ch : t)
            ch = ch == u'\t' ? QChar(u' ') : QChar(plainCharacter(ch.unicode()));
        p.text.insert(0, reinterpret_cast<const char16_t *>(t.utf16()), size_t(t.size()));
        // The marker joins the first run, unless that is a picture: a run of a picture holds
        // its one character only.
        for (ParagraphPlace &place : p.places)
            place.offset += t.size();
        if (p.runs.empty() || p.runs.front().image >= 0) {
            for (Run &r : p.runs)
                r.start += t.size();
            p.runs.insert(p.runs.begin(), Run{0, t.size(), s.chr});
        } else {
            p.runs.front().length += t.size();
            for (size_t i = 1; i < p.runs.size(); ++i)
                p.runs[i].start += t.size();
        }
    }
    m_pnText.clear();
    m_lastBookmark = -1;

    if (depth == 0) {
        closeTablesDeeperThan(0);
        emitParagraph(m_cursor, p, 0, m_needBlock);
        m_needBlock = true;
        // The next paragraph reuses the buffers.
        p.text.clear();
        p.runs.clear();
        p.places.clear();
        if (p.listKey != 0) {
            p.listKey = 0;
            p.listFormat = QTextListFormat();
        }
        return;
    }
    depth = std::min<size_t>(depth, kMaxTableDepth);
    closeTablesDeeperThan(depth);
    while (m_tables.size() < depth)
        m_tables.emplace_back();
    m_tables[depth - 1].cell.items.push_back(Item{std::move(p), nullptr});
    p = Paragraph();
}

// newBlock: the paragraph starts a block of its own after the cursor's, else it goes into the
// cursor's block.
void Builder::emitParagraph(QTextCursor &c, Paragraph &p, int container, bool newBlock)
{
    if (newBlock)
        c.insertBlock(p.format, QTextCharFormat());
    else
        c.setBlockFormat(p.format);
    if (p.listKey != 0) {
        QTextList *&list = m_textLists[qMakePair(container, p.listKey)];
        const QTextListFormat::Style style = p.listFormat.style();
        const bool numbered =
            style != QTextListFormat::ListDisc && style != QTextListFormat::ListCircle &&
            style != QTextListFormat::ListSquare && style != QTextListFormat::ListStyleUndefined;
        if (list && list->count() >= (numbered ? kMaxNumberedListItems : kMaxListItems)) {
            // Qt marks every item of a list changed when one is added, so a list only grows
            // to a bounded size; the next one carries its numbering on.
            QTextListFormat next = list->format();
            const int start =
                next.hasProperty(RtfFormat::ListStart) ? next.intProperty(RtfFormat::ListStart) : 1;
            next.setProperty(RtfFormat::ListStart, start + list->count());
            list = c.createList(next);
        } else if (list) {
            list->add(c.block());
        } else {
            list = c.createList(p.listFormat);
        }
    }
    const int start = c.position();
    for (const Run &r : p.runs) {
        if (r.length == 0)
            continue;
        const QTextCharFormat &format =
            r.image >= 0 ? canonical(m_images[size_t(r.image)]) : charFormat(r.style);
        c.insertText(QString::fromRawData(reinterpret_cast<const QChar *>(p.text.data()) + r.start,
                                          r.length),
                     format);
    }
    if (!p.places.empty())
        emitPlaces(c, p, start);
}

// Each place's names go on the character at its offset, as QTextCharFormat::anchorNames(): a
// place after the last character on that character, and in an empty paragraph on the
// paragraph's own character format.
void Builder::emitPlaces(QTextCursor &c, const Paragraph &p, int start)
{
    const int length = c.position() - start;
    std::vector<std::pair<int, QStringList>> names; // offset -> names, in the order read
    for (const ParagraphPlace &place : p.places) {
        const int offset = length > 0 ? int(std::min<qsizetype>(place.offset, length - 1)) : -1;
        auto it = std::find_if(names.begin(), names.end(),
                               [offset](const auto &entry) { return entry.first == offset; });
        if (it == names.end())
            it = names.insert(names.end(), {offset, QStringList()});
        if (!it->second.contains(place.name))
            it->second.append(place.name);
    }
    QTextCursor at(c);
    for (const auto &[offset, list] : names) {
        QTextCharFormat format;
        format.setAnchor(true);
        if (offset < 0) {
            format.setAnchorNames(list);
            c.mergeBlockCharFormat(format);
            continue;
        }
        at.setPosition(start + offset);
        at.setPosition(start + offset + 1, QTextCursor::KeepAnchor);
        format.setAnchorNames(list);
        at.mergeCharFormat(format);
    }
}

void Builder::emitItems(QTextCursor &c, std::vector<Item> &items, int container)
{
    bool needBlock = false;
    for (Item &item : items) {
        if (item.table) {
            emitTable(c, *item.table);
            needBlock = false;
            continue;
        }
        emitParagraph(c, item.paragraph, container, needBlock);
        needBlock = true;
    }
}

void Builder::finish()
{
    m_overflowDepth = 0;
    while (m_states.size() > 2) {
        State ended = std::move(m_states.back());
        m_states.pop_back();
        endState(ended);
    }
    if (m_states.size() == 2)
        finishContent();
}

// The text after the last paragraph mark is a paragraph of its own, without a mark after it.
void Builder::finishContent()
{
    if (!m_paragraph.isEmpty()) {
        if (state().itap > 0 && !m_tables.empty()) {
            endCell(size_t(state().itap));
        } else {
            endParagraph(0);
            m_needBlock = false;
        }
    }
    closeTablesDeeperThan(0);
    // At the end of the document the last paragraph mark only ends the last paragraph, as when
    // a file is opened (the next insertion starts a paragraph of its own); inside the document
    // it also moves what follows the cursor to a paragraph of its own.
    if (m_needBlock && !m_cursor.atEnd())
        m_cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    m_needBlock = false;
}

} // namespace RtfImport

namespace {

using namespace RtfImport;

template <typename Char> bool startsWithRtf(const Char *data, qsizetype size, qsizetype &start)
{
    qsizetype i = 0;
    while (i < size && (data[i] == Char(' ') || data[i] == Char('\t') || data[i] == Char('\r') ||
                        data[i] == Char('\n')))
        ++i;
    static const char prefix[] = "{\\rtf";
    if (size - i < 5)
        return false;
    for (int k = 0; k < 5; ++k) {
        if (data[i + k] != Char(prefix[k]))
            return false;
    }
    start = i;
    return true;
}

RtfReadResult insertPlainText(QTextCursor &cursor, QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r')
            c = u'\n';
        else if ((u < 0x20 && u != u'\t' && u != u'\n') || u == 0x7f ||
                 u == QChar::ObjectReplacementCharacter || u == 0xFDD0 || u == 0xFDD1)
            c = QChar::ReplacementCharacter;
    }
    cursor.beginEditBlock();
    cursor.insertText(text);
    cursor.endEditBlock();
    RtfReadResult result;
    result.isRtf = false;
    return result;
}

template <typename Char>
RtfReadResult insertRtf(QTextCursor &cursor, const Char *data, qsizetype size)
{
    RtfReadResult result;
    qsizetype start = 0;
    startsWithRtf(data, size, start);
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    {
        Builder builder(cursor, result.errors);
        builder.run(data, size, start);
    }
    cursor.endEditBlock();
    return result;
}

} // namespace

RtfReadResult RtfReader::insert(QTextCursor &cursor, QByteArrayView rtf)
{
    qsizetype start = 0;
    if (!startsWithRtf(rtf.data(), rtf.size(), start))
        return insertPlainText(cursor, QString::fromUtf8(rtf));
    return insertRtf(cursor, rtf.data(), rtf.size());
}

RtfReadResult RtfReader::insert(QTextCursor &cursor, QStringView rtf)
{
    qsizetype start = 0;
    if (!startsWithRtf(rtf.utf16(), rtf.size(), start))
        return insertPlainText(cursor, rtf.toString());
    return insertRtf(cursor, rtf.utf16(), rtf.size());
}

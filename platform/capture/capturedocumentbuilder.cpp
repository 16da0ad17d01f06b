#include "capturedocumentbuilder.h"

#include "captureprotocol.h"
#include "rtfformat.h"
#include "rtfplaces.h"

#include <QColor>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

using namespace CaptureProtocol;

namespace {

bool isTable(const QJsonObject &block)
{
    return block.value(Block::Kind).toString() == Block::TableKind;
}

QString imageKey(const QJsonObject &image)
{
    const QString svg = image.value(Image::Svg).toString();
    if (!svg.isEmpty())
        return QLatin1String("svg:") + svg + QLatin1Char(':') +
               QString::number(image.value(Image::Width).toInt()) + QLatin1Char('x') +
               QString::number(image.value(Image::Height).toInt());
    return image.value(Image::Src).toString();
}

QString firstInstalled(std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString family = QString::fromLatin1(name);
        if (QFontDatabase::hasFamily(family))
            return family;
    }
    return {};
}

QString genericFamily(const QString &generic)
{
    QString family;
    if (generic == QLatin1String("monospace") || generic == QLatin1String("ui-monospace")) {
        family = firstInstalled(
            {"DejaVu Sans Mono", "Liberation Mono", "Noto Mono", "Nimbus Mono PS", "Courier New"});
        if (family.isEmpty())
            family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    } else if (generic == QLatin1String("sans-serif") || generic == QLatin1String("system-ui") ||
               generic == QLatin1String("ui-sans-serif") ||
               generic == QLatin1String("-apple-system") ||
               generic == QLatin1String("blinkmacsystemfont") ||
               generic == QLatin1String("ui-rounded")) {
        family = firstInstalled({"DejaVu Sans", "Liberation Sans", "Nimbus Sans", "Arial"});
        if (family.isEmpty())
            family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    } else if (generic == QLatin1String("cursive") || generic == QLatin1String("fantasy") ||
               generic == QLatin1String("serif") || generic == QLatin1String("ui-serif") ||
               generic == QLatin1String("math")) {
        family =
            firstInstalled({"Liberation Serif", "DejaVu Serif", "Nimbus Roman", "Times New Roman"});
        if (family.isEmpty()) {
            QFont font;
            font.setStyleHint(QFont::Serif);
            family = QFontInfo(font).family();
        }
    }
    return family;
}

bool flag(const QJsonObject &o, QLatin1String key)
{
    const QJsonValue v = o.value(key);
    return v.isBool() ? v.toBool() : v.toInt() != 0;
}

QColor cssColour(const QJsonValue &v)
{
    return QColor(v.toString());
}

QTextListFormat::Style listStyle(const QString &s)
{
    if (s == QLatin1String("circle"))
        return QTextListFormat::ListCircle;
    if (s == QLatin1String("square"))
        return QTextListFormat::ListSquare;
    if (s == QLatin1String("decimal"))
        return QTextListFormat::ListDecimal;
    if (s == QLatin1String("lower-alpha"))
        return QTextListFormat::ListLowerAlpha;
    if (s == QLatin1String("upper-alpha"))
        return QTextListFormat::ListUpperAlpha;
    if (s == QLatin1String("lower-roman"))
        return QTextListFormat::ListLowerRoman;
    if (s == QLatin1String("upper-roman"))
        return QTextListFormat::ListUpperRoman;
    if (s == QLatin1String("none"))
        return QTextListFormat::ListStyleUndefined; // an item without a marker
    return QTextListFormat::ListDisc;
}

} // namespace

CaptureDocumentBuilder::CaptureDocumentBuilder(QTextDocument *document)
    : m_document(document), m_cursor(document)
{
    m_cursor.movePosition(QTextCursor::End);
    m_fresh = document->isEmpty();
    // One edit for all parts: Qt rescans every fragment of the document for frames at the end of
    // each edit that adds a table, which made pages with many tables quadratic.
    m_cursor.beginEditBlock();
}

CaptureDocumentBuilder::~CaptureDocumentBuilder()
{
    finish();
}

void CaptureDocumentBuilder::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    placeLeftOver();
    m_cursor.endEditBlock();
}

// Places that nothing came after (the last runs showed nothing) sit on the last paragraph's
// last character, or on the paragraph itself when it is empty. A capture that shows nothing at
// all has no places.
void CaptureDocumentBuilder::placeLeftOver()
{
    if (m_pendingPlaces.isEmpty() || m_document->isEmpty())
        return;
    QTextCharFormat names;
    for (const QString &key : std::as_const(m_pendingPlaces))
        RtfPlaces::addName(names, key);
    m_pendingPlaces.clear();
    const QTextBlock block = m_cursor.block();
    if (block.length() <= 1) {
        m_cursor.mergeBlockCharFormat(names);
        return;
    }
    QTextCursor last(block);
    last.movePosition(QTextCursor::EndOfBlock);
    last.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
    last.mergeCharFormat(names);
}

QUrl CaptureDocumentBuilder::canonicalAddress(const QUrl &address)
{
    if (!address.isLocalFile())
        return address;
    const QFileInfo file(address.toLocalFile());
    const QString canonical = file.canonicalFilePath();
    if (canonical.isEmpty() || canonical == file.absoluteFilePath())
        return address;
    QUrl url = QUrl::fromLocalFile(canonical);
    url.setQuery(address.query(QUrl::FullyEncoded), QUrl::StrictMode);
    url.setFragment(address.fragment(QUrl::FullyEncoded), QUrl::StrictMode);
    return url;
}

// A link keeps the address the page gave it, unless it names a local file through a symbolic
// link. Asked once for each address.
QString CaptureDocumentBuilder::linkAddress(const QString &href)
{
    if (!href.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return href;
    auto it = m_linkAddresses.constFind(href);
    if (it != m_linkAddresses.constEnd())
        return *it;
    const QUrl url(href);
    const QUrl canonical = canonicalAddress(url);
    const QString address = canonical == url ? href : canonical.toString(QUrl::FullyEncoded);
    m_linkAddresses.insert(href, address);
    return address;
}

CaptureDocumentBuilder::Part CaptureDocumentBuilder::prepare(const QJsonObject &part)
{
    const QJsonArray formats = part.value(CaptureProtocol::Part::Formats).toArray();
    m_formats.reserve(m_formats.size() + formats.size());
    for (const QJsonValue &v : formats) {
        const QJsonObject f = v.toObject();
        QTextCharFormat cf;
        QStringList stack;
        for (const QJsonValue &family : f.value(Format::Families).toArray())
            stack << family.toString();
        cf.setFontFamilies(QStringList{resolveFamily(stack)});
        const double px = f.value(Format::Size).toDouble(16);
        if (px > 0)
            cf.setFontPointSize(px * 0.75);
        cf.setFontWeight(f.value(Format::Weight).toInt(400));
        if (flag(f, Format::Italic))
            cf.setFontItalic(true);
        const QColor fg =
            f.contains(Format::Colour) ? cssColour(f.value(Format::Colour)) : QColor(Qt::black);
        cf.setForeground(fg);
        if (f.contains(Format::Background))
            cf.setBackground(cssColour(f.value(Format::Background)));
        if (flag(f, Format::Underline))
            cf.setFontUnderline(true);
        if (flag(f, Format::Strike))
            cf.setFontStrikeOut(true);
        const QString vertical = f.value(Format::Vertical).toString();
        if (vertical == Format::Super)
            cf.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        else if (vertical == Format::Sub)
            cf.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        const QString caps = f.value(Format::Caps).toString();
        if (caps == Format::Upper)
            cf.setFontCapitalization(QFont::AllUppercase);
        else if (caps == Format::Lower)
            cf.setFontCapitalization(QFont::AllLowercase);
        else if (caps == Format::Capitalize)
            cf.setFontCapitalization(QFont::Capitalize);
        else if (caps == Format::Small)
            cf.setFontCapitalization(QFont::SmallCaps);
        m_formats << cf;
    }
    CaptureDocumentBuilder::Part prepared;
    prepared.blocks = part.value(CaptureProtocol::Part::Blocks).toArray();
    QUrl page(part.value(CaptureProtocol::Part::Url).toString());
    page.setFragment(QString());
    prepared.page = canonicalAddress(page);
    if (!m_pageStarted) {
        m_pageStarted = true;
        const QString key = RtfPlaces::key(prepared.page);
        if (!key.isEmpty()) {
            m_placed.insert(key);
            m_pendingPlaces << key;
        }
    }
    prepared.firstImage = int(m_images.size());
    collectImages(prepared.blocks, prepared.images);
    m_images.resize(prepared.firstImage + prepared.images.size());
    return prepared;
}

QString CaptureDocumentBuilder::resolveFamily(const QStringList &stack)
{
    static QHash<QString, QString> cache;
    const QString key = stack.join(QLatin1Char(','));
    auto it = cache.constFind(key);
    if (it != cache.constEnd())
        return *it;
    QString family;
    for (const QString &name : stack) {
        const QString generic = genericFamily(name.toLower());
        if (!generic.isEmpty()) {
            family = generic;
            break;
        }
        if (QFontDatabase::hasFamily(name)) {
            family = name;
            break;
        }
    }
    if (family.isEmpty()) // the browser's default font is a serif one
        family = genericFamily(QStringLiteral("serif"));
    cache.insert(key, family);
    return family;
}

void CaptureDocumentBuilder::collectImages(const QJsonArray &blocks,
                                           QList<CaptureImageRequest> &requests)
{
    for (const QJsonValue &bv : blocks) {
        const QJsonObject b = bv.toObject();
        if (isTable(b)) {
            for (const QJsonValue &cell : b.value(Table::Cells).toArray())
                collectImages(cell.toObject().value(Cell::Blocks).toArray(), requests);
            continue;
        }
        for (const QJsonValue &rv : b.value(Paragraph::Runs).toArray()) {
            const QJsonObject image = rv.toObject().value(Run::Image).toObject();
            if (image.isEmpty())
                continue;
            const QString key = imageKey(image);
            if (key.isEmpty() || m_requestIndex.contains(key))
                continue;
            CaptureImageRequest request;
            request.src = image.value(Image::Src).toString();
            request.svg = image.value(Image::Svg).toString();
            request.width = image.value(Image::Width).toInt();
            request.height = image.value(Image::Height).toInt();
            m_requestIndex.insert(key, int(m_images.size() + requests.size()));
            requests << request;
        }
    }
}

QTextCharFormat CaptureDocumentBuilder::charFormat(int index) const
{
    if (index >= 0 && index < m_formats.size())
        return m_formats[index];
    return {};
}

// Formats are handed out from caches: the document finds a format it already holds by its
// hash, which a format object computes once and keeps.
QTextCharFormat CaptureDocumentBuilder::runFormat(int index, const QString &href)
{
    if (href.isEmpty())
        return charFormat(index);
    const auto key = qMakePair(index, href);
    auto it = m_linkFormats.constFind(key);
    if (it != m_linkFormats.constEnd())
        return *it;
    QTextCharFormat cf = charFormat(index);
    cf.setAnchor(true);
    cf.setAnchorHref(linkAddress(href));
    m_linkFormats.insert(key, cf);
    return cf;
}

QTextCharFormat CaptureDocumentBuilder::blockCharFormat(int index)
{
    auto it = m_blockCharFormats.constFind(index);
    if (it != m_blockCharFormats.constEnd())
        return *it;
    QTextCharFormat cf = charFormat(index);
    cf.clearBackground();
    m_blockCharFormats.insert(index, cf);
    return cf;
}

void CaptureDocumentBuilder::build(const Part &part, const QList<QByteArray> &images)
{
    for (qsizetype i = 0; i < images.size() && i < part.images.size(); ++i)
        m_images[part.firstImage + i] = images[i];
    m_page = part.page;
    addBlocks(m_cursor, part.blocks);
}

void CaptureDocumentBuilder::addBlocks(QTextCursor &cursor, const QJsonArray &blocks)
{
    for (const QJsonValue &bv : blocks) {
        const QJsonObject b = bv.toObject();
        if (isTable(b))
            addTable(cursor, b);
        else
            addParagraph(cursor, b);
    }
}

void CaptureDocumentBuilder::addParagraph(QTextCursor &cursor, const QJsonObject &p)
{
    QTextBlockFormat bf;
    bf.setTopMargin(p.value(Paragraph::MarginTop).toDouble());
    bf.setBottomMargin(p.value(Paragraph::MarginBottom).toDouble());
    const double indent = p.value(Paragraph::Indent).toDouble();
    if (indent > 0) // a centred narrow column must not push the text off the page
        bf.setLeftMargin(qMin(indent * m_scale, MaxWidth / 2));
    const double textIndent = p.value(Paragraph::TextIndent).toDouble();
    if (textIndent != 0)
        bf.setTextIndent(textIndent);
    // Qt, as RTF, names the sides of a right-to-left paragraph by where its lines start: left
    // is its leading side, on the right.
    const bool rightToLeft = p.value(Paragraph::Direction).toString() == Paragraph::RightToLeft;
    if (rightToLeft)
        bf.setLayoutDirection(Qt::RightToLeft);
    const QString align = p.value(Paragraph::Align).toString();
    if (align == Paragraph::Center)
        bf.setAlignment(Qt::AlignHCenter);
    else if (align == Paragraph::Right)
        bf.setAlignment(rightToLeft ? Qt::AlignLeft : Qt::AlignRight);
    else if (align == Paragraph::Justify)
        bf.setAlignment(Qt::AlignJustify);
    else
        bf.setAlignment(rightToLeft ? Qt::AlignRight : Qt::AlignLeft);
    if (p.contains(Paragraph::Background))
        bf.setBackground(cssColour(p.value(Paragraph::Background)));
    if (flag(p, Paragraph::Pre))
        bf.setNonBreakableLines(true);
    if (const int h = p.value(Paragraph::Heading).toInt(); h > 0)
        bf.setHeadingLevel(h);
    if (flag(p, Paragraph::Rule))
        bf.setProperty(QTextFormat::BlockTrailingHorizontalRulerWidth,
                       QTextLength(QTextLength::PercentageLength, 100));

    // An empty line keeps the size of the text it stands in.
    const QJsonArray runs = p.value(Paragraph::Runs).toArray();
    const QTextCharFormat lineFormat =
        runs.isEmpty() ? QTextCharFormat()
                       : blockCharFormat(runs.first().toObject().value(Run::Format).toInt());
    if (m_fresh) {
        // The block is there already. Its character format is merged, not set: the first block
        // of a table cell keeps the cell's own format (spans, background) in the same place.
        m_fresh = false;
        cursor.setBlockFormat(bf);
        if (!runs.isEmpty())
            cursor.mergeBlockCharFormat(lineFormat);
    } else {
        // One edit for the block and both its formats; a bare insertBlock would also hand the
        // new block the format of the text before it, a link's included.
        cursor.insertBlock(bf, runs.isEmpty() ? cursor.blockCharFormat() : lineFormat);
    }

    const QJsonObject item = p.value(Paragraph::ListItem).toObject();
    if (!item.isEmpty()) {
        const int id = item.value(ListItem::List).toInt();
        if (QTextList *list = m_lists.value(id)) {
            list->add(cursor.block());
        } else {
            QTextListFormat lf;
            lf.setStyle(listStyle(item.value(ListItem::Marker).toString()));
            lf.setIndent(qMax(1, item.value(ListItem::Level).toInt(1)));
            lf.setProperty(RtfFormat::ListStart, item.value(ListItem::Start).toInt(1));
            m_lists.insert(id, cursor.createList(lf));
        }
    }

    for (const QJsonValue &rv : runs)
        addRun(cursor, rv.toObject());
}

// A run's places, and those still waiting, go on the run: a fragment of its own, which begins
// where they do. Splitting the first character off would cut words in two where the document
// is searched or edited.
void CaptureDocumentBuilder::addRun(QTextCursor &cursor, const QJsonObject &run)
{
    const QTextCharFormat cf =
        runFormat(run.value(Run::Format).toInt(), run.value(Run::Href).toString());
    if (const QJsonValue places = run.value(Run::Places); places.isArray()) {
        for (const QJsonValue &name : places.toArray()) {
            const QString id = name.toString();
            if (id.isEmpty())
                continue;
            QUrl address = m_page;
            address.setFragment(id, QUrl::DecodedMode);
            const QString key = RtfPlaces::key(address);
            if (!key.isEmpty() && !m_placed.contains(key)) {
                m_placed.insert(key);
                m_pendingPlaces << key;
            }
        }
    }
    if (m_pendingPlaces.isEmpty()) {
        if (run.contains(Run::Image))
            addImage(cursor, run.value(Run::Image).toObject(), cf);
        else
            cursor.insertText(run.value(Run::Text).toString(), cf);
        return;
    }
    QTextCharFormat placed = cf;
    for (const QString &key : std::as_const(m_pendingPlaces))
        RtfPlaces::addName(placed, key);
    if (run.contains(Run::Image)) {
        if (addImage(cursor, run.value(Run::Image).toObject(), placed))
            m_pendingPlaces.clear();
        return;
    }
    const QString text = run.value(Run::Text).toString();
    if (text.isEmpty())
        return;
    cursor.insertText(text, placed);
    m_pendingPlaces.clear();
}

// False when nothing was shown: the picture could not be had and has no alt text.
bool CaptureDocumentBuilder::addImage(QTextCursor &cursor, const QJsonObject &image,
                                      const QTextCharFormat &format)
{
    const int index = m_requestIndex.value(imageKey(image), -1);
    const QByteArray bytes = index >= 0 ? m_images.value(index) : QByteArray();
    if (bytes.isEmpty()) {
        const QString alt = image.value(Image::Alt).toString();
        if (alt.isEmpty())
            return false;
        cursor.insertText(alt, format);
        return true;
    }
    QString name = m_imageNames.value(index);
    if (name.isEmpty()) {
        name = QStringLiteral("capture-image:%1.%2")
                   .arg(index)
                   .arg(bytes.startsWith("\xff\xd8") ? QLatin1String("jpg") : QLatin1String("png"));
        m_document->addResource(QTextDocument::ImageResource, QUrl(name), bytes);
        m_imageNames.insert(index, name);
    }
    QTextImageFormat imageFormat;
    imageFormat.merge(format);
    imageFormat.setName(name);
    double width = image.value(Image::Width).toDouble() * m_scale;
    double height = image.value(Image::Height).toDouble() * m_scale;
    if (width > MaxWidth) {
        height *= MaxWidth / width;
        width = MaxWidth;
    }
    imageFormat.setWidth(width);
    imageFormat.setHeight(height);
    const QString alt = image.value(Image::Alt).toString();
    if (!alt.isEmpty())
        imageFormat.setToolTip(alt);
    cursor.insertImage(imageFormat);
    return true;
}

void CaptureDocumentBuilder::addTable(QTextCursor &cursor, const QJsonObject &t)
{
    const int rows = t.value(Table::Rows).toInt();
    const int cols = t.value(Table::Columns).toInt();
    if (rows <= 0 || cols <= 0)
        return;
    if (qint64(rows) * cols > MaxTableCells || cols > 1000) {
        // Too big for a table the reader could lay out: its cells' content, in order.
        for (const QJsonValue &cv : t.value(Table::Cells).toArray())
            addBlocks(cursor, cv.toObject().value(Cell::Blocks).toArray());
        return;
    }
    QTextTableFormat tf;
    const double outerScale = m_scale;
    const double tableWidth = t.value(Table::Width).toDouble();
    double scale = m_scale;
    if (tableWidth * scale > MaxWidth)
        scale = MaxWidth / tableWidth;
    QList<QTextLength> widths;
    for (const QJsonValue &w : t.value(Table::Widths).toArray())
        widths << QTextLength(QTextLength::FixedLength, qMax(1.0, w.toDouble() * scale));
    while (widths.size() < cols)
        widths << QTextLength(QTextLength::VariableLength, 0);
    widths.resize(cols);
    tf.setColumnWidthConstraints(widths);
    if (tableWidth > 0)
        tf.setWidth(QTextLength(QTextLength::FixedLength, tableWidth * scale));
    const double border = t.value(Table::Border).toDouble();
    tf.setBorder(border);
    tf.setBorderStyle(border > 0 ? QTextFrameFormat::BorderStyle_Solid
                                 : QTextFrameFormat::BorderStyle_None);
    if (t.contains(Table::BorderColour))
        tf.setBorderBrush(cssColour(t.value(Table::BorderColour)));
    tf.setCellPadding(t.value(Table::Padding).toDouble());
    const double spacing = t.value(Table::Spacing).toDouble();
    tf.setCellSpacing(spacing);
    tf.setBorderCollapse(spacing == 0);
    tf.setHeaderRowCount(qMin(rows, t.value(Table::HeaderRows).toInt()));
    if (const double indent = t.value(Table::Indent).toDouble(); indent > 0)
        tf.setLeftMargin(indent);
    tf.setAlignment(Qt::AlignLeft);
    if (t.value(Table::Direction).toString() == Paragraph::RightToLeft)
        tf.setLayoutDirection(Qt::RightToLeft);

    // Qt puts the table after the paragraph the cursor stands in: a block inserted first would
    // be an empty paragraph before every table, and an empty item where a list precedes it.
    m_fresh = false;
    QTextTable *table = cursor.insertTable(rows, cols, tf);

    const QJsonArray cells = t.value(Table::Cells).toArray();
    auto position = [&](const QJsonObject &c, int &r, int &col) {
        r = c.value(Cell::Row).toInt();
        col = c.value(Cell::Column).toInt();
        return r >= 0 && r < rows && col >= 0 && col < cols;
    };
    // Backgrounds first: setting a cell's format afterwards would drop its spans.
    for (const QJsonValue &cv : cells) {
        const QJsonObject c = cv.toObject();
        int r = 0;
        int col = 0;
        if (!position(c, r, col) || !c.contains(Cell::Background))
            continue;
        QTextTableCell cell = table->cellAt(r, col);
        QTextTableCellFormat cellFormat = cell.format().toTableCellFormat();
        cellFormat.setBackground(cssColour(c.value(Cell::Background)));
        cell.setFormat(cellFormat);
    }
    for (const QJsonValue &cv : cells) {
        const QJsonObject c = cv.toObject();
        int r = 0;
        int col = 0;
        if (!position(c, r, col))
            continue;
        const int rs = qBound(1, c.value(Cell::RowSpan).toInt(1), rows - r);
        const int cs = qBound(1, c.value(Cell::ColumnSpan).toInt(1), cols - col);
        if (rs > 1 || cs > 1)
            table->mergeCells(r, col, rs, cs);
    }
    for (const QJsonValue &cv : cells) {
        const QJsonObject c = cv.toObject();
        int r = 0;
        int col = 0;
        if (!position(c, r, col))
            continue;
        QTextTableCell cell = table->cellAt(r, col);
        if (!cell.isValid() || cell.row() != r || cell.column() != col)
            continue;
        QTextCursor cellCursor = cell.firstCursorPosition();
        m_fresh = true;
        m_scale = scale;
        addBlocks(cellCursor, c.value(Cell::Blocks).toArray());
        m_scale = outerScale;
    }
    // What follows goes into the block after the table, which Qt always keeps.
    cursor = table->lastCursorPosition();
    cursor.movePosition(QTextCursor::NextBlock);
    m_fresh = true;
}

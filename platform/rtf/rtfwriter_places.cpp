#include "rtfwriter_places.h"

#include "rtfplaces.h"

#include <QMap>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <array>

namespace {

// A bookmark read from RTF keeps its name when Word would take it as it is: up to 40 ASCII
// letters, digits and '_', not starting with a digit ('_' first is Word's own hidden kind).
bool keepsForeignName(const QString &name)
{
    if (name.isEmpty() || name.size() > RtfPlaces::MaxBookmarkLength)
        return false;
    const QChar first = name.front();
    if (first != u'_' && !RtfPlaces::isValidBookmarkName(name.left(1)))
        return false;
    return RtfPlaces::isValidBookmarkName(u'a' + name.mid(1));
}

bool isPageStart(const QString &key)
{
    return !key.contains(u'#');
}

// A heading's text as a table of contents lists it: one line, without pictures.
QString headingText(const QTextBlock &block)
{
    QString text = block.text();
    text.remove(QChar::ObjectReplacementCharacter);
    for (QChar &c : text) {
        if (c == QChar::LineSeparator || c == u'\t' || c == QChar::Nbsp)
            c = u' ';
    }
    return text.simplified();
}

} // namespace

RtfPlacePlan::RtfPlacePlan(const QTextDocument &document, const QList<QTextFormat> &formats,
                           int from, int to, const RtfWriteOptions &options)
{
    collect(document, formats, from, to, options.tableOfContents);
    if (!m_places.isEmpty() || !m_hrefs.isEmpty() || !m_headings.isEmpty())
        resolve(options);
}

void RtfPlacePlan::collect(const QTextDocument &document, const QList<QTextFormat> &formats,
                           int from, int to, bool toc)
{
    // Per format index: 0 not looked at, 1 neither place nor link, 2 place or link.
    QList<char> seen(formats.size(), 0);
    const auto anchorFormat = [&](int index) -> const QTextFormat * {
        if (index < 0 || index >= formats.size())
            return nullptr;
        if (seen[index] == 0)
            seen[index] = formats.at(index).toCharFormat().isAnchor() ? 2 : 1;
        return seen[index] == 2 ? &formats.at(index) : nullptr;
    };
    const auto addPlaces = [&](const QTextFormat &format, int position, int blockPosition) {
        const QStringList names = format.toCharFormat().anchorNames();
        for (const QString &name : names) {
            if (name.isEmpty())
                continue;
            m_places.append({position, name});
            m_blockOf.insert(position, blockPosition);
        }
    };
    QTextBlock first = document.findBlock(from);
    if (!first.isValid())
        first = document.begin();
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        const int blockPosition = block.position();
        const int length = block.length();
        if (blockPosition + length - 1 < from)
            continue;
        if (blockPosition >= to)
            break;
        int position = blockPosition;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            const int start = position;
            position += fragment.length();
            if (start >= to)
                break;
            if (position <= from)
                continue;
            const QTextFormat *format = anchorFormat(fragment.charFormatIndex());
            if (!format)
                continue;
            if (start >= from)
                addPlaces(*format, start, blockPosition);
            const QString href = format->toCharFormat().anchorHref();
            if (!href.isEmpty())
                m_hrefs.insert(href);
        }
        // An empty paragraph holds its places on its own format.
        if (length == 1 && blockPosition >= from) {
            if (const QTextFormat *format = anchorFormat(block.charFormatIndex()))
                addPlaces(*format, blockPosition, blockPosition);
        }
        if (toc && blockPosition >= from) {
            const int level = block.blockFormat().headingLevel();
            if (level >= 1 && level <= 3) {
                const QString text = headingText(block);
                if (!text.isEmpty()) {
                    m_headingAt.insert(blockPosition, int(m_headings.size()));
                    m_headings.append({blockPosition, level, text});
                }
            }
        }
    }
}

void RtfPlacePlan::resolve(const RtfWriteOptions &options)
{
    QHash<QString, int> firstOfKey; // key -> index in m_places of its first place
    for (int i = 0; i < m_places.size(); ++i) {
        const QString &name = m_places.at(i).name;
        if (RtfPlaces::isKey(name) && !firstOfKey.contains(name))
            firstOfKey.insert(name, i);
    }

    // The keys that links reach: a place of the range, or the start of its page when the
    // place itself is not in the range.
    QSet<QString> needed;
    QHash<QString, QString> linkKeys; // href -> key of its target
    if (options.resolveLinks) {
        for (const QString &href : std::as_const(m_hrefs)) {
            if (href.startsWith(u'#'))
                continue;
            QString key = RtfPlaces::key(QUrl(href));
            if (key.isEmpty())
                continue;
            if (!firstOfKey.contains(key)) {
                const qsizetype hash = key.indexOf(u'#');
                if (hash < 0 || !firstOfKey.contains(key.left(hash)))
                    continue;
                key.truncate(hash);
            }
            needed.insert(key);
            linkKeys.insert(href, key);
        }
    }

    // The headings of the table of contents: at the first place in the heading when there is
    // one, else at a bookmark of their own.
    QList<int> tocPlace(m_headings.size(), -1); // index in m_places
    for (int i = 0; i < m_places.size() && !m_headings.isEmpty(); ++i) {
        const int h = m_headingAt.value(m_blockOf.value(m_places.at(i).position, -1), -1);
        const QString &name = m_places.at(i).name;
        // A key met again (a page joined twice) has its bookmark at its first place only.
        if (h < 0 || tocPlace[h] >= 0 || (RtfPlaces::isKey(name) && firstOfKey.value(name) != i))
            continue;
        tocPlace[h] = i;
        if (RtfPlaces::isKey(m_places.at(i).name))
            needed.insert(m_places.at(i).name);
    }

    // Names: the bookmarks from elsewhere first, as they were where they can be; then the keys
    // in document order; then the headings' own.
    RtfPlaces::BookmarkNames names;
    QList<QString> written(m_places.size());
    QHash<QString, QString> foreignNames; // name read from RTF -> name written
    for (int i = 0; i < m_places.size(); ++i) {
        const QString &name = m_places.at(i).name;
        if (RtfPlaces::isKey(name))
            continue;
        written[i] = keepsForeignName(name) && names.reserve(name) ? name : names.make(name);
        if (!foreignNames.contains(name))
            foreignNames.insert(name, written[i]);
    }
    QHash<QString, QString> keyNames;
    for (int i = 0; i < m_places.size(); ++i) {
        const QString &name = m_places.at(i).name;
        if (!RtfPlaces::isKey(name) || firstOfKey.value(name) != i)
            continue;
        if (isPageStart(name) || needed.contains(name)) {
            written[i] = names.make(RtfPlaces::readableName(name));
            keyNames.insert(name, written[i]);
        }
    }

    // The marks at each position: keys written only for a copy first, then bookmarks from
    // elsewhere, then the bookmarks of keys, each followed by its key in a copy. A reader
    // takes a key right after a bookmark as that bookmark's own.
    QMap<int, std::array<QList<Mark>, 3>> marks;
    for (int i = 0; i < m_places.size(); ++i) {
        const Place &place = m_places.at(i);
        const bool key = RtfPlaces::isKey(place.name);
        if (key && isPageStart(place.name))
            m_pageBlocks.insert(m_blockOf.value(place.position));
        if (!key)
            marks[place.position][1].append({written[i], {}});
        else if (!written[i].isEmpty())
            marks[place.position][2].append({written[i], options.forCopy ? place.name : QString()});
        else if (options.forCopy)
            marks[place.position][0].append({{}, place.name});
    }
    for (int h = 0; h < m_headings.size(); ++h) {
        const Heading &heading = m_headings.at(h);
        QString bookmark;
        if (tocPlace[h] >= 0) {
            bookmark = written[tocPlace[h]];
        } else {
            bookmark = names.make(heading.text);
            marks[heading.position][1].append({bookmark, {}});
        }
        m_toc.append({heading.level, heading.text, bookmark});
    }
    for (auto it = marks.cbegin(); it != marks.cend(); ++it) {
        QList<Mark> &list = m_marks[it.key()];
        for (const QList<Mark> &part : it.value())
            list += part;
    }

    for (auto it = linkKeys.cbegin(); it != linkKeys.cend(); ++it)
        m_links.insert(it.key(),
                       {true, keyNames.value(it.value()), options.forCopy ? it.key() : QString()});
    for (const QString &href : std::as_const(m_hrefs)) {
        if (href.startsWith(u'#')) {
            const QString name = href.mid(1);
            m_links.insert(href, {true, foreignNames.value(name, name), {}});
        }
    }
}

RtfPlacePlan::Link RtfPlacePlan::link(const QString &href) const
{
    const auto found = m_links.constFind(href);
    if (found != m_links.cend())
        return *found;
    if (href.startsWith(u'#'))
        return {true, href.mid(1), {}};
    return {false, {}, href};
}

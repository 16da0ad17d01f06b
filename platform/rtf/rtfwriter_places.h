#pragma once

#include "rtfwriter.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QTextFormat>

class QTextDocument;

// What the writer writes for the places and links of a range of a document: which places
// become bookmarks and under which names, where each link goes, where pages start, and the
// entries of a table of contents. Made in one pass over the range before the body is written.
//
// Written are: every bookmark read from RTF made elsewhere (a place whose name is no key),
// under its own name where that is a name Word accepts; the start of each page (a key without
// a fragment); each place that a link of the range reaches (when links are resolved); and one
// bookmark on each heading that the table of contents lists. Other places are left out, except
// that a copy (RtfWriteOptions::forCopy) keeps all of their keys.
class RtfPlacePlan final {
public:
    // One thing to write before the character at a position.
    struct Mark {
        QString bookmark; // \bkmkstart and \bkmkend of this name, when not empty
        QString key;      // {\*\folvaneplace KEY} after it, when not empty
    };
    // Where a link goes.
    struct Link {
        bool internal = false; // HYPERLINK \l "bookmark", else HYPERLINK "address"
        QString bookmark;
        QString address; // the link's target; for a copy, also that of an internal link
    };
    struct TocEntry {
        int level = 1;
        QString text;
        QString bookmark;
    };

    RtfPlacePlan(const QTextDocument &document, const QList<QTextFormat> &formats, int from, int to,
                 const RtfWriteOptions &options);

    // The marks before the character at position (on the paragraph mark of an empty
    // paragraph for a place that sits on the paragraph's own format), in the order written.
    const QList<Mark> *marksAt(int position) const
    {
        if (m_marks.isEmpty())
            return nullptr;
        const auto found = m_marks.constFind(position);
        return found == m_marks.cend() ? nullptr : &*found;
    }
    Link link(const QString &href) const;
    // Whether a page starts in the block that starts at position, so that a page break goes
    // before it when asked for.
    bool startsPage(int blockPosition) const { return m_pageBlocks.contains(blockPosition); }
    const QList<TocEntry> &tableOfContents() const { return m_toc; }

private:
    struct Place {
        int position;
        QString name;
    };
    void collect(const QTextDocument &document, const QList<QTextFormat> &formats, int from, int to,
                 bool toc);
    void resolve(const RtfWriteOptions &options);

    QList<Place> m_places; // in document order
    QSet<QString> m_hrefs; // the links of the range
    struct Heading {
        int position; // of its block
        int level;
        QString text;
    };
    QList<Heading> m_headings;   // of levels 1 to 3, for the table of contents
    QHash<int, int> m_headingAt; // block position -> index in m_headings
    QHash<int, QList<Mark>> m_marks;
    QHash<QString, Link> m_links;
    QSet<int> m_pageBlocks;
    QHash<int, int> m_blockOf; // place position -> position of its block
    QList<TocEntry> m_toc;
};

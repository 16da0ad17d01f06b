#pragma once

#include <QByteArray>

class QTextDocument;

// How a document is written.
struct RtfWriteOptions {
    // A link to a place or a page of the written range becomes a link to its bookmark
    // (HYPERLINK \l); with false every link keeps its address.
    bool resolveLinks = true;
    // A table of contents (a TOC field over heading levels 1 to 3, its result filled in with
    // links to the headings) before the text.
    bool tableOfContents = false;
    // Each page after the first (each page-start place but the first) begins on a new page.
    bool pageBreaks = false;
    // For a copy that this program reads back: every place's key is written as well, in
    // {\*\folvaneplace KEY}, and each resolved link's address in {\*\folvanelink ADDRESS} inside
    // its field instruction, so that links can still be resolved across pages after the copy is
    // read into another document.
    bool forCopy = false;
};

// Writes a QTextDocument, whole or a range of it, as RTF 1.9 text.
class RtfWriter final {
public:
    // The whole document, with the default options.
    static QByteArray write(const QTextDocument &document);
    static QByteArray write(const QTextDocument &document, const RtfWriteOptions &options);
    // The characters between the document positions from and to (as QTextCursor counts them).
    static QByteArray write(const QTextDocument &document, int from, int to);
    static QByteArray write(const QTextDocument &document, int from, int to,
                            const RtfWriteOptions &options);
};

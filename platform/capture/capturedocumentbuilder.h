#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QUrl>

#include "captureimages.h"

class QTextDocument;
class QTextList;

// Turns the page script's description of a selection into a QTextDocument. The description comes
// in parts, in order; each part's blocks are added after those of the parts before.
//
// The page's places become places of the document (see rtfplaces.h), named by their keys: the
// page's address on its first character, and the address with the fragment "x" where an element
// with the id "x" (or an <a name="x">) begins. A file reached through a symbolic link is named by
// the file it leads to, in places and in links alike, so that a link by either path finds it.
class CaptureDocumentBuilder final {
public:
    // Builds into document, after what it holds. The document is complete once finish() has
    // been called (or the builder has gone).
    explicit CaptureDocumentBuilder(QTextDocument *document);
    ~CaptureDocumentBuilder();
    CaptureDocumentBuilder(const CaptureDocumentBuilder &) = delete;
    CaptureDocumentBuilder &operator=(const CaptureDocumentBuilder &) = delete;

    // What one part of the description needs before it can be built.
    struct Part {
        QJsonArray blocks;
        QList<CaptureImageRequest> images; // pictures no earlier part asked for
        int firstImage = 0;                // the number of images, over all parts, before these
        QUrl page;                         // the page's address, without its fragment
    };
    // Reads a part's formats, which continue those of the parts before, and finds its pictures.
    Part prepare(const QJsonObject &part);
    // Adds a prepared part's blocks to the document; images[i] holds the bytes of part.images[i],
    // empty where the picture could not be had (its alt text is shown instead).
    void build(const Part &part, const QList<QByteArray> &images);
    // Ends the building: the document's layout of frames and tables is brought up to date.
    void finish();

    // Tables and pictures wider than this (the text width of a Letter or A4 page with one-inch
    // margins, in CSS pixels) are shrunk to it, keeping their proportions.
    static constexpr double MaxWidth = 624;
    // Tables with more cells than this are written as their cells' paragraphs.
    static constexpr qint64 MaxTableCells = 1000000;

    // The installed family the browser would use for a CSS font-family stack.
    static QString resolveFamily(const QStringList &stack);

    // The address of what address names: a local file reached through a symbolic link is given
    // by the path of the file itself; any other address is left as it is.
    static QUrl canonicalAddress(const QUrl &address);

private:
    void collectImages(const QJsonArray &blocks, QList<CaptureImageRequest> &requests);
    void addBlocks(QTextCursor &cursor, const QJsonArray &blocks);
    void addParagraph(QTextCursor &cursor, const QJsonObject &p);
    void addTable(QTextCursor &cursor, const QJsonObject &t);
    bool addImage(QTextCursor &cursor, const QJsonObject &image, const QTextCharFormat &format);
    void addRun(QTextCursor &cursor, const QJsonObject &run);
    QString linkAddress(const QString &href);
    void placeLeftOver();
    QTextCharFormat charFormat(int index) const;
    QTextCharFormat runFormat(int index, const QString &href);
    QTextCharFormat blockCharFormat(int index);

    QList<QTextCharFormat> m_formats;
    QHash<QString, int> m_requestIndex; // image key -> index in m_images
    QList<QByteArray> m_images;
    QHash<int, QString> m_imageNames; // request index -> resource name once added
    QHash<int, QTextList *> m_lists;
    QHash<QPair<int, QString>, QTextCharFormat> m_linkFormats; // (format index, href)
    QHash<int, QTextCharFormat> m_blockCharFormats;            // without the background
    QHash<QString, QString> m_linkAddresses;                   // href -> the address linked to
    QStringList m_pendingPlaces; // keys of places that begin at the next character
    QSet<QString> m_placed;      // keys given so far: the first of two equal ids is the place
    bool m_pageStarted = false;  // the page's start is among the places
    QUrl m_page;                 // the address of the page whose part is being built
    QTextDocument *m_document = nullptr;
    QTextCursor m_cursor; // where the next part goes
    bool m_fresh = false;
    bool m_finished = false; // the cursor stands in an empty block nobody has used yet
    double m_scale = 1.0;    // how much the enclosing tables were shrunk to fit the page
};

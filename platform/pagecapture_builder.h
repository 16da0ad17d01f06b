#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTextCharFormat>

#include "pagecapture_images.h"

class QTextCursor;
class QTextDocument;
class QTextList;

// Turns the page script's description of a selection into a QTextDocument.
class CaptureDocumentBuilder final {
public:
    explicit CaptureDocumentBuilder(const QJsonObject &description);

    // The pictures the description shows, in the order build() expects their bytes.
    const QList<CaptureImageRequest> &imageRequests() const { return m_requests; }

    // Fills document (which should be empty); images[i] holds the bytes of imageRequests()[i],
    // empty where the picture could not be had (its alt text is shown instead).
    void build(QTextDocument *document, const QList<QByteArray> &images);

    // Tables and pictures wider than this (the text width of a Letter or A4 page with one-inch
    // margins, in CSS pixels) are shrunk to it, keeping their proportions.
    static constexpr double MaxWidth = 624;
    // Tables with more cells than this are written as their cells' paragraphs.
    static constexpr qint64 MaxTableCells = 1000000;

    // The installed family the browser would use for a CSS font-family stack.
    static QString resolveFamily(const QStringList &stack);

private:
    void collectImages(const QJsonArray &blocks);
    void addBlocks(QTextCursor &cursor, const QJsonArray &blocks);
    void addParagraph(QTextCursor &cursor, const QJsonObject &p);
    void addTable(QTextCursor &cursor, const QJsonObject &t);
    void addImage(QTextCursor &cursor, const QJsonObject &image, const QTextCharFormat &format);
    QTextCharFormat charFormat(int index) const;
    QTextCharFormat runFormat(int index, const QString &href);
    QTextCharFormat blockCharFormat(int index);
    void startBlock(QTextCursor &cursor);

    QJsonObject m_description;
    QList<QTextCharFormat> m_formats;
    QList<CaptureImageRequest> m_requests;
    QHash<QString, int> m_requestIndex; // image key -> index in m_requests
    QList<QByteArray> m_images;
    QHash<int, QString> m_imageNames; // request index -> resource name once added
    QHash<int, QTextList *> m_lists;
    QHash<QPair<int, QString>, QTextCharFormat> m_linkFormats; // (format index, href)
    QHash<int, QTextCharFormat> m_blockCharFormats;            // without the background
    QTextDocument *m_document = nullptr;
    bool m_fresh = false; // the cursor stands in an empty block nobody has used yet
    double m_scale = 1.0; // how much the enclosing tables were shrunk to fit the page
};

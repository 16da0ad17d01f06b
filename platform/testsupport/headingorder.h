#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <utility>

// The words whose "Heading <word>" occurs in text, in the order they occur, each occurrence once:
// the pages of the run tests are named by such words, so this is the order of the pages in a
// result.
inline QStringList headingOrder(const QString &text, const QStringList &words)
{
    QList<std::pair<qsizetype, QString>> found;
    for (const QString &word : words) {
        const QString marker = QStringLiteral("Heading ") + word;
        for (qsizetype at = text.indexOf(marker); at >= 0; at = text.indexOf(marker, at + 1))
            found.append({at, word});
    }
    std::sort(found.begin(), found.end());
    QStringList order;
    for (const auto &entry : found)
        order << entry.second;
    return order;
}

// The positions of the markers in text, one after the other; -1 for one that does not follow
// the one before it.
inline QList<qsizetype> positionsInOrder(const QString &text, const QStringList &markers)
{
    QList<qsizetype> positions;
    qsizetype from = 0;
    for (const QString &marker : markers) {
        const qsizetype at = from < 0 ? -1 : text.indexOf(marker, from);
        positions << at;
        from = at < 0 ? -1 : at + marker.size();
    }
    return positions;
}

// The first of the markers that does not follow the one before it in text; empty when each does.
inline QString firstOutOfOrder(const QString &text, const QStringList &markers)
{
    const QList<qsizetype> positions = positionsInOrder(text, markers);
    const qsizetype missing = positions.indexOf(-1);
    return missing < 0 ? QString() : markers[missing];
}

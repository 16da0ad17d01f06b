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

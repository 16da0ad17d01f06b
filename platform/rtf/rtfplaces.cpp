#include "rtfplaces.h"

#include <QFileInfo>
#include <QTextCharFormat>
#include <QUrl>

namespace RtfPlaces {

QString key(const QUrl &address)
{
    if (!address.isValid() || address.isRelative())
        return {};
    const QUrl base = address.adjusted(QUrl::RemoveFragment | QUrl::NormalizePathSegments);
    QString result = base.toString(QUrl::FullyEncoded);
    const QString fragment = address.fragment(QUrl::FullyDecoded);
    if (!fragment.isEmpty())
        result += u'#' + fragment;
    return result;
}

bool isKey(QStringView name)
{
    qsizetype i = 0;
    while (i < name.size()) {
        const QChar c = name[i];
        const bool ascii = c.unicode() < 0x80;
        const bool letter = ascii && c.isLetter();
        if (letter || (i > 0 && ascii && (c.isDigit() || c == u'+' || c == u'-' || c == u'.'))) {
            ++i;
            continue;
        }
        break;
    }
    // "C:" is a Windows drive, not a scheme.
    return i >= 2 && i < name.size() && name[i] == u':';
}

QString readableName(QStringView key)
{
    const qsizetype hash = key.indexOf(u'#');
    if (hash >= 0)
        return key.mid(hash + 1).toString();
    const QUrl url(key.toString());
    const QString path = url.path(QUrl::FullyDecoded);
    QStringList segments = path.split(u'/', Qt::SkipEmptyParts);
    if (segments.isEmpty())
        return url.host();
    const QString file = QFileInfo(segments.last()).completeBaseName();
    const QString stem = file.isEmpty() ? segments.last() : file;
    if (segments.size() >= 2)
        return segments[segments.size() - 2] + u'_' + stem;
    return stem;
}

namespace {
bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
// The Latin spelling of a letter that does not decompose into one, or null.
const char *latinSpelling(QChar c)
{
    switch (c.unicode()) {
    case 0x00df:
        return "ss"; // sharp s
    case 0x00e6:
        return "ae";
    case 0x00c6:
        return "AE";
    case 0x00f8:
        return "o";
    case 0x00d8:
        return "O";
    case 0x0153:
        return "oe";
    case 0x0152:
        return "OE";
    case 0x0111:
        return "d";
    case 0x0110:
        return "D";
    case 0x0142:
        return "l";
    case 0x0141:
        return "L";
    case 0x00fe:
        return "th";
    case 0x00de:
        return "TH";
    case 0x00f0:
        return "d";
    case 0x00d0:
        return "D";
    case 0x0131:
        return "i"; // dotless i
    default:
        return nullptr;
    }
}
// Cuts name to length characters and drops the '_' that the cut leaves at its end.
QString cut(QString name, qsizetype length)
{
    name.truncate(length);
    while (name.endsWith(u'_'))
        name.chop(1);
    return name;
}
} // namespace

bool isValidBookmarkName(QStringView name)
{
    if (name.isEmpty() || name.size() > MaxBookmarkLength || !isAsciiLetter(name[0]))
        return false;
    for (const QChar c : name) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != u'_')
            return false;
    }
    return true;
}

QString bookmarkName(QStringView readable)
{
    // Only the first few hundred characters can reach the name; a huge input costs no more.
    const QString decomposed =
        readable.left(4 * MaxBookmarkLength).toString().normalized(QString::NormalizationForm_KD);
    QString name;
    bool pendingSeparator = false;
    for (const QChar c : decomposed) {
        if (isAsciiLetter(c) || isAsciiDigit(c)) {
            if (pendingSeparator && !name.isEmpty())
                name += u'_';
            pendingSeparator = false;
            name += c;
        } else if (const char *spelled = latinSpelling(c)) {
            if (pendingSeparator && !name.isEmpty())
                name += u'_';
            pendingSeparator = false;
            name += QLatin1StringView(spelled);
        } else if (c.isMark() || c.isLetter()) {
            continue; // the accent of a decomposed letter, or a letter with no Latin spelling
        } else {
            pendingSeparator = true;
        }
    }
    if (name.isEmpty())
        return QStringLiteral("place");
    if (isAsciiDigit(name[0]))
        name.prepend(QStringLiteral("id_"));
    return cut(name, MaxBookmarkLength);
}

QStringList names(const QTextCharFormat &format)
{
    return format.anchorNames();
}

void addName(QTextCharFormat &format, const QString &name)
{
    QStringList list = format.anchorNames();
    if (!list.contains(name))
        list.append(name);
    format.setAnchor(true);
    format.setAnchorNames(list);
}

bool BookmarkNames::reserve(const QString &name)
{
    const QString folded = name.toCaseFolded();
    if (m_taken.contains(folded))
        return false;
    m_taken.insert(folded);
    return true;
}

QString BookmarkNames::make(QStringView readable)
{
    const QString base = bookmarkName(readable);
    if (reserve(base))
        return base;
    for (int n = 2;; ++n) {
        const QString suffix = u'_' + QString::number(n);
        const QString candidate = cut(base, MaxBookmarkLength - suffix.size()) + suffix;
        if (reserve(candidate))
            return candidate;
    }
}

bool BookmarkNames::contains(QStringView name) const
{
    return m_taken.contains(name.toString().toCaseFolded());
}

} // namespace RtfPlaces

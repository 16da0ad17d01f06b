#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

class QTextCharFormat;
class QUrl;

// Places in a document that a link can reach, and the bookmark names they are written under.
//
// A place is a name in QTextCharFormat::anchorNames() (with isAnchor() true) on the first
// character at that place. A place that has no character after it in its paragraph sits on the
// paragraph's last character; in an empty paragraph it sits on the paragraph's character format
// (QTextBlock::charFormat(), the format of the paragraph mark), which the writer reads too.
//
// A place made from a page is named by its key: the absolute address of the place (see key()).
// A page's start is the key of the page's address; an element with id "x" is the key of the
// address with fragment "x". Any other name (one that is not a key, see isKey()) is a bookmark
// that came with RTF written elsewhere and keeps its name.
//
// A link is QTextCharFormat::anchorHref(): an absolute address, or "#name" for a link to a
// bookmark of the document itself (HYPERLINK \l "name" in RTF).
namespace RtfPlaces {

// The key of an address: the address with its path segments normalised ("a/./b/../c" is "a/c"),
// its query kept, its fragment decoded and an empty fragment ("page.html#") dropped; the part
// before the fragment is percent-encoded. A relative or invalid address has no key (an empty
// string), so "#name" is never a key.
QString key(const QUrl &address);

// Whether a place name is a key (it begins with a scheme of two or more characters and a ':'),
// rather than a bookmark name read from RTF.
bool isKey(QStringView name);

// The part of a key that a bookmark name is made from: the fragment when there is one, else
// the page's file name without its extension, after the name of its folder when it has one
// ("file:///docs/tutorial/index.html" gives "tutorial_index").
QString readableName(QStringView key);

// The longest bookmark name Word accepts.
inline constexpr qsizetype MaxBookmarkLength = 40;

// Whether name follows Word's rules for a bookmark: 1 to 40 characters, an ASCII letter first,
// then ASCII letters, digits and '_'.
bool isValidBookmarkName(QStringView name);

// A Word-valid bookmark name made from readable text: accents are dropped ("ü" is "u"), a few
// letters are spelled in Latin ("ß" is "ss"), other non-ASCII letters are dropped, and any other
// character that is not an ASCII letter or digit becomes '_' (a run of them one '_', none at
// either end); a name that would begin with a digit gets "id_" before it, an empty result is
// "place", and the name is cut to 40 characters.
QString bookmarkName(QStringView readable);

// The place names held by a character format (its anchor names).
QStringList names(const QTextCharFormat &format);
// Adds name to a character format's anchor names (once) and makes the format an anchor.
void addName(QTextCharFormat &format, const QString &name);

// Hands out bookmark names that are unique in one document. Word compares bookmark names
// without regard to case, and so does this.
class BookmarkNames {
public:
    // Reserves a name that is used as it is (it must be valid); false if it is taken already.
    bool reserve(const QString &name);
    // A valid name for readable text, unique among the names handed out so far: bookmarkName()
    // of it, or with "_2", "_3" ... after it (the base cut so the whole stays within 40).
    QString make(QStringView readable);
    // Whether name (in any case) has been handed out.
    bool contains(QStringView name) const;

private:
    QSet<QString> m_taken; // case-folded
};

} // namespace RtfPlaces

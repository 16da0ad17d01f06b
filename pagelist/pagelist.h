#pragma once

#include <QString>
#include <QtGlobal>

class ListBox;

// The page list: the ordered entries shown in the list box, with one selected flag per position
// and a current index. Counts and indexes are 16-bit, as the list holds at most MaxCount entries.
// A PageList is a view of the list box's state, cheap to make for each use.
class PageList final {
public:
    static constexpr qint16 MaxCount = 32767;

    explicit PageList(ListBox &list) : m_list(list) {}

    qint16 ListCount() const;
    QString List(qint16 index) const;
    void setList(qint16 index, const QString &text); // the selected flag stays with the position
    bool Selected(qint16 index) const;
    void setSelected(qint16 index, bool selected);
    qint16 ListIndex() const;        // -1 when no entry is current
    void setListIndex(qint16 index); // never changes a selected flag
    void AddItem(const QString &text);
    void Clear();

private:
    void checkIndex(qint16 index) const;

    ListBox &m_list;
};

#include "pagelist.h"

#include "failure.h"
#include "listbox.h"

#include <QItemSelectionModel>

qint16 PageList::ListCount() const
{
    return qint16(m_list.count());
}

void PageList::checkIndex(qint16 index) const
{
    if (index < 0 || index >= m_list.count())
        raiseFailure(381, QStringLiteral("Invalid property array index"));
}

QString PageList::List(qint16 index) const
{
    // Reading past the end gives an empty text, as the list control does.
    const QListWidgetItem *item = index >= 0 ? m_list.item(index) : nullptr;
    return item ? item->text() : QString();
}

void PageList::setList(qint16 index, const QString &text)
{
    checkIndex(index);
    m_list.item(index)->setText(text);
}

bool PageList::Selected(qint16 index) const
{
    checkIndex(index);
    return m_list.item(index)->isSelected();
}

void PageList::setSelected(qint16 index, bool selected)
{
    checkIndex(index);
    m_list.item(index)->setSelected(selected);
}

qint16 PageList::ListIndex() const
{
    return qint16(m_list.currentRow());
}

void PageList::setListIndex(qint16 index)
{
    if (index < -1 || index >= m_list.count())
        raiseFailure(380, QStringLiteral("Invalid property value"));
    const QModelIndex target = index < 0 ? QModelIndex() : m_list.model()->index(index, 0);
    m_list.selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    if (target.isValid())
        m_list.scrollTo(target);
}

void PageList::AddItem(const QString &text)
{
    if (m_list.count() >= MaxCount)
        raiseFailure(ErrorNumber::OutOfMemory, QStringLiteral("Out of memory"));
    m_list.addItem(text);
}

void PageList::Clear()
{
    m_list.clear();
}

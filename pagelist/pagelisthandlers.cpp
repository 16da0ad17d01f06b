#include "pagelisthandlers.h"

#include "controls.h"
#include "keycodes.h"
#include "listbox.h"
#include "messagebox.h"
#include "pagelist.h"

#include <QAbstractButton>
#include <QDir>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextEdit>
#include <QUrl>

namespace PageListHandlers {

QString entryText(const QUrl &url)
{
    if (url.isLocalFile())
        return QDir::toNativeSeparators(url.toLocalFile());
    return url.toString();
}

QUrl argumentUrl(const QString &argument)
{
    // A scheme is at least two characters, so that nothing that looks like a drive is taken.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(argument).hasMatch())
        return QUrl(argument);
    return QUrl::fromLocalFile(QDir::cleanPath(QDir::current().absoluteFilePath(argument)));
}

namespace {

// The value of the control that has the focus on the window: what its default property holds.
QString activeControlValue(QWidget &form)
{
    QWidget *active = form.focusWidget();
    if (auto *list = qobject_cast<ListBox *>(active))
        return list->text();
    if (auto *button = qobject_cast<QAbstractButton *>(active))
        return button->isChecked() ? QStringLiteral("True") : QStringLiteral("False");
    if (auto *edit = qobject_cast<QTextEdit *>(active))
        return edit->toPlainText();
    return QString();
}

// Every selected entry moves one place up; a block of selected entries moves together.
void moveSelectedUp(PageList &list)
{
    const qint16 n = list.ListCount();
    for (qint16 i = 1; i <= qint16(n - 1); ++i) {
        if (!list.Selected(i))
            continue;
        const QString t = list.List(qint16(i - 1));
        list.setList(qint16(i - 1), list.List(i));
        list.setList(i, t);
        list.setSelected(i, false);
        list.setSelected(qint16(i - 1), true);
        list.setListIndex(qint16(i - 1));
    }
}

// Every selected entry moves one place down; a block of selected entries moves together.
void moveSelectedDown(PageList &list)
{
    const qint16 n = list.ListCount();
    for (qint16 i = qint16(n - 2); i >= 0; --i) {
        if (!list.Selected(i))
            continue;
        const QString t = list.List(qint16(i + 1));
        list.setList(qint16(i + 1), list.List(i));
        list.setList(i, t);
        list.setSelected(i, false);
        list.setSelected(qint16(i + 1), true);
        list.setListIndex(qint16(i + 1));
    }
}

} // namespace

void drop(QWidget &form, const QMimeData &data)
{
    if (!data.hasUrls())
        return;
    const QList<QUrl> urls = data.urls();
    PageList list(control<ListBox>(form, "List1"));
    const qsizetype room = PageList::MaxCount - list.ListCount();
    const qsizetype taken = std::min(room, urls.size());
    for (qsizetype i = 0; i < taken; ++i)
        list.AddItem(entryText(urls[i]));
    if (const qsizetype left = urls.size() - taken; left > 0) {
        MessageBox::show(&form,
                         QStringLiteral("The list holds at most %L1 entries: %L2 of the %L3 "
                                        "dropped items were not added.")
                             .arg(PageList::MaxCount)
                             .arg(left)
                             .arg(urls.size()),
                         MessageBox::OkOnly | MessageBox::Exclamation);
    }
}

void open(QWidget &form, const QStringList &arguments)
{
    // The file manager's "Open With" hands over what a drop of the same items would carry.
    QList<QUrl> urls;
    for (const QString &argument : arguments)
        urls << argumentUrl(argument);
    QMimeData data;
    data.setUrls(urls);
    drop(form, data);
}

void keyDown(QWidget &form, qint16 &keyCode)
{
    auto &listBox = control<ListBox>(form, "List1");
    // Both operands are evaluated, as the test was always written.
    const bool isDelete = keyCode == KeyCode::Delete;
    const bool listIsActive = activeControlValue(form) == listBox.text();
    if (isDelete && listIsActive) {
        if (MessageBox::show(&form, QString::fromLatin1(ClearPrompt), MessageBox::YesNo) ==
            MessageBox::No)
            return;
        PageList(control<ListBox>(form, "List1")).Clear();
    }
    PageList list(control<ListBox>(form, "List1"));
    switch (keyCode) {
    case KeyCode::Left:
    case KeyCode::Up:
        moveSelectedUp(list);
        break;
    case KeyCode::Right:
    case KeyCode::Down:
        moveSelectedDown(list);
        break;
    default:
        break;
    }
    keyCode = KeyCode::None;
}

} // namespace PageListHandlers

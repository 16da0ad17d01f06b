#include "listbox.h"

#include "keycodes.h"

#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

ListBox::ListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(false);
    setAcceptDrops(true);
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    setTabKeyNavigation(false);
}

QString ListBox::text() const
{
    const QListWidgetItem *item = currentItem();
    return item ? item->text() : QString();
}

int ListBox::shiftState(Qt::KeyboardModifiers modifiers)
{
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= ShiftMask;
    if (modifiers & Qt::ControlModifier)
        shift |= CtrlMask;
    if (modifiers & Qt::AltModifier)
        shift |= AltMask;
    return shift;
}

bool ListBox::event(QEvent *event)
{
    // Tab and Shift+Tab move the focus between controls before any key handler sees them.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
            return QWidget::event(event);
    }
    return QListWidget::event(event);
}

void ListBox::keyPressEvent(QKeyEvent *event)
{
    const qint16 original = KeyCode::fromQtKey(event->key());
    qint16 code = original;
    emit keyDown(code, shiftState(event->modifiers()));
    if (code == KeyCode::None) {
        event->accept();
        return;
    }
    if (code == original) {
        QListWidget::keyPressEvent(event);
        return;
    }
    QKeyEvent replaced(QEvent::KeyPress, KeyCode::toQtKey(code), event->modifiers());
    QListWidget::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void ListBox::mousePressEvent(QMouseEvent *event)
{
    QListWidget::mousePressEvent(event);
    int button = 0;
    if (event->button() == Qt::LeftButton)
        button = LeftButton;
    else if (event->button() == Qt::RightButton)
        button = RightButton;
    else if (event->button() == Qt::MiddleButton)
        button = MiddleButton;
    const QPoint at = event->position().toPoint();
    emit mouseDown(button, shiftState(event->modifiers()), at.x(), at.y());
}

void ListBox::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ListBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void ListBox::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit dataDropped(event->mimeData());
}

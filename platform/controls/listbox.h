#pragma once

#include <QListWidget>

class QMimeData;

// The list box control: a Qt list widget with extended selection that reports drops, key
// presses and mouse presses as events of its own. What the events do is up to their handlers.
class ListBox final : public QListWidget {
    Q_OBJECT
public:
    // The shift state of key and mouse events: a sum of these bits.
    enum ShiftBits { ShiftMask = 1, CtrlMask = 2, AltMask = 4 };
    // Mouse buttons of mouseDown.
    enum Buttons { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

    explicit ListBox(QWidget *parent = nullptr);

    // The control's value: the text of the entry at the current index, or empty.
    QString text() const;

    static int shiftState(Qt::KeyboardModifiers modifiers);

signals:
    // Files (or other data) dropped on the list.
    void dataDropped(const QMimeData *data);
    // A key went down. The handler may change keyCode; 0 consumes the key, any other code is
    // passed on to the list widget as that key.
    void keyDown(qint16 &keyCode, int shift);
    // A mouse button went down; emitted after the list has handled the press itself.
    void mouseDown(int button, int shift, int x, int y);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

// Acts on the next modal dialog as soon as it is shown: tests use it to answer message boxes and
// drive dialogs that block in exec().
inline void whenModalShown(std::function<void(QWidget *)> act, int timeoutMs = 10000)
{
    auto timer = std::make_shared<QTimer>();
    auto waited = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer.get(), &QTimer::timeout, [timer, waited, act, timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        *waited += 10;
        if (modal && modal->isVisible()) {
            timer->stop();
            act(modal);
        } else if (*waited > timeoutMs) {
            timer->stop();
        }
    });
    timer->start();
}

// Records what the next message box showed and presses the button with the given text.
struct MessageBoxSeen {
    bool shown = false;
    QString title, text, defaultButton;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

inline std::shared_ptr<MessageBoxSeen> answerMessageBox(QMessageBox::StandardButton answer)
{
    auto seen = std::make_shared<MessageBoxSeen>();
    whenModalShown([seen, answer](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box)
            return;
        seen->shown = true;
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            seen->buttons << button->text().remove(QLatin1Char('&'));
        if (box->defaultButton())
            seen->defaultButton = box->defaultButton()->text().remove(QLatin1Char('&'));
        if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->reject();
    });
    return seen;
}

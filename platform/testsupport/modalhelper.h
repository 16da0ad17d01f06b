#pragma once

#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>

// Records what the next message box showed and presses the given button on it.
struct MessageBoxSeen {
    bool shown = false;
    QString title, text, defaultButton;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

inline std::shared_ptr<MessageBoxSeen> answerMessageBox(QMessageBox::StandardButton answer)
{
    auto seen = std::make_shared<MessageBoxSeen>();
    whenModal<QMessageBox>([seen, answer](QMessageBox *box) {
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

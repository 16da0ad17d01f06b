#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Drives a modal window that some code under test is about to open with exec(): as soon as the
// active modal widget is a T (with the given object name, if any), action runs on it from the
// modal window's own event loop. Gives up after timeoutMs.
template <typename T>
void whenModal(std::function<void(T *)> action, const QString &objectName = QString(),
               int timeoutMs = 20000)
{
    auto *timer = new QTimer(qApp);
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        const bool found = widget && widget->isVisible() &&
                           (objectName.isEmpty() || widget->objectName() == objectName);
        if (!found && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (found)
            action(widget);
    });
    timer->start(10);
}

#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// Drives a modal window that some code under test is about to open with exec(): as soon as the
// active modal widget is a T (with the given object name, if any), action runs on it from the
// modal window's own event loop. Gives up after timeoutMs; deleting the returned watcher gives up
// at once.
template <typename T>
QPointer<QTimer> whenModal(std::function<void(T *)> action, const QString &objectName = QString(),
                           int timeoutMs = 20000)
{
    auto *timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        auto *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        const bool found = widget && widget->isVisible() &&
                           (objectName.isEmpty() || widget->objectName() == objectName);
        if (!found && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        if (found)
            action(widget);
    });
    timer->start(10);
    return timer;
}

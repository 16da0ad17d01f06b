#pragma once

#include "failure.h"

#include <QWidget>

// The control with the given designer name on a window. Handlers take a control this way for
// each statement that uses it and keep no reference of their own.
inline QObject *control(QWidget &form, const char *name)
{
    QObject *found = form.findChild<QObject *>(QLatin1String(name));
    if (!found)
        raiseFailure(ErrorNumber::ObjectNotSet,
                     QStringLiteral("Object variable or With block variable not set"));
    return found;
}

template <typename Control> Control &control(QWidget &form, const char *name)
{
    auto *found = qobject_cast<Control *>(control(form, name));
    if (!found)
        raiseFailure(13, QStringLiteral("Type mismatch"));
    return *found;
}

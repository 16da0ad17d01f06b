#pragma once

#include <QMetaObject>
#include <QObject>
#include <QVariant>
#include <QVariantList>

#include <functional>

// Late binding of controls' members by dispatch identifier.
//
// A control publishes its members in its meta-object with class infos:
//   Q_CLASSINFO("DispId(104)", "Navigate")      a Q_INVOKABLE method or a Q_PROPERTY
//   Q_CLASSINFO("EventId(259)", "DocumentComplete")   a signal
// Handlers then reach the members by number at run time, never through the control's class.
// A member that does not exist, arguments that do not fit, or a failure the control records
// (ControlFailures) become a FailureException in the calling handler.
namespace Dispatch {
QVariant call(QObject *control, int dispId, const QVariantList &arguments = {});
QVariant get(QObject *control, int dispId);
void put(QObject *control, int dispId, const QVariant &value);

// Connects the event with the given identifier to a handler that runs in context's thread.
QMetaObject::Connection connectEvent(QObject *control, int eventId, QObject *context,
                                     std::function<void()> handler);
} // namespace Dispatch

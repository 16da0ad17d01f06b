#include "dispatch.h"

#include "failure.h"

#include <QMetaMethod>
#include <QMetaProperty>

#include <array>

namespace {

// Receives one control event and runs its handler; lives as long as the handler's context.
class EventRelay final : public QObject {
    Q_OBJECT
public:
    EventRelay(std::function<void()> handler, QObject *context)
        : QObject(context), m_handler(std::move(handler))
    {}

public slots:
    void fire() { m_handler(); }

private:
    std::function<void()> m_handler;
};

[[noreturn]] void notSupported()
{
    raiseFailure(ErrorNumber::ObjectDoesNotSupport,
                 QStringLiteral("Object doesn't support this property or method"));
}

QObject &checked(QObject *control)
{
    if (!control)
        raiseFailure(ErrorNumber::ObjectNotSet,
                     QStringLiteral("Object variable or With block variable not set"));
    return *control;
}

QByteArray memberName(const QMetaObject &meta, const char *kind, int id)
{
    const QByteArray key = QByteArray(kind) + '(' + QByteArray::number(id) + ')';
    const int index = meta.indexOfClassInfo(key.constData());
    if (index < 0)
        notSupported();
    return meta.classInfo(index).value();
}

void raiseRecordedFailure(QObject &control)
{
    if (auto *failures = dynamic_cast<ControlFailures *>(&control)) {
        if (auto failure = failures->takeFailure())
            throw FailureException(*failure);
    }
}

QMetaProperty propertyById(QObject &control, int dispId)
{
    const QMetaObject &meta = *control.metaObject();
    const QByteArray name = memberName(meta, "DispId", dispId);
    const int index = meta.indexOfProperty(name.constData());
    if (index < 0)
        notSupported();
    return meta.property(index);
}

} // namespace

namespace Dispatch {

QVariant call(QObject *target, int dispId, const QVariantList &arguments)
{
    QObject &control = checked(target);
    const QMetaObject &meta = *control.metaObject();
    const QByteArray name = memberName(meta, "DispId", dispId);

    constexpr int MaxArguments = 4;
    if (arguments.size() > MaxArguments)
        notSupported();
    for (int i = meta.methodCount() - 1; i >= 0; --i) {
        const QMetaMethod method = meta.method(i);
        if (method.name() != name || method.parameterCount() != arguments.size())
            continue;

        // Convert each argument to the parameter's own type, as a late-bound call coerces.
        QVariantList converted = arguments;
        std::array<QGenericArgument, MaxArguments> generic{};
        for (int a = 0; a < converted.size(); ++a) {
            const QMetaType type = method.parameterMetaType(a);
            if (!converted[a].convert(type))
                raiseFailure(13, QStringLiteral("Type mismatch"));
            generic[a] = QGenericArgument(type.name(), converted[a].constData());
        }
        QVariant result;
        QGenericReturnArgument returned;
        if (method.returnMetaType().id() != QMetaType::Void) {
            result = QVariant(method.returnMetaType());
            returned = QGenericReturnArgument(method.typeName(), result.data());
        }
        if (!method.invoke(&control, Qt::DirectConnection, returned, generic[0], generic[1],
                           generic[2], generic[3]))
            notSupported();
        raiseRecordedFailure(control);
        return result;
    }
    notSupported();
}

QVariant get(QObject *target, int dispId)
{
    QObject &control = checked(target);
    const QVariant value = propertyById(control, dispId).read(&control);
    raiseRecordedFailure(control);
    return value;
}

void put(QObject *target, int dispId, const QVariant &value)
{
    QObject &control = checked(target);
    const QMetaProperty property = propertyById(control, dispId);
    if (!property.isWritable())
        notSupported();
    if (!property.write(&control, value)) {
        raiseRecordedFailure(control);
        raiseFailure(13, QStringLiteral("Type mismatch"));
    }
    raiseRecordedFailure(control);
}

QMetaObject::Connection connectEvent(QObject *target, int eventId, QObject *context,
                                     std::function<void()> handler)
{
    QObject &control = checked(target);
    const QMetaObject &meta = *control.metaObject();
    const QByteArray name = memberName(meta, "EventId", eventId);
    for (int i = 0; i < meta.methodCount(); ++i) {
        const QMetaMethod signal = meta.method(i);
        if (signal.methodType() != QMetaMethod::Signal || signal.name() != name)
            continue;
        // Arguments of the event are not passed on: a handler takes what it needs from the
        // control itself.
        auto *relay = new EventRelay(std::move(handler), context);
        const QMetaMethod slot =
            relay->metaObject()->method(relay->metaObject()->indexOfSlot("fire()"));
        return QObject::connect(&control, signal, relay, slot);
    }
    notSupported();
}

} // namespace Dispatch

#include "dispatch.moc"

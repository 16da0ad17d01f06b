#include "errorreport.h"

#include <QApplication>
#include <QMessageBox>

#include <new>

namespace ErrorReport {

void show(const Failure &failure, QWidget *parent)
{
    QMessageBox box(
        QMessageBox::Critical, QApplication::applicationName(),
        QStringLiteral("Run-time error '%1':\n\n%2").arg(failure.number).arg(failure.description),
        QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("ErrorReport"));
    // Read out when the box appears, as its description.
    box.setAccessibleDescription(box.text());
    box.exec();
}

void guard(const std::function<void()> &handler, QWidget *parent)
{
    Failure failure;
    try {
        handler();
        return;
    } catch (const FailureException &e) {
        failure = e.failure();
    } catch (const std::bad_alloc &) {
        failure = {ErrorNumber::OutOfMemory, QStringLiteral("Out of memory")};
    } catch (const std::exception &e) {
        failure = {ErrorNumber::InternalError, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        failure = {ErrorNumber::InternalError, QStringLiteral("Internal error")};
    }
    show(failure, parent);
}

} // namespace ErrorReport

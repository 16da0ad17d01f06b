#pragma once

#include "failure.h"

#include <QString>

#include <functional>

class QWidget;

// The program's one top-level error report: a message box with the error number and its
// description. The program goes on afterwards with everything as it was.
namespace ErrorReport {
void show(const Failure &failure, QWidget *parent = nullptr);

// Runs a handler; a failure inside it stops the handler and goes to the report. Nothing is
// thrown out of this function, so no exception ever reaches Qt's event loop.
void guard(const std::function<void()> &handler, QWidget *parent = nullptr);
} // namespace ErrorReport

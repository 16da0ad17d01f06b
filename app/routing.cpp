#include "form1.h"

#include "controls.h"
#include "dispatch.h"
#include "errorreport.h"
#include "listbox.h"
#include "pagelisthandlers.h"
#include "resultdocument.h"
#include "viewer.h"

#include <QMimeData>
#include <QPushButton>

namespace {

// Connects a control's signal to a handler run under the error report's guard: a failure stops
// the handler, is reported, and the program goes on.
template <typename Source, typename Signal, typename Handler>
void on(Form1 &form, Source &source, Signal signal, Handler handler)
{
    QObject::connect(&source, signal, &form, [&form, handler](auto &&...arguments) {
        ErrorReport::guard([&] { handler(arguments...); }, &form);
    });
}

// The same for an event that a hosted control publishes by identifier.
template <typename Handler>
void onEvent(Form1 &form, const char *controlName, int eventId, Handler handler)
{
    Dispatch::connectEvent(control(form, controlName), eventId, &form,
                           [&form, handler] { ErrorReport::guard(handler, &form); });
}

} // namespace

void Form1::routeEvents()
{
    auto &list = control<ListBox>(*this, "List1");
    auto &concatenate = control<QPushButton>(*this, "Command1");
    auto &save = control<QPushButton>(*this, "command2");

    // Source: event                     Handler
    on(*this, list, &ListBox::dataDropped, //
       [this](const QMimeData *data) { PageListHandlers::drop(*this, *data); });
    on(*this, list, &ListBox::keyDown, //
       [this](qint16 &keyCode, int) { PageListHandlers::keyDown(*this, keyCode); });
    on(*this, list, &ListBox::mouseDown, //
       [this](int, int shift, int, int) { Viewer::preview(*this, shift); });
    onEvent(*this, "WebBrowser1", Viewer::DownloadCompleteId, //
            [this] { Viewer::downloadComplete(m_loadPending); });
    onEvent(*this, "WebBrowser1", Viewer::DocumentCompleteId, //
            [this] { Viewer::documentComplete(m_loadPending); });
    on(*this, concatenate, &QPushButton::clicked, //
       [this](bool) { m_run.concatenate(*this, m_loadPending); });
    on(*this, save, &QPushButton::clicked, //
       [this](bool) { ResultDocument::save(*this); });
}

#include "viewer.h"

#include "browseraddress.h"
#include "controls.h"
#include "dispatch.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "pagelist.h"

#include <QCoreApplication>
#include <QUrl>
#include <QWidget>

namespace Viewer {

namespace {

QObject *browser(QWidget &form)
{
    return control(form, "WebBrowser1");
}

} // namespace

void preview(QWidget &form, int shift)
{
    // With Shift, Ctrl or Alt the press extends or changes the selection; nothing is shown.
    if (shift != 0)
        return;
    const PageList list(control<ListBox>(form, "List1"));
    const qint16 i = list.ListIndex();
    if (i == -1)
        return;
    Dispatch::call(browser(form), NavigateId, {list.List(i)});
}

void downloadComplete(LoadPendingFlag &flag)
{
    flag.setComplete();
}

void documentComplete(LoadPendingFlag &flag)
{
    flag.setComplete();
}

void navigate(QWidget &form, const QString &address)
{
    Dispatch::call(browser(form), NavigateId, {address});
}

void waitForCompletion(const LoadPendingFlag &flag)
{
    // The engine's notifications and the window's close arrive as events, so sleeping until the
    // next event misses neither and leaves the CPU alone meanwhile.
    while (flag.isPending() && !flag.isWindowClosed())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool shows(QWidget &form, const QString &address)
{
    const QString navigated = Dispatch::get(browser(form), NavigatedURLId).toString();
    return !navigated.isEmpty() &&
           BrowserAddress::same(QUrl(navigated), BrowserAddress::resolve(address));
}

void selectAll(QWidget &form)
{
    Dispatch::call(browser(form), ExecWBId, {SelectAll, DontPromptUser});
}

void copy(QWidget &form)
{
    Dispatch::call(browser(form), ExecWBId, {Copy, DontPromptUser});
}

} // namespace Viewer

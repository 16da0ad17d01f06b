#include "run.h"

#include "clipboard.h"
#include "controls.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "pageappend.h"
#include "pagelist.h"
#include "resultdocument.h"
#include "viewer.h"

#include <QPointer>
#include <QWidget>

namespace {

PageList pageList(QWidget &form)
{
    return PageList(control<ListBox>(form, "List1"));
}

} // namespace

bool ConcatenationRun::mustStop(const QPointer<QWidget> &form, const LoadPendingFlag &flag,
                                unsigned run) const
{
    // Checked in this order: once the window is gone, neither the flag nor this run exist.
    return !form || flag.isWindowClosed() || m_started != run;
}

bool ConcatenationRun::load(QPointer<QWidget> &form, LoadPendingFlag &flag, unsigned run,
                            const QString &text)
{
    Viewer::navigate(*form, text);
    Viewer::waitForCompletion(flag);
    // A preview started while we waited can have ended the wait with its own page: load ours
    // again. After a few tries the page is taken as the viewer shows it.
    for (int attempt = 0; attempt < MaxReloads; ++attempt) {
        if (mustStop(form, flag, run))
            return false;
        if (Viewer::shows(*form, text))
            return true;
        flag.setPending();
        Viewer::navigate(*form, text);
        Viewer::waitForCompletion(flag);
    }
    return !mustStop(form, flag, run);
}

void ConcatenationRun::concatenate(QWidget &window, LoadPendingFlag &flag)
{
    // A run started while this one waits makes this one stop when it resumes: the document then
    // holds the newer run's pages once.
    const unsigned run = ++m_started;
    QPointer<QWidget> form(&window);

    ResultDocument::clear(*form);
    const qint16 n = pageList(*form).ListCount();
    for (qint16 i = 0; i < n; ++i) {
        // The list may have been cleared or shortened while the run waited.
        if (i >= pageList(*form).ListCount())
            return;
        flag.setPending();
        const QString text = pageList(*form).List(i);
        if (!load(form, flag, run, text))
            return;
        // Both can process events while the browser works, and so let other handlers run.
        Viewer::selectAll(*form);
        if (mustStop(form, flag, run))
            return;
        Viewer::copy(*form);
        if (mustStop(form, flag, run))
            return;
        const QString rtf = Clipboard::richText();
        ResultDocument::insert(*form, PageAppend::insertion(rtf));
    }
}

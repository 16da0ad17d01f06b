#pragma once

#include <QString>

class LoadPendingFlag;
class QWidget;

// The page viewer: WebBrowser1 on the window, reached by dispatch identifier.
namespace Viewer {
// Dispatch identifiers of the browser control's members and events.
inline constexpr int NavigateId = 104;
inline constexpr int ExecWBId = 502;
inline constexpr int LocationURLId = 211;
inline constexpr int NavigatedURLId = 1001;
inline constexpr int DownloadCompleteId = 104;
inline constexpr int DocumentCompleteId = 259;
// ExecWB commands and options.
inline constexpr int SelectAll = 17;
inline constexpr int Copy = 12;
inline constexpr int DontPromptUser = 2;

// Mouse-down of List1: with no Shift, Ctrl or Alt held, shows the entry at the current index.
void preview(QWidget &form, int shift);

// The two completion events of WebBrowser1.
void downloadComplete(LoadPendingFlag &flag);
void documentComplete(LoadPendingFlag &flag);

// Starts loading an entry's page and returns at once.
void navigate(QWidget &form, const QString &address);
// Processes events until the flag is no longer 1, or the window has closed. Sleeps while no
// event is pending.
void waitForCompletion(const LoadPendingFlag &flag);
// Whether the viewer now shows the page that navigate(form, address) led to: the page's own
// redirects and refreshes count as that page, another navigation (a preview) does not.
bool shows(QWidget &form, const QString &address);

// Selects the whole page; copies the selection to the clipboard.
void selectAll(QWidget &form);
void copy(QWidget &form);
} // namespace Viewer

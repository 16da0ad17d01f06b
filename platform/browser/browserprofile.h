#pragma once

class BrowserPage;
class QObject;
class QString;
class QWebEngineProfile;

// How the engine is set up for the browser control: a profile that keeps nothing and lets no
// page read local files or download anything, pages whose scripts cannot stall the program, and
// the control's own scripts that it runs in them.
namespace BrowserProfile {

// A profile without a storage name: cache, cookies and history stay in memory and end with it.
// Local files are guarded (LocalFileGuard) and every download is refused.
QWebEngineProfile *create(QObject *parent);
// A page in that profile with the settings the control needs.
BrowserPage *newPage(QWebEngineProfile *profile, QObject *parent);

// The control's scripts, run in the page's isolated world.
// Selects the whole document; answers true once it is selected.
const QString &selectAllScript();
// The delay in seconds of a refresh the page has due, or -1.
const QString &refreshDelayScript();

} // namespace BrowserProfile

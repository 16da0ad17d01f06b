#include "enginesetup.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <unistd.h>

namespace EngineSetup {

void allowRunningAsRoot()
{
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
}

void prepareHeadless()
{
    // Nothing is shown, so pages are drawn offscreen whatever platform and display the
    // environment names: the program runs the same on a desktop, over SSH and from cron, and
    // never stops for want of a display. The display is forgotten too, so that neither Qt (its
    // offscreen platform would draw through it) nor the engine's processes reach for it, and so
    // is a platform theme, which may need one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("QT_QPA_PLATFORMTHEME");
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    // Without a display there is no GPU to draw with either; the engine then draws in software
    // instead of trying and logging its failure.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                geteuid() == 0 ? "--no-sandbox --disable-gpu" : "--disable-gpu");
    allowRunningAsRoot();
    // The engine describes its graphics set-up on every start; a script's standard error is
    // for its progress and failures.
    // Rules the user sets in QT_LOGGING_RULES are applied after these, and so win.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext=false"));
}

void setApplicationAttributes()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace EngineSetup

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

bool useOffscreenWithoutDisplay()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}

void prepareHeadless()
{
    const bool offscreen = useOffscreenWithoutDisplay();
    // Without a display there is no GPU to draw with either; the engine then draws in software
    // instead of trying and logging its failure.
    if (offscreen && !qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
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

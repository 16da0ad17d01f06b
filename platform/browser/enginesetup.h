#pragma once

// What both programs settle before the application object is made, so that the browser engine
// can start.
namespace EngineSetup {
// The engine refuses to start its sandbox as root; it then has to run without one. Flags the
// user gave in QTWEBENGINE_CHROMIUM_FLAGS are left as they are.
void allowRunningAsRoot();
// For a program that shows no window: the offscreen platform always, whatever display there is,
// and the above.
void prepareHeadless();
// Calls the engine needs before QApplication exists (one GL context shared among its views).
void setApplicationAttributes();
} // namespace EngineSetup

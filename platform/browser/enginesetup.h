#pragma once

// What both programs settle before the application object is made, so that the browser engine
// can start.
namespace EngineSetup {
// The engine refuses to start its sandbox as root; it then has to run without one. Flags the
// user gave in QTWEBENGINE_CHROMIUM_FLAGS are left as they are.
void allowRunningAsRoot();
// Picks the offscreen platform when no display is there to show anything and the user chose no
// platform; returns whether it did.
bool useOffscreenWithoutDisplay();
// Both of the above, for a program that shows no window.
void prepareHeadless();
// Calls the engine needs before QApplication exists (one GL context shared among its views).
void setApplicationAttributes();
} // namespace EngineSetup

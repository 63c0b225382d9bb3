// The monitor's own window, for a program that nobody reads on standard
// output (started from the desktop menu, its output on /dev/null or a
// socket): it lists the messages as they are sent.
#ifndef VELMORA_PLATFORM_WINMM_MONITOR_WINDOW_H
#define VELMORA_PLATFORM_WINMM_MONITOR_WINDOW_H

#include <string>

namespace winmm {

// Shows the window, made at the first call; does nothing in a program
// without a Qt application (it has no windows).
void ShowMonitorWindow();

// Adds a line to the window if it was made; from any thread (the window is
// changed on its own thread).
void AddMonitorWindowLine(const std::string& line);

}  // namespace winmm

#endif

// The Qt widgets behind the stand-in's windows, for tests of the dialog
// service; the program itself knows windows only by their HWND. Read from
// user32's private window records (window.h).
#ifndef VELMORA_TESTS_UI_WINDOW_WIDGETS_H
#define VELMORA_TESTS_UI_WINDOW_WIDGETS_H

#include <windows.h>

#include <vector>

class QWidget;

namespace user32 {

// The widget showing the window; null once the window is destroyed.
QWidget* WindowWidget(HWND window);

// The window a widget shows, or null.
HWND WindowOfWidget(const QWidget* widget);

// The dialog's controls in template order.
std::vector<HWND> DialogItems(HWND dialog);

// A control's ID as the template gives it (-1 for IDC_STATIC).
int DialogItemId(HWND item);

}  // namespace user32

#endif

// What an HWND stands for in the stand-in: the dialog or one of its controls,
// each shown by a Qt widget. Private to user32; windows.h keeps HWND opaque.
#ifndef VELMORA_PLATFORM_USER32_WINDOW_H
#define VELMORA_PLATFORM_USER32_WINDOW_H

#include <windows.h>

#include <QPointer>
#include <QWidget>

#include <memory>
#include <set>
#include <vector>

enum class WindowKind { Dialog, PushButton, GroupBox, ComboBox, IconStatic };

struct HWND__ {
    WindowKind kind = WindowKind::Dialog;
    // The control ID; 0 for a dialog.
    int id = 0;
    // The dialog whose item this is; the dialog itself for a dialog.
    HWND dialog = nullptr;
    QPointer<QWidget> widget;

    // Dialogs only.
    DLGPROC procedure = nullptr;
    std::vector<std::unique_ptr<HWND__>> items;
    bool ended = false;
    INT_PTR result = 0;
};

namespace user32 {

// The window, if it has been created and not yet destroyed; null otherwise.
HWND LiveWindow(HWND window);

// Every window created and not yet destroyed.
const std::set<HWND>& LiveWindows();

void RegisterWindow(HWND window);
void UnregisterWindow(HWND window);

// Hands the message to the window at once, as SendMessageA does.
LRESULT DeliverMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues the message for the window; the dialog's loop delivers it later.
bool PostWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The combo box messages.
LRESULT ComboBoxMessage(HWND comboBox, UINT message, WPARAM wParam, LPARAM lParam);

// The item of the dialog with the ID (the first, if several share it), or null.
HWND DialogItem(HWND dialog, int id);

// Creates the dialog's widgets from its template (in the program's
// resources) and registers its windows; null when the template cannot be
// found or shown.
HWND CreateDialogWindow(LPCSTR templateName, HWND owner, DLGPROC procedure);

// Makes whichever loop runs (a dialog's or a message box's) run the work that
// other threads post for the main thread (kernel32/main_thread_work.h).
void WatchMainThreadWork();

// Runs the dialog's modal loop until EndDialog; then WM_DESTROY, and the
// dialog's windows are gone.
INT_PTR RunDialog(HWND dialog, LPARAM initParam);

}  // namespace user32

#endif

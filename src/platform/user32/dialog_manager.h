// The dialog manager: what a dialog does with the keys its controls leave
// (Escape, Enter, F1 and the mnemonics), with its close box, and with the
// messages posted to its windows.
#ifndef VELMORA_PLATFORM_USER32_DIALOG_MANAGER_H
#define VELMORA_PLATFORM_USER32_DIALOG_MANAGER_H

#include <windows.h>

#include <Qt>

class QDialog;
class QWidget;

namespace user32 {

// The widget of the dialog window, managed as above until it is deleted.
QDialog* NewManagedDialog(HWND dialog, QWidget* owner, Qt::WindowFlags flags);

}  // namespace user32

#endif

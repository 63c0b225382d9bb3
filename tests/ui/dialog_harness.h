// Runs the real main dialog (MainDialogProc through the Qt stand-in) inside a
// test: records what the procedure is given and returns, answers every
// message box and tells what each one showed.
#ifndef VELMORA_TESTS_UI_DIALOG_HARNESS_H
#define VELMORA_TESTS_UI_DIALOG_HARNESS_H

#include <windows.h>

#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDialog;
class QPushButton;
class QWidget;

struct ProcedureCall {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    INT_PTR result;
    // Whether the dialog was on the screen when the message came.
    bool dialogVisible;
};

struct SeenMessageBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    // Whether its parent was the running dialog, and on the screen.
    bool ownedByDialog;
    bool parentVisible;
    bool applicationModal;
};

// What the test gives the dialog and what it sees of it.
namespace harness {

// How long a test waits for what comes later: a posted message, a window
// becoming active.
constexpr int kWaitMs = 2000;

// The result DialogBoxParamA gives when the script has left the dialog open.
constexpr INT_PTR kLeftOpen = 77;

// Every message box of the last run, in order. Each was answered with OK as
// soon as it came up.
const std::vector<SeenMessageBox>& Boxes();

// Every message the procedure got in the last run, in order.
const std::vector<ProcedureCall>& Calls();

// The messages of one kind from the last run.
std::vector<ProcedureCall> CallsOf(UINT message);

// Runs DialogBoxParamA(..., "MAINDIALOG", nullptr, MainDialogProc, 0) with the
// procedure's messages recorded. The script runs once the dialog is shown and
// active; a dialog it leaves open is ended with kLeftOpen. Returns
// DialogBoxParamA's result.
INT_PTR RunMainDialog(const std::function<void()>& script);

// The same with another procedure, for tests of the stand-in itself.
INT_PTR RunDialog(DLGPROC procedure, LPARAM initParam, const std::function<void()>& script);

// The running dialog and its controls.
HWND Dialog();
QDialog* DialogWidget();
QWidget* Item(int id);
QPushButton* Button(int id);
QComboBox* Combo(int id);
// The ID of the control with the keyboard focus; 0 for none, or the dialog.
int FocusedId();

// Writes the test program's configuration file (beside it, as the program
// looks for it) with these lines; removes it for an empty list.
void WriteConfiguration(const std::vector<std::string>& lines);

// Frees the parameters a previous run loaded.
void ClearParameters();

// Human-readable form of a message box for failure messages.
QString Describe(const SeenMessageBox& box);

}  // namespace harness

#endif

#include <windows.h>

#include "ui/main_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPSTR /*commandLine*/,
                   int /*showCommand*/) {
    DialogBoxParamA(instance, "MAINDIALOG", nullptr, MainDialogProc, 0);
    return 0;
}

#ifndef VELMORA_UI_MAIN_DIALOG_H
#define VELMORA_UI_MAIN_DIALOG_H

#include "midi/midi_output_port.h"

// The open MIDI output; null while none is open. Only MainDialogProc opens or
// closes it.
extern HMIDIOUT OutputHandle;

// The procedure of the dialog "MAINDIALOG".
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif

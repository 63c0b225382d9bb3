#include "ui/main_dialog.h"

#include "config/configuration.h"
#include "randomize/randomize.h"
#include "resource.h"
#include "velmora_version.h"

HMIDIOUT OutputHandle = nullptr;

namespace {

const char kErrorCaption[] = "Error";
const char kConfigurationMissingText[] =
    "Can't find the configuration file Velmora.cfg. Please check that it is installed in the "
    "same directory as this program. You should quit now, 'cos I can't do anything without "
    "that file.";
const char kNoOutputSelectedText[] = "Can't open MIDI output, because no output has been selected.";
const char kOutputInUseText[] =
    "Can't open MIDI output, something else has probably already opened it.";
const char kNoOutputOpenText[] = "Can't Randomize, you haven't opened a MIDI port yet.";
const char kAboutText[] =
    VELMORA_PRODUCT_NAME "\nVersion " VELMORA_VERSION_MAJOR_TEXT
                         "\nA new random sound for your synthesizer at the press of F1."
                         "\nParameters are read from Velmora.cfg beside the program.";

void ShowError(HWND dialog, const char* text) {
    MessageBoxA(dialog, text, kErrorCaption, MB_OK | MB_ICONERROR);
}

void ListOutputDevices(HWND dialog) {
    // The device count is asked anew before every turn: devices may come and
    // go while the list is being filled.
    for (UINT deviceId = 0; deviceId < midiOutGetNumDevs(); ++deviceId) {
        MIDIOUTCAPSA capabilities;
        if (midiOutGetDevCapsA(deviceId, &capabilities, sizeof capabilities) != MMSYSERR_NOERROR) {
            continue;
        }
        const LRESULT index = SendDlgItemMessageA(dialog, IDC_OUTPUT_COMBO, CB_ADDSTRING, 0,
                                                  reinterpret_cast<LPARAM>(capabilities.szPname));
        SendDlgItemMessageA(dialog, IDC_OUTPUT_COMBO, CB_SETITEMDATA, static_cast<WPARAM>(index),
                            static_cast<LPARAM>(deviceId));
    }
}

void ListChannels(HWND dialog) {
    for (int channel = 1; channel <= 16; ++channel) {
        char text[32];
        wsprintfA(text, "MIDI Channel %d", channel);
        SendDlgItemMessageA(dialog, IDC_CHANNEL_COMBO, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(text));
    }
}

void Initialise(HWND dialog) {
    if (!LoadConfiguration()) {
        ShowError(dialog, kConfigurationMissingText);
    }
    ListOutputDevices(dialog);
    ListChannels(dialog);
    SendDlgItemMessageA(dialog, IDC_OUTPUT_COMBO, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, IDC_CHANNEL_COMBO, CB_SETCURSEL, 0, 0);
}

void OpenOrClose(HWND dialog) {
    if (OutputHandle != nullptr) {
        midiOutClose(OutputHandle);
        OutputHandle = nullptr;
        SetDlgItemTextA(dialog, IDC_OPEN_BUTTON, "&Open MIDI");
        EnableWindow(GetDlgItem(dialog, IDC_OUTPUT_COMBO), TRUE);
        return;
    }
    const LRESULT selected = SendDlgItemMessageA(dialog, IDC_OUTPUT_COMBO, CB_GETCURSEL, 0, 0);
    const LRESULT deviceId = SendDlgItemMessageA(dialog, IDC_OUTPUT_COMBO, CB_GETITEMDATA,
                                                 static_cast<WPARAM>(selected), 0);
    if (deviceId == CB_ERR) {
        ShowError(dialog, kNoOutputSelectedText);
        return;
    }
    if (midiOutOpen(&OutputHandle, static_cast<UINT>(deviceId), 0, 0, CALLBACK_NULL) !=
        MMSYSERR_NOERROR) {
        // The dialog tells open from closed by the handle alone.
        OutputHandle = nullptr;
        ShowError(dialog, kOutputInUseText);
        return;
    }
    SetDlgItemTextA(dialog, IDC_OPEN_BUTTON, "&Close MIDI");
    EnableWindow(GetDlgItem(dialog, IDC_OUTPUT_COMBO), FALSE);
}

void Randomize(HWND dialog) {
    if (OutputHandle == nullptr) {
        ShowError(dialog, kNoOutputOpenText);
        return;
    }
    const LRESULT channel = SendDlgItemMessageA(dialog, IDC_CHANNEL_COMBO, CB_GETCURSEL, 0, 0);
    RandomizeAll(OutputHandle, static_cast<int32_t>(channel));
}

// Commands are matched against the whole wParam, so only notification code 0
// (button clicks and the post that F1 makes) counts; combo box notifications
// fall through.
INT_PTR Command(HWND dialog, WPARAM wParam) {
    switch (wParam) {
        case IDOK:
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 1);
            return TRUE;
        case IDC_OPEN_BUTTON:
            OpenOrClose(dialog);
            return TRUE;
        case IDC_RANDOMIZE_BUTTON:
            Randomize(dialog);
            return TRUE;
        case IDC_ABOUT_BUTTON:
            MessageBoxA(dialog, kAboutText, "About", MB_OK | MB_ICONINFORMATION);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            Initialise(dialog);
            // FALSE: the platform is not to set the default keyboard focus.
            return FALSE;
        case WM_COMMAND:
            return Command(dialog, wParam);
        case WM_HELP:
            // F1 acts as the Randomize button once the post arrives.
            PostMessageA(dialog, WM_COMMAND, IDC_RANDOMIZE_BUTTON, 0);
            return FALSE;
        case WM_DESTROY:
            if (OutputHandle != nullptr) {
                midiOutClose(OutputHandle);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

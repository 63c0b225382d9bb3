// A winmm for the dialog's tests: devices the test sets up, a device whose
// capability query fails or that refuses to open, and a log of every call.
#ifndef VELMORA_TESTS_UI_FAKE_WINMM_H
#define VELMORA_TESTS_UI_FAKE_WINMM_H

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

struct FakeDevice {
    std::string name;
    bool capabilitiesFail = false;
    bool refusesToOpen = false;
};

struct SentShortMessage {
    HMIDIOUT handle;
    DWORD message;
};

struct FakeMidiLog {
    // Every call, in order, in words: "midiOutOpen 2 -> 0", ...
    std::vector<std::string> calls;
    std::vector<SentShortMessage> sent;
    // Handles that are open now.
    std::vector<HMIDIOUT> open;
};

// Forgets every call and open handle and lists these devices from now on.
void ResetFakeMidi(const std::vector<FakeDevice>& devices);

const FakeMidiLog& FakeMidi();

// The handle midiOutOpen gives for the device.
HMIDIOUT FakeHandle(UINT deviceId);

#endif

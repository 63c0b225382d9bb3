// Finding and opening an output device by its listed name, as the dialog
// lists them.
#ifndef VELMORA_BENCH_MIDI_DEVICES_H
#define VELMORA_BENCH_MIDI_DEVICES_H

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <string>

// The device ID of the output listed under name, or -1.
inline int FindOutputDevice(const std::string& name) {
    for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
        MIDIOUTCAPSA caps = {};
        if (midiOutGetDevCapsA(id, &caps, sizeof caps) == MMSYSERR_NOERROR &&
            name == std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname))) {
            return static_cast<int>(id);
        }
    }
    return -1;
}

// The open output listed under name, or null.
inline HMIDIOUT OpenOutputDevice(const std::string& name) {
    const int id = FindOutputDevice(name);
    HMIDIOUT handle = nullptr;
    if (id < 0 || midiOutOpen(&handle, static_cast<UINT>(id), 0, 0, CALLBACK_NULL) != 0) {
        return nullptr;
    }
    return handle;
}

#endif

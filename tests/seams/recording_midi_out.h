// A midiOutShortMsg that records every message instead of sending it.
#ifndef VELMORA_TESTS_RECORDING_MIDI_OUT_H
#define VELMORA_TESTS_RECORDING_MIDI_OUT_H

#include <windows.h>
#include <mmsystem.h>

#include <vector>

struct SentMessage {
    HMIDIOUT handle;
    DWORD message;
};

// Every message handed to midiOutShortMsg since the last clear, in order.
std::vector<SentMessage>& SentMessages();

#endif

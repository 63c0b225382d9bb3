// A midiOutShortMsg that records every message instead of sending it.
#ifndef VELMORA_TESTS_RECORDING_MIDI_OUT_H
#define VELMORA_TESTS_RECORDING_MIDI_OUT_H

#include <windows.h>
#include <mmsystem.h>

#include <ostream>
#include <vector>

struct SentMessage {
    HMIDIOUT handle;
    DWORD message;
    bool operator==(const SentMessage& other) const {
        return handle == other.handle && message == other.message;
    }
};

inline std::ostream& operator<<(std::ostream& out, const SentMessage& sent) {
    return out << "{" << static_cast<const void*>(sent.handle) << ", 0x" << std::hex << sent.message
               << std::dec << "}";
}

// Every message handed to midiOutShortMsg since the last clear, in order.
std::vector<SentMessage>& SentMessages();

#endif

// Short messages as midiOutShortMsg takes them: up to three MIDI bytes packed
// into 32 bits, first byte lowest, with running status as the MIDI wire
// allows.
#ifndef VELMORA_PLATFORM_WINMM_SHORT_MESSAGE_H
#define VELMORA_PLATFORM_WINMM_SHORT_MESSAGE_H

#include <cstddef>
#include <cstdint>

namespace winmm {

// One complete MIDI message, status byte first.
struct MidiBytes {
    uint8_t data[3] = {0, 0, 0};
    size_t size = 0;
};

// The length of a message with this status byte, status included; 0 for a
// byte that cannot start a short message (a data byte, 0xF0, 0xF7).
size_t MessageSize(uint8_t status);

// Unpacks a packed short message. A first byte below 0x80 continues the
// running status, which this updates as a MIDI receiver would (channel
// messages set it, system common messages clear it, real-time messages leave
// it alone); start with 0. Data bytes are masked to 7 bits: a byte with the
// high bit set would start another message at the receiver. False, and
// runningStatus unchanged, when there is no message to send.
bool UnpackShortMessage(uint32_t packed, uint8_t& runningStatus, MidiBytes& message);

}  // namespace winmm

#endif

#ifndef VELMORA_RANDOMIZE_RANDOMIZE_H
#define VELMORA_RANDOMIZE_RANDOMIZE_H

#include "midi/midi_output_port.h"
#include "randomize/control_change.h"

#include <cstdint>

// Sends one Control Change on the open output. Its result is not looked at.
void SendControlChange(HMIDIOUT handle, int32_t channel, int32_t controller, int32_t value);

// One Randomize pass: one Control Change with a fresh random value for every
// parameter of ParameterList, in file order, on the given channel (0 to 15).
// A parameter whose controller is not a controller number sends nothing, but
// its value is still drawn.
void RandomizeAll(HMIDIOUT handle, int32_t channel);

#endif

#ifndef VELMORA_RANDOMIZE_CONTROL_CHANGE_H
#define VELMORA_RANDOMIZE_CONTROL_CHANGE_H

#include <windows.h>

#include <cstdint>

// The short message of a Control Change: status 0xB0 + channel in the low
// byte, then controller, then value. The channel is kept to 4 bits and both
// data bytes to 7, so that no data byte can be taken for a status byte.
DWORD PackControlChange(int32_t channel, int32_t controller, int32_t value);

// Whether a Control Change can carry this controller number (0 to 127).
bool IsControllerNumber(int32_t controller);

#endif

#ifndef VELMORA_MIDI_MIDI_OUTPUT_PORT_H
#define VELMORA_MIDI_MIDI_OUTPUT_PORT_H

// The program's whole contact with MIDI output: five operations of the
// platform's MIDI output service, called directly.
//
//   midiOutGetNumDevs   number of output devices now present
//   midiOutGetDevCapsA  a device's capabilities; only szPname is read
//   midiOutOpen         opens a device by its 0-based ID, no callback; on
//                       failure the handle stays null
//   midiOutShortMsg     sends one packed message; result ignored
//   midiOutClose        releases the device; result ignored
//
// On Windows these are winmm's own. Elsewhere the platform folder provides
// them with the same types, layouts and result codes.
#include <windows.h>
#include <mmsystem.h>

static_assert(sizeof(MIDIOUTCAPSA) == 52, "MIDIOUTCAPSA has the platform's layout");
static_assert(sizeof(static_cast<MIDIOUTCAPSA*>(nullptr)->szPname) == 32,
              "device names are at most 31 characters");

#endif

#ifndef VELMORA_CFG_CONTROLLER_NAMES_H
#define VELMORA_CFG_CONTROLLER_NAMES_H

// The name of a controller that does more than change a sound (a Channel
// Mode message, Bank Select, Data Entry and the parameter numbers it writes
// to, a pedal), or null for any other controller.
const char* RiskyControllerName(int controller);

// The name of a controller that the MIDI standard gives to playing (level,
// pan, glide, a wheel or pedal), or null for any other controller.
const char* StandardPlayingControllerName(int controller);

#endif

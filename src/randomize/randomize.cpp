#include "randomize/randomize.h"

#include "config/configuration.h"
#include "randomize/random_generator.h"

void SendControlChange(HMIDIOUT handle, int32_t channel, int32_t controller, int32_t value) {
    midiOutShortMsg(handle, PackControlChange(channel, controller, value));
}

void RandomizeAll(HMIDIOUT handle, int32_t channel) {
    for (const Parameter* parameter : ParameterList) {
        // Drawn whether or not it is sent, so every other parameter gets the
        // value it would have had.
        const int32_t value = RandomInRange(parameter->minimum, parameter->maximum);
        // Masked to 7 bits, a wrong controller would become another real one
        // (250 is 122, Local Control): it sends nothing instead.
        if (IsControllerNumber(parameter->controller)) {
            SendControlChange(handle, channel, parameter->controller, value);
        }
    }
}

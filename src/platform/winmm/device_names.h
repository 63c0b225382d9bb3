// Device names as the device list shows them: readable, short enough for
// MIDIOUTCAPSA's szPname, and different for different devices.
#ifndef VELMORA_PLATFORM_WINMM_DEVICE_NAMES_H
#define VELMORA_PLATFORM_WINMM_DEVICE_NAMES_H

#include <cstddef>
#include <string>
#include <vector>

namespace winmm {

// The longest name szPname holds, without its terminating NUL.
constexpr size_t kMaximumNameLength = 31;

// At most limit characters. A longer name keeps its end, behind "...": the
// end of a JACK port's full name tells ports apart best.
std::string ShortenFromLeft(const std::string& name, size_t limit = kMaximumNameLength);

// At most limit characters. A longer name keeps its start, before "...".
std::string ShortenFromRight(const std::string& name, size_t limit = kMaximumNameLength);

// An ALSA port as the list shows it: the port's own name, led by its client's
// name unless the port's name already holds it, shortened from the right.
std::string AlsaDeviceName(const std::string& client, const std::string& port);

// Gives a name that repeats an earlier one the suffix " (2)", " (3)", ...,
// cutting its end as needed to stay within kMaximumNameLength.
void MakeNamesDistinct(std::vector<std::string>& names);

}  // namespace winmm

#endif

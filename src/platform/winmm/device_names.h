// Device names as the device list shows them: readable, short enough for
// MIDIOUTCAPSA's szPname, and different for different devices. Lengths are
// counted in bytes (szPname's are), and a name is never cut inside a UTF-8
// character. A shortened name shows "..." (ASCII: the field holds bytes of
// the system's code page, and it costs what a UTF-8 ellipsis costs).
#ifndef VELMORA_PLATFORM_WINMM_DEVICE_NAMES_H
#define VELMORA_PLATFORM_WINMM_DEVICE_NAMES_H

#include <cstddef>
#include <string>
#include <vector>

namespace winmm {

// The longest name szPname holds, without its terminating NUL.
constexpr size_t kMaximumNameLength = 31;

// At most limit bytes. A longer name keeps its start and its end, with "..."
// between them.
std::string ShortenInMiddle(const std::string& name, size_t limit = kMaximumNameLength);

// A JACK port as the list shows it: "client:port" from its full name, each
// part shortened in its middle as far as needed, the shorter part first kept
// whole, so that both the client and the port stay recognisable.
std::string JackDeviceName(const std::string& fullName);

// An ALSA port as the list shows it: the port's own name, led by its client's
// name ("client: port") unless the port's name already holds it, shortened
// as JackDeviceName shortens.
std::string AlsaDeviceName(const std::string& client, const std::string& port);

// PipeWire's own clients on the ALSA sequencer ("PipeWire-System",
// "PipeWire-RT-Event"): its bridge into its graph, never an instrument.
bool IsPipeWireSequencerClient(const std::string& clientName);

// The ALSA sequencer port ("24:0") that a JACK port of PipeWire's bridge
// ("Midi-Bridge") carries to, from one of the JACK port's aliases
// ("alsa:seq:default:client_24:playback_0"); empty for any other alias.
std::string BridgedAlsaPort(const std::string& alias);

// Gives a name that repeats an earlier one the suffix " (2)", " (3)", ...,
// cutting its end as needed to stay within kMaximumNameLength.
void MakeNamesDistinct(std::vector<std::string>& names);

}  // namespace winmm

#endif

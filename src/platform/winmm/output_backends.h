// The MIDI output service's backends behind winmm.cpp: the ALSA sequencer,
// JACK, and the monitor on standard output. Each lives in its own file; every
// call is made with the service's lock held, so the backends keep their state
// in plain file-level variables.
#ifndef VELMORA_PLATFORM_WINMM_OUTPUT_BACKENDS_H
#define VELMORA_PLATFORM_WINMM_OUTPUT_BACKENDS_H

#include "short_message.h"

#include <string>
#include <vector>

namespace winmm {

// A destination another program offers: a readable name for the device list
// and the address that opens it again.
struct PortEntry {
    std::string name;
    std::string address;
};

// --- ALSA sequencer (alsa_output.cpp), over RtMidi --------------------------

struct AlsaOutput;

// Replaces ports with the sequencer's writable ports of other clients. False
// when there is no sequencer (then ports is empty); says nothing either way.
bool ListAlsaPorts(std::vector<PortEntry>& ports);
// Null when the port is gone or cannot be connected.
AlsaOutput* OpenAlsaPort(const std::string& address);
AlsaOutput* OpenAlsaVirtualPort();
void SendAlsa(AlsaOutput* output, const MidiBytes& message);
void CloseAlsa(AlsaOutput* output);

// --- JACK (jack_output.cpp), over libjack -----------------------------------

struct JackOutput;

// Replaces ports with the JACK MIDI input ports of other clients. False when
// no JACK server answers (then ports is empty); says nothing either way.
bool ListJackPorts(std::vector<PortEntry>& ports);
// Null when the port is gone or cannot be connected.
JackOutput* OpenJackPort(const std::string& portName);
JackOutput* OpenJackVirtualPort();
// Queues the message for the next process cycle; drops it when the server
// is gone or stalled. Waits only while the queue is full and the server runs.
void SendJack(JackOutput* output, const MidiBytes& message);
// Returns once everything queued has reached the port's connections, or
// after a bounded wait when the server has stopped processing.
void CloseJack(JackOutput* output);

// --- Monitor (monitor_output.cpp) ---------------------------------------------

// "B2 4A 64  Control Change  channel 3  controller 74  value 100": the bytes
// in hex, then the message in words, channels counted from 1.
std::string DescribeMessage(const MidiBytes& message);
// Writes DescribeMessage's line to standard output. Drops it rather than
// wait long for a reader that does not take it.
void SendMonitor(const MidiBytes& message);

}  // namespace winmm

#endif

// The MIDI output service's backends behind winmm.cpp: the ALSA sequencer,
// JACK, and the monitor on standard output. Each lives in its own file and
// has an entry in winmm.cpp's table of output kinds; an open output is the
// backend's own record, which only its calls read. Every call is made with
// the service's lock held, so the backends keep their state in plain
// file-level variables. Work they post to the main thread takes the lock
// itself.
#ifndef VELMORA_PLATFORM_WINMM_OUTPUT_BACKENDS_H
#define VELMORA_PLATFORM_WINMM_OUTPUT_BACKENDS_H

#include "short_message.h"

#include <mutex>
#include <string>
#include <vector>

namespace winmm {

// The lock that covers the service and its backends (winmm.cpp).
std::mutex& OutputServiceLock();

// Velmora's names on the ALSA sequencer and on JACK: its client, the port
// that sends to the device chosen in the list, and the port of its own that
// other programs connect to.
inline constexpr char kClientName[] = "Velmora";
inline constexpr char kDevicePortName[] = "device";
inline constexpr char kVirtualPortName[] = "output";

// A destination another program offers: a readable name for the device list
// and the address that opens it again; for the diagnostics, the way messages
// take to it.
struct PortEntry {
    std::string name;
    std::string address;
    std::string route;
    // A JACK port of PipeWire's bridge only: the ALSA sequencer port ("24:0")
    // it carries to.
    std::string bridgedAlsaPort;
};

// --- ALSA sequencer (alsa_output.cpp), over libasound ---------------------

struct AlsaOutput;

// Replaces ports with the sequencer's writable ports of other clients, but
// for PipeWire's own. False when there is no sequencer (then ports is empty).
bool ListAlsaPorts(std::vector<PortEntry>& ports);
// Null when the port is gone. While it is open, the port gets every message
// and nothing else does; when it comes back under a new address after it
// went, the messages follow it.
AlsaOutput* OpenAlsaPort(const std::string& address);
// Velmora's own port; its subscriptions are those that others make.
AlsaOutput* OpenAlsaVirtualPort();
void SendAlsa(AlsaOutput* output, const MidiBytes& message);
void CloseAlsa(AlsaOutput* output);

// --- JACK (jack_output.cpp), over libjack -----------------------------------

struct JackOutput;

// Replaces ports with the JACK MIDI input ports of other clients. False when
// no JACK server answers in time (then ports is empty).
bool ListJackPorts(std::vector<PortEntry>& ports);
// Null when the port is gone, cannot be connected, or the server does not
// answer within about two seconds. While it is open, the port gets every
// message and nothing else does; a port of the same name that comes back
// after it went is connected again.
JackOutput* OpenJackPort(const std::string& portName);
// Velmora's own port; its connections are those that others make.
JackOutput* OpenJackVirtualPort();
// Queues the message for the next process cycle; drops it when the server
// is gone or stalled. Waits only briefly while the queue is full.
void SendJack(JackOutput* output, const MidiBytes& message);
// Returns once everything queued has reached the port's connections, or
// within about two seconds when the server has stopped processing.
void CloseJack(JackOutput* output);

// --- Monitor (monitor_output.cpp) ---------------------------------------------

struct MonitorOutput;

// "B2 4A 64  Control Change  channel 3  controller 74  value 100": the bytes
// in hex, then the message in words, channels counted from 1.
std::string DescribeMessage(const MidiBytes& message);
// Shows the monitor's window when nobody reads standard output.
MonitorOutput* OpenMonitor();
// Writes DescribeMessage's line to standard output, and to the window if it
// shows. Drops it rather than wait long for a reader that does not take it.
void SendMonitor(MonitorOutput* output, const MidiBytes& message);
void CloseMonitor(MonitorOutput* output);

}  // namespace winmm

#endif

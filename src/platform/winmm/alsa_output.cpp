// The ALSA sequencer backend, straight over libasound. RtMidi sends every
// event to whoever subscribed to its port, makes a port that anybody may
// subscribe to, and makes a new client for each open, whose end takes the
// subscriptions others made with it.
//
// Here the process has one sequencer client, "Velmora", opened at the first
// listing and kept, with two ports made at once:
// - "device" sends to the port chosen in the list and to nothing else: each
//   event is addressed to that port, and the port cannot be subscribed to.
//   Before each send the chosen address is checked to still be the port of
//   that client name and port name; when it is not, the port is looked up
//   by its names again (a restarted synth gets a new client number), and
//   the messages drop while it is not there.
// - "output" is Velmora's own port that other programs subscribe to. The
//   subscriptions are theirs: it sends to its subscribers and never makes or
//   removes one.
// ALSA delivers each event to the kernel as it is sent, so closing never
// loses what was sent before.
#include "output_backends.h"

#include "device_names.h"
#include "diagnostics/diagnostics.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace winmm {

namespace {

using Clock = std::chrono::steady_clock;

const char kClientName[] = "Velmora";
const char kDevicePortName[] = "device";
const char kVirtualPortName[] = "output";

// How long a send waits for room when the sequencer's pool is full.
constexpr auto kFullPoolWait = std::chrono::milliseconds(100);
// How often a missing port is looked for again while messages are sent.
constexpr auto kLookupInterval = std::chrono::milliseconds(200);

// A port of another client, by its names and where it was last found.
struct PortAddress {
    std::string clientName;
    std::string portName;
    snd_seq_addr_t address{};
};

}  // namespace

struct AlsaOutput {
    bool device = false;
    PortAddress target;  // the chosen port (device port only)
    bool targetFound = true;
    Clock::time_point lastLookup{};
    snd_midi_event_t* encoder = nullptr;
};

namespace {

// The process's sequencer client; null until a sequencer could be opened.
struct Sequencer {
    snd_seq_t* handle = nullptr;
    int client = -1;
    int devicePort = -1;
    int virtualPort = -1;
    bool deviceInUse = false;
    bool virtualInUse = false;
};
Sequencer* sequencer = nullptr;

// libasound's own complaints go to the diagnostics channel, not to stderr.
void ReportAlsaError(const char* file, int line, const char* function, int error,
                     const char* format, ...) {
    if (!DiagnosticsEnabled("winmm")) {
        return;
    }
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Diagnose("winmm", "libasound (%s:%d %s): %s%s%s", file, line, function, text,
             error != 0 ? ": " : "", error != 0 ? snd_strerror(error) : "");
}

int MakePort(snd_seq_t* handle, const char* name, unsigned capabilities) {
    const int port = snd_seq_create_simple_port(
        handle, name, capabilities, SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0) {
        Diagnose("winmm", "snd_seq_create_simple_port(%s) failed: %s", name, snd_strerror(port));
    }
    return port;
}

// The sequencer, opened now if it was not; null when there is none (as on a
// machine without /dev/snd).
Sequencer* OpenSequencer() {
    if (sequencer != nullptr) {
        return sequencer;
    }
    snd_lib_error_set_handler(ReportAlsaError);
    snd_seq_t* handle = nullptr;
    int result = snd_seq_open(&handle, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK);
    if (result < 0) {
        Diagnose("winmm", "no ALSA sequencer: snd_seq_open failed: %s", snd_strerror(result));
        return nullptr;
    }
    if ((result = snd_seq_set_client_name(handle, kClientName)) < 0) {
        Diagnose("winmm", "snd_seq_set_client_name failed: %s", snd_strerror(result));
    }
    // The device port has no subscription capability: nobody can attach to
    // it. Events to the chosen port are addressed to it.
    const int devicePort = MakePort(handle, kDevicePortName, SND_SEQ_PORT_CAP_READ);
    const int virtualPort =
        MakePort(handle, kVirtualPortName, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
    if (devicePort < 0 || virtualPort < 0) {
        snd_seq_close(handle);
        return nullptr;
    }
    sequencer = new Sequencer{handle, snd_seq_client_id(handle), devicePort, virtualPort};
    return sequencer;
}

// Calls found(client, port, clientName, portName) for every port of another
// client that takes MIDI from others, until it returns true.
template <typename Found>
void ForEachWritablePort(Sequencer& seq, Found found) {
    snd_seq_client_info_t* clientInfo;
    snd_seq_port_info_t* portInfo;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(seq.handle, clientInfo) >= 0) {
        const int client = snd_seq_client_info_get_client(clientInfo);
        // The system client's ports (timer, announce) carry no music.
        if (client == seq.client || client == SND_SEQ_CLIENT_SYSTEM) {
            continue;
        }
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(seq.handle, portInfo) >= 0) {
            constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
            constexpr unsigned kMusical = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH |
                                          SND_SEQ_PORT_TYPE_APPLICATION;
            if ((snd_seq_port_info_get_capability(portInfo) & kWritable) != kWritable ||
                (snd_seq_port_info_get_type(portInfo) & kMusical) == 0) {
                continue;
            }
            if (found(client, snd_seq_port_info_get_port(portInfo),
                      snd_seq_client_info_get_name(clientInfo),
                      snd_seq_port_info_get_name(portInfo))) {
                return;
            }
        }
    }
}

// An address as the device list keeps it: "C:P", then the client's name and
// the port's name, each on a line of its own.
std::string FormatAddress(int client, int port, const char* clientName, const char* portName) {
    return std::to_string(client) + ":" + std::to_string(port) + "\n" + clientName + "\n" +
           portName;
}

bool ParseAddress(const std::string& text, PortAddress& parsed) {
    const size_t first = text.find('\n');
    const size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    int client = -1;
    int port = -1;
    if (second == std::string::npos ||
        std::sscanf(text.substr(0, first).c_str(), "%d:%d", &client, &port) != 2 || client < 0 ||
        client > 255 || port < 0 || port > 255) {
        return false;
    }
    parsed.address.client = static_cast<unsigned char>(client);
    parsed.address.port = static_cast<unsigned char>(port);
    parsed.clientName = text.substr(first + 1, second - first - 1);
    parsed.portName = text.substr(second + 1);
    return true;
}

// Whether the address still is the port of those names.
bool StillThere(Sequencer& seq, const PortAddress& target) {
    snd_seq_client_info_t* clientInfo;
    snd_seq_port_info_t* portInfo;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    return snd_seq_get_any_client_info(seq.handle, target.address.client, clientInfo) >= 0 &&
           snd_seq_get_any_port_info(seq.handle, target.address.client, target.address.port,
                                     portInfo) >= 0 &&
           target.clientName == snd_seq_client_info_get_name(clientInfo) &&
           target.portName == snd_seq_port_info_get_name(portInfo);
}

// Looks the port up by its names; false when no such port is there now.
bool FindByNames(Sequencer& seq, PortAddress& target) {
    bool found = false;
    ForEachWritablePort(seq,
                        [&](int client, int port, const char* clientName, const char* portName) {
                            if (target.clientName == clientName && target.portName == portName) {
                                target.address.client = static_cast<unsigned char>(client);
                                target.address.port = static_cast<unsigned char>(port);
                                found = true;
                            }
                            return found;
                        });
    return found;
}

// Whether the device output's chosen port is there; looks for it again, at
// most every kLookupInterval, when it went.
bool LocateTarget(Sequencer& seq, AlsaOutput& output) {
    if (output.targetFound && StillThere(seq, output.target)) {
        return true;
    }
    const Clock::time_point now = Clock::now();
    if (!output.targetFound && now - output.lastLookup < kLookupInterval) {
        return false;
    }
    output.lastLookup = now;
    const bool wasFound = output.targetFound;
    output.targetFound = FindByNames(seq, output.target);
    if (output.targetFound != wasFound || !output.targetFound) {
        Diagnose("winmm",
                 output.targetFound ? "ALSA port %s:%s is back, at %d:%d"
                                    : "ALSA port %s:%s is not there (last at %d:%d)",
                 output.target.clientName.c_str(), output.target.portName.c_str(),
                 output.target.address.client, output.target.address.port);
    }
    return output.targetFound;
}

// Sends the event at once; waits a little for room while the pool is full.
int OutputDirect(Sequencer& seq, snd_seq_event_t& event) {
    const Clock::time_point deadline = Clock::now() + kFullPoolWait;
    for (;;) {
        const int result = snd_seq_event_output_direct(seq.handle, &event);
        if (result != -EAGAIN || Clock::now() > deadline) {
            return result;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

AlsaOutput* NewOutput(bool device) {
    bool& inUse = device ? sequencer->deviceInUse : sequencer->virtualInUse;
    if (inUse) {
        Diagnose("winmm", "Velmora's ALSA %s port is in use", device ? "device" : "virtual");
        return nullptr;
    }
    auto* output = new AlsaOutput;
    output->device = device;
    if (const int result = snd_midi_event_new(16, &output->encoder); result < 0) {
        Diagnose("winmm", "snd_midi_event_new failed: %s", snd_strerror(result));
        delete output;
        return nullptr;
    }
    inUse = true;
    return output;
}

}  // namespace

bool ListAlsaPorts(std::vector<PortEntry>& ports) {
    ports.clear();
    Sequencer* seq = OpenSequencer();
    if (seq == nullptr) {
        return false;
    }
    ForEachWritablePort(*seq,
                        [&](int client, int port, const char* clientName, const char* portName) {
                            ports.push_back({AlsaDeviceName(clientName, portName),
                                             FormatAddress(client, port, clientName, portName)});
                            return false;
                        });
    return true;
}

AlsaOutput* OpenAlsaPort(const std::string& address) {
    PortAddress target;
    if (sequencer == nullptr || !ParseAddress(address, target)) {
        Diagnose("winmm", "no ALSA port at '%s'", address.c_str());
        return nullptr;
    }
    // The list may be older than the port's last restart.
    if (!StillThere(*sequencer, target) && !FindByNames(*sequencer, target)) {
        Diagnose("winmm", "ALSA port %s:%s is not there", target.clientName.c_str(),
                 target.portName.c_str());
        return nullptr;
    }
    AlsaOutput* output = NewOutput(true);
    if (output != nullptr) {
        output->target = target;
    }
    return output;
}

AlsaOutput* OpenAlsaVirtualPort() {
    if (sequencer == nullptr) {
        Diagnose("winmm", "no ALSA sequencer for the virtual port");
        return nullptr;
    }
    return NewOutput(false);
}

void SendAlsa(AlsaOutput* output, const MidiBytes& message) {
    Sequencer& seq = *sequencer;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_midi_event_reset_encode(output->encoder);
    const long used = snd_midi_event_encode(output->encoder, message.data,
                                            static_cast<long>(message.size), &event);
    if (used != static_cast<long>(message.size) || event.type == SND_SEQ_EVENT_NONE) {
        Diagnose("winmm", "snd_midi_event_encode took %ld of %zu bytes (status %02X)", used,
                 message.size, message.data[0]);
        return;
    }
    snd_seq_ev_set_direct(&event);
    if (output->device) {
        if (!LocateTarget(seq, *output)) {
            return;
        }
        snd_seq_ev_set_source(&event, seq.devicePort);
        snd_seq_ev_set_dest(&event, output->target.address.client, output->target.address.port);
    } else {
        snd_seq_ev_set_source(&event, seq.virtualPort);
        snd_seq_ev_set_subs(&event);
    }
    if (const int result = OutputDirect(seq, event); result < 0) {
        Diagnose("winmm", "snd_seq_event_output_direct from port %d failed: %s",
                 output->device ? seq.devicePort : seq.virtualPort, snd_strerror(result));
    }
}

void CloseAlsa(AlsaOutput* output) {
    (output->device ? sequencer->deviceInUse : sequencer->virtualInUse) = false;
    snd_midi_event_free(output->encoder);
    delete output;
}

}  // namespace winmm

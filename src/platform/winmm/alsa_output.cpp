// The ALSA sequencer backend, over libasound. The process has one sequencer
// client, "Velmora", opened at the first listing and kept (so that closing
// an output never takes subscriptions others made with it), with two ports
// made at once:
// - "device" sends to the port chosen in the list and to nothing else: each
//   event is addressed to that port, and nobody else can subscribe to the
//   device port. It subscribes itself to the chosen port all the same: a
//   kernel port (a USB synth, VirMIDI, a sound card's MIDI) opens its device
//   only for a subscriber and refuses or drops events until then. The
//   subscription also says that the port is still the one chosen: the kernel
//   removes it with the port, and only Velmora can remove it otherwise.
//   When it is gone, the port is looked up by its names again (a restarted
//   synth gets a new client number, a USB synth plugged in again the same
//   one), and the messages drop while it is not there. Ports of the same
//   names that were there already when the output was opened are other
//   devices, never taken for the chosen one.
// - "output" is Velmora's own port that other programs subscribe to. The
//   subscriptions are theirs: it sends to its subscribers and never makes or
//   removes one.
// ALSA delivers each event to the kernel as it is sent, so closing never
// loses what was sent before.
#include "output_backends.h"

#include "device_names.h"
#include "diagnostics/diagnostics.h"

#include <alsa/asoundlib.h>

#include <algorithm>
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

// How long a send waits for room when the receiver's pool is full. A
// receiver that stopped reading gets no more waits until it takes a message
// again: a pass to it costs the dialog one wait, not one per message.
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
    // Same-named ports that were there when the output was opened.
    std::vector<snd_seq_addr_t> others;
    bool targetFound = true;
    // Messages dropped since the receiver stopped taking them; while there
    // are any, sends do not wait for room.
    unsigned long droppedWhileFull = 0;
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

bool IsKernelClient(Sequencer& seq, int client) {
    snd_seq_client_info_t* clientInfo;
    snd_seq_client_info_alloca(&clientInfo);
    return snd_seq_get_any_client_info(seq.handle, client, clientInfo) >= 0 &&
           snd_seq_client_info_get_type(clientInfo) == SND_SEQ_KERNEL_CLIENT;
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

bool SameAddress(const snd_seq_addr_t& a, const snd_seq_addr_t& b) {
    return a.client == b.client && a.port == b.port;
}

// Every port of the target's names but the one at its address.
std::vector<snd_seq_addr_t> OtherPortsNamedLike(Sequencer& seq, const PortAddress& target) {
    std::vector<snd_seq_addr_t> others;
    ForEachWritablePort(seq,
                        [&](int client, int port, const char* clientName, const char* portName) {
                            const snd_seq_addr_t address{static_cast<unsigned char>(client),
                                                         static_cast<unsigned char>(port)};
                            if (target.clientName == clientName && target.portName == portName &&
                                !SameAddress(address, target.address)) {
                                others.push_back(address);
                            }
                            return false;
                        });
    return others;
}

// Looks the chosen port up by its names among the ports that were not there
// when the output was opened; false when there is none now.
bool FindByNames(Sequencer& seq, AlsaOutput& output) {
    // A port that went frees its address for a newcomer.
    std::vector<snd_seq_addr_t> stillThere;
    for (const snd_seq_addr_t& other : output.others) {
        if (StillThere(seq, {output.target.clientName, output.target.portName, other})) {
            stillThere.push_back(other);
        }
    }
    output.others = stillThere;
    bool found = false;
    ForEachWritablePort(
        seq, [&](int client, int port, const char* clientName, const char* portName) {
            const snd_seq_addr_t address{static_cast<unsigned char>(client),
                                         static_cast<unsigned char>(port)};
            const auto isOther = [&](const snd_seq_addr_t& other) {
                return SameAddress(other, address);
            };
            if (output.target.clientName == clientName && output.target.portName == portName &&
                std::none_of(output.others.begin(), output.others.end(), isOther)) {
                output.target.address = address;
                found = true;
            }
            return found;
        });
    return found;
}

bool Subscribed(Sequencer& seq, const snd_seq_addr_t& target) {
    snd_seq_port_subscribe_t* subscription;
    snd_seq_port_subscribe_alloca(&subscription);
    const snd_seq_addr_t sender{static_cast<unsigned char>(seq.client),
                                static_cast<unsigned char>(seq.devicePort)};
    snd_seq_port_subscribe_set_sender(subscription, &sender);
    snd_seq_port_subscribe_set_dest(subscription, &target);
    return snd_seq_get_port_subscription(seq.handle, subscription) >= 0;
}

bool Subscribe(Sequencer& seq, const PortAddress& target) {
    const int result =
        snd_seq_connect_to(seq.handle, seq.devicePort, target.address.client, target.address.port);
    if (result < 0) {
        Diagnose("winmm", "cannot subscribe to ALSA port %s:%s at %d:%d: %s",
                 target.clientName.c_str(), target.portName.c_str(), target.address.client,
                 target.address.port, snd_strerror(result));
    }
    return result >= 0;
}

// Whether the device output's chosen port is there and subscribed to; looks
// for it again, at most every kLookupInterval, when it went.
bool LocateTarget(Sequencer& seq, AlsaOutput& output) {
    if (output.targetFound && Subscribed(seq, output.target.address)) {
        return true;
    }
    const Clock::time_point now = Clock::now();
    if (!output.targetFound && now - output.lastLookup < kLookupInterval) {
        return false;
    }
    output.lastLookup = now;
    const bool wasFound = output.targetFound;
    output.targetFound = FindByNames(seq, output) && Subscribe(seq, output.target);
    if (output.targetFound != wasFound || !output.targetFound) {
        Diagnose("winmm",
                 output.targetFound ? "ALSA port %s:%s is back, at %d:%d"
                                    : "ALSA port %s:%s is not there (last at %d:%d)",
                 output.target.clientName.c_str(), output.target.portName.c_str(),
                 output.target.address.client, output.target.address.port);
    }
    return output.targetFound;
}

// Sends the event at once; waits a little for room while the receiver's
// pool is full, unless the receiver has stalled.
int OutputDirect(Sequencer& seq, const AlsaOutput& output, snd_seq_event_t& event) {
    const Clock::time_point deadline = Clock::now() + kFullPoolWait;
    for (;;) {
        const int result = snd_seq_event_output_direct(seq.handle, &event);
        if (result != -EAGAIN || output.droppedWhileFull > 0 || Clock::now() > deadline) {
            return result;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

// Says when the receiver stops taking messages and when it takes them again,
// rather than once for every message dropped in between.
void ReportSend(AlsaOutput& output, int port, int result) {
    if (result == -EAGAIN) {
        if (output.droppedWhileFull++ == 0) {
            Diagnose("winmm", "the receiver of ALSA port %d takes no messages: they drop", port);
        }
        return;
    }
    if (output.droppedWhileFull > 0 && result >= 0) {
        Diagnose("winmm", "the receiver of ALSA port %d takes messages again, %lu dropped", port,
                 output.droppedWhileFull);
        output.droppedWhileFull = 0;
    }
    if (result < 0) {
        Diagnose("winmm", "snd_seq_event_output_direct from port %d failed: %s", port,
                 snd_strerror(result));
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
    ForEachWritablePort(
        *seq, [&](int client, int port, const char* clientName, const char* portName) {
            const std::string where = std::to_string(client) + ":" + std::to_string(port) + " (" +
                                      clientName + ":" + portName + ")";
            if (IsPipeWireSequencerClient(clientName)) {
                Diagnose("winmm", "ALSA port %s not listed: PipeWire's own", where.c_str());
                return false;
            }
            // A kernel port is named after its device ("VirMIDI 0-0", "USB Synth
            // MIDI 1"); its client's name, the card's, would only crowd it out.
            const bool kernelPort = IsKernelClient(*seq, client);
            ports.push_back({AlsaDeviceName(kernelPort ? "" : clientName, portName),
                             FormatAddress(client, port, clientName, portName),
                             "ALSA sequencer port " + where, ""});
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
    // The list may be older than the port's last restart: a port of those
    // names is taken for it only when it is the one such port.
    if (!StillThere(*sequencer, target)) {
        const std::vector<snd_seq_addr_t> namedLike = OtherPortsNamedLike(*sequencer, target);
        if (namedLike.size() != 1) {
            Diagnose("winmm", "ALSA port %s:%s is not at %d:%d any more; %zu ports of its names",
                     target.clientName.c_str(), target.portName.c_str(), target.address.client,
                     target.address.port, namedLike.size());
            return nullptr;
        }
        target.address = namedLike.front();
    }
    AlsaOutput* output = NewOutput(true);
    if (output == nullptr) {
        return nullptr;
    }
    output->target = target;
    output->others = OtherPortsNamedLike(*sequencer, target);
    if (!Subscribe(*sequencer, target)) {
        CloseAlsa(output);
        return nullptr;
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
    ReportSend(*output, output->device ? seq.devicePort : seq.virtualPort,
               OutputDirect(seq, *output, event));
}

void CloseAlsa(AlsaOutput* output) {
    Sequencer& seq = *sequencer;
    if (output->device && output->targetFound && Subscribed(seq, output->target.address)) {
        const int result = snd_seq_disconnect_to(
            seq.handle, seq.devicePort, output->target.address.client, output->target.address.port);
        if (result < 0) {
            Diagnose("winmm", "cannot unsubscribe from ALSA port %s:%s: %s",
                     output->target.clientName.c_str(), output->target.portName.c_str(),
                     snd_strerror(result));
        }
    }
    (output->device ? sequencer->deviceInUse : sequencer->virtualInUse) = false;
    snd_midi_event_free(output->encoder);
    delete output;
}

}  // namespace winmm

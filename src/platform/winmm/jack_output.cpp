// The JACK backend, over libjack. A close returns once its queue has gone
// out (a burst just sent is not dropped), a shutdown handler notices a server
// that went, and a full queue drops messages rather than wait for a server
// that died.
//
// The process has one client, "Velmora", opened at the first listing and
// kept while its server answers. It lists the ports and owns two output
// ports, both registered before the client is activated: registering and
// unregistering ports on an active client races with libjack's own process
// thread (the process crashed in about one of three runs of 1,000 opens).
//
// - "device" carries what the user sends to the JACK port chosen in the list,
//   and nothing else: Velmora connects it to that port alone and removes any
//   other connection to it. Removing takes a round trip to the server, so in
//   the meantime the process callback writes into the port only in cycles in
//   which its connections are exactly the chosen port (it holds the queue
//   while someone else is connected as well, and drops it while the chosen
//   port is not connected at all, as for a device that has gone). When the
//   chosen port goes and a port of the same name comes back, it is connected
//   again.
// - "output" is Velmora's own port that other programs connect to. Its
//   connections are theirs: Velmora never makes or removes any.
//
// Every libjack call that waits for the server runs on the client's own call
// thread, and the caller waits for it at most about two seconds. A server
// that does not answer in time counts as stalled: its client is abandoned
// (outputs on it stay open for the program, their sends drop), and the next
// call makes a new client, named "Velmora-01" and so on by the server while
// the old one is still registered. The abandoned client is closed on its
// call thread should the server ever answer again.
//
// libjack's notifications only post work to the program's main thread
// (kernel32's main thread work), which asks the call thread to put the
// device port's connections right.
//
// The realtime side is jack_process.cpp, the client's lifecycle
// jack_session.cpp; this file holds the calls the program makes.
#include "output_backends.h"

#include "device_names.h"
#include "diagnostics/diagnostics.h"
#include "jack_session.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace winmm {

namespace {

using Clock = JackClock;

// The longest a call of the program waits for the server.
constexpr auto kServerWait = std::chrono::seconds(2);
// How long a send waits for room in a full queue while the server runs.
constexpr auto kFullQueueWait = std::chrono::milliseconds(100);
// Cycles that must complete after the one that wrote the last message before
// the port goes: the receivers run after this client in that cycle, and on a
// server without realtime scheduling may still be running when the next
// cycle starts.
constexpr uint64_t kSettleCycles = 2;
constexpr auto kPollInterval = std::chrono::microseconds(250);

// An output whose device port is connected to the target alone, in the graph
// the server uses. Null when that fails; stalled tells whether the server
// did not answer in time.
JackOutput* ConnectedOutput(const std::string& target, Clock::time_point deadline, bool& stalled) {
    JackSession* session = CurrentJackSession(deadline);
    stalled = false;
    if (session == nullptr) {
        return nullptr;
    }
    JackOutput* output = NewJackOutput(*session, true, target);
    if (output == nullptr) {
        return nullptr;
    }
    int result = 0;
    if (!session->calls.Run(
            result, [session, target] { return RouteDevicePort(*session, target); }, deadline)) {
        TakeForStalled(*session, "connecting");
    }
    // Changes to the connections take effect at the start of a later cycle
    // (later still while clients run late), and messages written before
    // would drop. The cycle after the one running now starts after the
    // changes made above, and with them after the last close's
    // disconnection: wait until such a cycle has seen the port connected to
    // the target alone.
    const uint64_t changed = session->cycles.load(std::memory_order_acquire) + 2;
    if (!session->stalled && result == 0 && WaitForCycles(*session, deadline, [&] {
            return output->lastExactCycle.load(std::memory_order_acquire) >= changed;
        })) {
        return output;
    }
    stalled = session->stalled;
    RemoveJackOutput(output, deadline);
    return nullptr;
}

// On the call thread: every MIDI input port, by the name the list shows.
// Velmora's own ports are outputs, so every input port belongs to another
// client. A port of PipeWire's bridge is known by the sequencer port it
// carries to, and by that port's names, its other alias.
std::vector<PortEntry> MidiInputPorts(jack_client_t* client) {
    std::vector<PortEntry> found;
    const char** listed = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (listed == nullptr) {
        return found;
    }
    // jackd2's libjack says "1.9.21", PipeWire's "... (using PipeWire ...)".
    const std::string library = std::string(", through libjack ") + jack_get_version_string();
    std::vector<char> first(jack_port_name_size() + 1);
    std::vector<char> second(jack_port_name_size() + 1);
    for (const char** name = listed; *name != nullptr; ++name) {
        PortEntry entry{JackDeviceName(*name), *name, std::string("JACK port ") + *name + library,
                        ""};
        // Cleared for each port: the count need not say which slots were filled.
        first.assign(first.size(), '\0');
        second.assign(second.size(), '\0');
        char* aliases[2] = {first.data(), second.data()};
        const jack_port_t* port = jack_port_by_name(client, *name);
        if (port != nullptr && jack_port_get_aliases(port, aliases) > 0) {
            const bool firstIsBridge = !BridgedAlsaPort(first.data()).empty();
            entry.bridgedAlsaPort = BridgedAlsaPort(firstIsBridge ? first.data() : second.data());
            const std::string knownAs = firstIsBridge ? second.data() : first.data();
            if (!entry.bridgedAlsaPort.empty()) {
                entry.route +=
                    " (PipeWire's bridge of ALSA sequencer port " + entry.bridgedAlsaPort + ")";
                if (!knownAs.empty()) {
                    entry.name = JackDeviceName(knownAs);
                }
            }
        }
        found.push_back(entry);
    }
    jack_free(listed);
    return found;
}

}  // namespace

// --- The calls the program makes -------------------------------------------------

bool ListJackPorts(std::vector<PortEntry>& ports) {
    ports.clear();
    const Clock::time_point deadline = Clock::now() + kServerWait;
    JackSession* session = CurrentJackSession(deadline);
    if (session == nullptr) {
        return false;
    }
    std::vector<PortEntry> found;
    const bool answered = session->calls.Run(
        found, [session] { return MidiInputPorts(session->client); }, deadline);
    if (!answered) {
        TakeForStalled(*session, "listing ports");
        return false;
    }
    ports = found;
    return true;
}

JackOutput* OpenJackPort(const std::string& portName) {
    const Clock::time_point deadline = Clock::now() + kServerWait;
    // A client that stalled (the server may have put it out of its graph for
    // running late) is replaced by a new one while there is time.
    bool stalled = false;
    JackOutput* output = ConnectedOutput(portName, deadline, stalled);
    if (output == nullptr && stalled && Clock::now() < deadline) {
        output = ConnectedOutput(portName, deadline, stalled);
    }
    return output;
}

JackOutput* OpenJackVirtualPort() {
    JackSession* session = CurrentJackSession(Clock::now() + kServerWait);
    return session != nullptr ? NewJackOutput(*session, false, "") : nullptr;
}

void SendJack(JackOutput* output, const MidiBytes& message) {
    JackSession& session = *output->session;
    if (session.serverGone.load() || session.stalled) {
        ++output->refused;
        return;
    }
    const unsigned char record[kJackRecordSize] = {static_cast<unsigned char>(message.size),
                                                   message.data[0], message.data[1],
                                                   message.data[2]};
    if (jack_ringbuffer_write_space(output->queue) < kJackRecordSize) {
        if (session.cycles.load(std::memory_order_acquire) == output->fullAtCycle) {
            ++output->refused;
            return;
        }
        const Clock::time_point deadline = Clock::now() + kFullQueueWait;
        while (jack_ringbuffer_write_space(output->queue) < kJackRecordSize) {
            if (session.serverGone.load() || Clock::now() > deadline) {
                output->fullAtCycle = session.cycles.load(std::memory_order_acquire);
                ++output->refused;
                return;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    jack_ringbuffer_write(output->queue, reinterpret_cast<const char*>(record), kJackRecordSize);
    output->queued.fetch_add(1, std::memory_order_release);
}

void CloseJack(JackOutput* output) {
    const Clock::time_point deadline = Clock::now() + kServerWait;
    JackSession& session = *output->session;
    const uint64_t queued = output->queued.load(std::memory_order_acquire);
    WaitForCycles(session, deadline, [&] {
        return output->taken.load(std::memory_order_acquire) == queued &&
               session.cycles.load(std::memory_order_acquire) >=
                   output->lastTakenCycle.load(std::memory_order_acquire) + kSettleCycles;
    });
    const uint64_t dropped = output->dropped.load(std::memory_order_acquire);
    if (output->refused > 0 || dropped > 0) {
        Diagnose("winmm",
                 "JACK output to %s closed: %llu messages dropped (server gone, stalled or queue "
                 "full), %llu while the port was not connected",
                 output->device ? output->target.c_str() : "Velmora's own port",
                 static_cast<unsigned long long>(output->refused),
                 static_cast<unsigned long long>(dropped));
    }
    if (output->device && !session.stalled && !session.serverGone.load()) {
        // Not waited for: the port writes nothing once it is closed.
        jack_port_t* port = session.devicePort;
        JackSession* owner = &session;
        session.calls.Post([owner, port] { jack_port_disconnect(owner->client, port); });
    }
    RemoveJackOutput(output, deadline);
}

}  // namespace winmm

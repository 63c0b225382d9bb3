// The realtime side of the JACK backend: libjack's process thread calls it
// once a cycle. It only moves bytes and sets counters: no locks, no
// allocation, no calls that wait.
#include "jack_session.h"

#include <jack/midiport.h>

namespace winmm {

namespace {

// How the device port is connected, as the process callback sees it.
enum class Route : uint8_t {
    Nowhere,  // the chosen port is not connected: messages drop
    Shared,   // the chosen port and others: messages wait
    Exact,    // the chosen port alone: messages go
};

Route DeviceRoute(jack_port_t* port, const std::string& target) {
    // Both are lock-free reads of the graph in use for this cycle.
    const int connections = jack_port_connected(port);
    if (connections <= 0 || jack_port_connected_to(port, target.c_str()) <= 0) {
        return Route::Nowhere;
    }
    return connections == 1 ? Route::Exact : Route::Shared;
}

// Moves the output's queue into the port's buffer (or drops it when the port
// goes nowhere); leaves it where it is while the port is shared.
void ServePort(jack_port_t* port, JackOutput* output, jack_nframes_t frames, uint64_t cycle) {
    // Cleared in every cycle, open or not: a port buffer keeps what was last
    // written to it, and anyone still connected would get it again.
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    if (output == nullptr) {
        return;
    }
    Route route = Route::Exact;
    if (output->device) {
        route = DeviceRoute(port, output->target);
        if (route == Route::Exact) {
            output->lastExactCycle.store(cycle, std::memory_order_release);
        }
    }
    if (route == Route::Shared) {
        return;
    }
    uint64_t taken = 0;
    unsigned char record[kJackRecordSize];
    while (jack_ringbuffer_read_space(output->queue) >= kJackRecordSize) {
        jack_ringbuffer_peek(output->queue, reinterpret_cast<char*>(record), kJackRecordSize);
        // A full port buffer keeps the rest for the next cycle.
        if (route == Route::Exact && jack_midi_event_write(buffer, 0, record + 1, record[0]) != 0) {
            break;
        }
        jack_ringbuffer_read_advance(output->queue, kJackRecordSize);
        ++taken;
    }
    if (taken > 0) {
        if (route == Route::Nowhere) {
            output->dropped.fetch_add(taken, std::memory_order_relaxed);
        }
        output->lastTakenCycle.store(cycle, std::memory_order_release);
        output->taken.fetch_add(taken, std::memory_order_release);
    }
}

}  // namespace

int ProcessJackCycle(jack_nframes_t frames, void* argument) {
    JackSession& session = *static_cast<JackSession*>(argument);
    const uint64_t cycle = session.cycles.load(std::memory_order_relaxed) + 1;
    ServePort(session.devicePort, session.deviceOutput.load(std::memory_order_acquire), frames,
              cycle);
    ServePort(session.virtualPort, session.virtualOutput.load(std::memory_order_acquire), frames,
              cycle);
    session.cycles.store(cycle, std::memory_order_release);
    return 0;
}

}  // namespace winmm

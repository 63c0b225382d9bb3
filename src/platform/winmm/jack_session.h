// What the JACK backend's files share: an open output, and the client
// (session) that carries it, with the thread that writes each field. See
// jack_output.cpp for how they work together.
#ifndef VELMORA_PLATFORM_WINMM_JACK_SESSION_H
#define VELMORA_PLATFORM_WINMM_JACK_SESSION_H

#include "server_call_thread.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winmm {

using JackClock = std::chrono::steady_clock;

// A queued message: its size, then its three bytes. The callback takes only
// whole records, so it never sees half of one still being written.
constexpr size_t kJackRecordSize = 4;

struct JackSession;

// An open output: a queue the sending thread fills and the process callback
// empties into one of the client's ports.
struct JackOutput {
    // Set before the callback can see the output; read-only afterwards.
    JackSession* session = nullptr;
    bool device = false;
    std::string target;  // the chosen port's full name (device port only)
    jack_ringbuffer_t* queue = nullptr;

    // Written by the sending thread.
    std::atomic<uint64_t> queued{0};
    // Written by the process callback: messages taken from the queue (sent
    // or dropped), the cycle that last took some, and the last cycle in which
    // the device port was connected to the chosen port alone.
    std::atomic<uint64_t> taken{0};
    // Written by the process callback: messages dropped because the chosen
    // port was not connected.
    std::atomic<uint64_t> dropped{0};
    std::atomic<uint64_t> lastTakenCycle{0};
    std::atomic<uint64_t> lastExactCycle{0};
    // Written by the sending thread only: the cycle count at which a full
    // queue was last given up on; sends drop at once until another cycle ran.
    uint64_t fullAtCycle = UINT64_MAX;
    // Written by the sending thread only: messages it dropped (server gone or
    // stalled, queue full).
    uint64_t refused = 0;
};

// One client on one server, with its two ports.
struct JackSession {
    // Written by the call thread before the client is activated (or before
    // it fails); read by others only after the setup call returned.
    jack_client_t* client = nullptr;
    jack_port_t* devicePort = nullptr;
    jack_port_t* virtualPort = nullptr;
    // Set when made; tells posted work whether this is still the current one.
    uint64_t generation = 0;

    // Written by the program's thread (under the service lock), read by the
    // process callback.
    std::atomic<JackOutput*> deviceOutput{nullptr};
    std::atomic<JackOutput*> virtualOutput{nullptr};
    // Written by the process callback: cycles completed.
    std::atomic<uint64_t> cycles{0};
    // Written by libjack's notification thread when the server goes.
    std::atomic<bool> serverGone{false};
    // Set by the notification thread when it posted work to put the device
    // port's connections right, cleared by that work.
    std::atomic<bool> routingPosted{false};

    // The program's thread only, under the service lock (and the call thread
    // once the session has been handed to it to be closed).
    bool stalled = false;  // the server did not answer in time
    int outputs = 0;       // JackOutputs that point here
    // Outputs closed while the callback could not be seen to let go of them:
    // freed with the client.
    std::vector<JackOutput*> retired;

    ServerCallThread calls;
};

static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<JackOutput*>::is_always_lock_free);

// --- The realtime side (jack_process.cpp) ---------------------------------------

// The process callback: moves the open outputs' queues into their ports.
int ProcessJackCycle(jack_nframes_t frames, void* session);

// --- The client's lifecycle (jack_session.cpp) ----------------------------------

// The client on the server that answers now, made if there is none; null
// when no server answers by the deadline.
JackSession* CurrentJackSession(JackClock::time_point deadline);

// Marks the session stalled (once, with a diagnostic): never waited on again.
void TakeForStalled(JackSession& session, const char* what);

// Waits until done() holds; false when the server went, no cycle ran for half
// a second, or the deadline passed (then the session counts as stalled).
bool WaitForCycles(JackSession& session, JackClock::time_point deadline,
                   const std::function<bool()>& done);

// On the call thread: makes the device port's connections exactly the target
// port, if it exists. 0 when it is connected; otherwise what JACK answered.
int RouteDevicePort(JackSession& session, const std::string& target);

// An output on one of the session's ports (device: the port for the chosen
// target; else Velmora's own), seen by the process callback. Null when that
// port is in use.
JackOutput* NewJackOutput(JackSession& session, bool device, const std::string& target);

// Takes the output out of its session and frees it, or keeps it for the
// session to free when the callback cannot be seen to have let go of it.
void RemoveJackOutput(JackOutput* output, JackClock::time_point deadline);

}  // namespace winmm

#endif

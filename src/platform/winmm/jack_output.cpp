// The JACK backend, straight over libjack. RtMidi's JACK output gives no way
// to know when its queue has gone out (its close can drop a burst just sent),
// has no shutdown handler and spins forever once its queue fills after the
// server died.
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
// JACK and the process callback only post: notifications post work to the
// program's main thread (kernel32's main thread work), which asks the call
// thread to put the device port's connections right.
#include "output_backends.h"

#include "device_names.h"
#include "diagnostics/diagnostics.h"
#include "kernel32/main_thread_work.h"
#include "server_call_thread.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace winmm {

namespace {

using Clock = std::chrono::steady_clock;

const char kClientName[] = "Velmora";
const char kDevicePortName[] = "device";
const char kVirtualPortName[] = "output";

// A queued message: its size, then its three bytes. The callback takes only
// whole records, so it never sees half of one still being written.
constexpr size_t kRecordSize = 4;
// About 16,000 messages: several periods' worth (a period takes about 2,700).
constexpr size_t kQueueBytes = 64 * 1024;

// The longest a call of the program waits for the server.
constexpr auto kServerWait = std::chrono::seconds(2);
// How long a send waits for room in a full queue while the server runs.
constexpr auto kFullQueueWait = std::chrono::milliseconds(100);
// A server that runs no cycle for this long counts as stalled.
constexpr auto kCycleWait = std::chrono::milliseconds(500);
// Cycles that must complete after the one that wrote the last message before
// the port goes: the receivers run after this client in that cycle, and on a
// server without realtime scheduling may still be running when the next
// cycle starts.
constexpr uint64_t kSettleCycles = 2;
constexpr auto kPollInterval = std::chrono::microseconds(250);

// How the device port is connected, as the process callback sees it.
enum class Route : uint8_t {
    Nowhere,  // the chosen port is not connected: messages drop
    Shared,   // the chosen port and others: messages wait
    Exact,    // the chosen port alone: messages go
};

}  // namespace

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
    // or dropped), the cycle that last took some, and the first cycle of the
    // current run of cycles in which the device port was routed exactly (0
    // while it is not).
    std::atomic<uint64_t> taken{0};
    std::atomic<uint64_t> lastTakenCycle{0};
    std::atomic<uint64_t> exactSinceCycle{0};
    // Written by the sending thread only: the cycle count at which a full
    // queue was last given up on; sends drop at once until another cycle ran.
    uint64_t fullAtCycle = UINT64_MAX;
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

    // The program's thread only, under the service lock.
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

namespace {

// --- The realtime side: the process callback ---------------------------------

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
        if (route != Route::Exact) {
            output->exactSinceCycle.store(0, std::memory_order_relaxed);
        } else if (output->exactSinceCycle.load(std::memory_order_relaxed) == 0) {
            output->exactSinceCycle.store(cycle, std::memory_order_release);
        }
    }
    if (route == Route::Shared) {
        return;
    }
    uint64_t taken = 0;
    unsigned char record[kRecordSize];
    while (jack_ringbuffer_read_space(output->queue) >= kRecordSize) {
        jack_ringbuffer_peek(output->queue, reinterpret_cast<char*>(record), kRecordSize);
        // A full port buffer keeps the rest for the next cycle.
        if (route == Route::Exact && jack_midi_event_write(buffer, 0, record + 1, record[0]) != 0) {
            break;
        }
        jack_ringbuffer_read_advance(output->queue, kRecordSize);
        ++taken;
    }
    if (taken > 0) {
        output->lastTakenCycle.store(cycle, std::memory_order_release);
        output->taken.fetch_add(taken, std::memory_order_release);
    }
}

int Process(jack_nframes_t frames, void* argument) {
    JackSession& session = *static_cast<JackSession*>(argument);
    const uint64_t cycle = session.cycles.load(std::memory_order_relaxed) + 1;
    ServePort(session.devicePort, session.deviceOutput.load(std::memory_order_acquire), frames,
              cycle);
    ServePort(session.virtualPort, session.virtualOutput.load(std::memory_order_acquire), frames,
              cycle);
    session.cycles.store(cycle, std::memory_order_release);
    return 0;
}

// --- Notifications, on libjack's notification thread: they only post -------

void PutRoutingRightLater(JackSession& session);

void OnPortRegistration(jack_port_id_t, int, void* argument) {
    PutRoutingRightLater(*static_cast<JackSession*>(argument));
}

void OnPortConnect(jack_port_id_t, jack_port_id_t, int, void* argument) {
    PutRoutingRightLater(*static_cast<JackSession*>(argument));
}

// A client's activation shows only as a new graph order; its ports can be
// connected from then on.
int OnGraphOrder(void* argument) {
    PutRoutingRightLater(*static_cast<JackSession*>(argument));
    return 0;
}

void OnShutdown(jack_status_t status, const char* reason, void* argument) {
    static_cast<JackSession*>(argument)->serverGone.store(true);
    const std::string why = reason != nullptr ? reason : "";
    PostMainThreadWork([status, why] {
        Diagnose("winmm", "JACK server shut the client down (status 0x%x): %s",
                 static_cast<unsigned>(status), why.c_str());
    });
}

// --- The client's lifecycle ----------------------------------------------------

// The client for listing and new outputs; null while no server answered.
JackSession* current = nullptr;
uint64_t sessionsMade = 0;

void Ignore(const char*) {}

// libjack keeps one graph and one table of semaphores per process, for all
// its clients: a client of a new server works only once the clients of a
// server that went are closed (and a close that follows a failed open
// crashes). So opens and closes take turns, and an open first waits a while
// for the clients of servers that went to be closed. (A server that only
// stalls keeps its client: no client of another server works in this process
// until it answers again or ends.)
struct OpenClients {
    std::mutex lock;
    // Written by the call threads, under lock.
    std::vector<JackSession*> sessions;
};

OpenClients& Clients() {
    static OpenClients* clients = new OpenClients;  // never destroyed: used at exit
    return *clients;
}

void WaitForClosesOfServersThatWent() {
    constexpr auto kLongestWait = std::chrono::seconds(1);
    const Clock::time_point deadline = Clock::now() + kLongestWait;
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(Clients().lock);
            const std::vector<JackSession*>& open = Clients().sessions;
            if (std::none_of(open.begin(), open.end(),
                             [](JackSession* other) { return other->serverGone.load(); }) ||
                Clock::now() > deadline) {
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// libjack binds each client's notification socket to a path made of the
// client's name alone, whatever the server, so two processes that open a
// client of the same name at the same moment (two programs on two servers)
// can make one of the opens fail. Such a failure passes; a missing server is
// not waited for.
jack_client_t* OpenClient(JackSession& session) {
    // libjack prints "Cannot connect to server socket..." and more when no
    // server runs; what matters is said below.
    jack_set_error_function(Ignore);
    jack_set_info_function(Ignore);
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        jack_status_t status;
        jack_client_t* client = nullptr;
        WaitForClosesOfServersThatWent();
        {
            std::lock_guard<std::mutex> hold(Clients().lock);
            client = jack_client_open(kClientName, JackNoStartServer, &status);
            if (client != nullptr) {
                Clients().sessions.push_back(&session);
            }
        }
        if (client != nullptr) {
            return client;
        }
        if ((status & JackServerFailed) != 0 || attempt == kAttempts) {
            Diagnose("winmm", "jack_client_open(\"%s\") failed, status 0x%x%s", kClientName,
                     static_cast<unsigned>(status),
                     (status & JackServerFailed) != 0 ? ": no JACK server runs" : "");
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * attempt));
    }
}

void CloseClient(JackSession& session) {
    std::lock_guard<std::mutex> hold(Clients().lock);
    std::vector<JackSession*>& open = Clients().sessions;
    open.erase(std::remove(open.begin(), open.end(), &session), open.end());
    if (const int result = jack_client_close(session.client); result != 0) {
        Diagnose("winmm", "jack_client_close failed (%d)", result);
    }
    session.client = nullptr;
}

// On the call thread: opens the client, registers both ports, activates.
bool SetUpClient(JackSession& session) {
    session.client = OpenClient(session);
    if (session.client == nullptr) {
        return false;
    }
    jack_client_t* client = session.client;
    jack_on_info_shutdown(client, OnShutdown, &session);
    session.devicePort =
        jack_port_register(client, kDevicePortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    session.virtualPort =
        jack_port_register(client, kVirtualPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    const char* failed = nullptr;
    int result = 0;
    if (session.devicePort == nullptr || session.virtualPort == nullptr) {
        failed = "jack_port_register";
    } else if ((result = jack_set_process_callback(client, Process, &session)) != 0) {
        failed = "jack_set_process_callback";
    } else if ((result = jack_set_port_registration_callback(client, OnPortRegistration,
                                                             &session)) != 0) {
        failed = "jack_set_port_registration_callback";
    } else if ((result = jack_set_port_connect_callback(client, OnPortConnect, &session)) != 0) {
        failed = "jack_set_port_connect_callback";
    } else if ((result = jack_set_graph_order_callback(client, OnGraphOrder, &session)) != 0) {
        failed = "jack_set_graph_order_callback";
    } else if ((result = jack_activate(client)) != 0) {
        failed = "jack_activate";
    }
    if (failed != nullptr) {
        Diagnose("winmm", "%s failed for client %s (%d)", failed, jack_get_client_name(client),
                 result);
        CloseClient(session);
        return false;
    }
    Diagnose("winmm", "JACK client %s is active", jack_get_client_name(client));
    return true;
}

void FreeOutput(JackOutput* output) {
    if (output->queue != nullptr) {
        jack_ringbuffer_free(output->queue);
    }
    delete output;
}

// Frees the session, no output pointing to it any more, on its call thread
// behind whatever call still waits there. A client whose server stalled is
// closed only once that server runs cycles again or has gone: libjack holds
// its process-wide open lock while it closes, and a close that never returns
// would keep every later client from opening, on any server.
void Retire(JackSession* session) {
    session->calls.Post([session] {
        if (session->client != nullptr) {
            const uint64_t cycles = session->cycles.load();
            while (session->stalled && session->cycles.load() == cycles &&
                   !session->serverGone.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            CloseClient(*session);
        }
        for (JackOutput* output : session->retired) {
            FreeOutput(output);
        }
        delete session;
    });
}

// No longer the current client. The client of a server that went is closed
// before any other is opened: libjack crashes in a close that follows a
// failed open. The rest goes when the last output on it is closed.
void LetGo(JackSession* session, Clock::time_point deadline) {
    if (session->serverGone.load() && !session->stalled && session->client != nullptr) {
        bool closed = false;
        if (!session->calls.Run(
                closed,
                [session] {
                    CloseClient(*session);
                    return true;
                },
                deadline)) {
            session->stalled = true;
        }
    }
    if (session->outputs == 0) {
        Retire(session);
    }
}

void TakeForStalled(JackSession& session, const char* what) {
    if (!session.stalled) {
        Diagnose("winmm", "the JACK server did not answer in time (%s): client abandoned", what);
    }
    session.stalled = true;
}

// A new current client, or null when no server answers by the deadline.
JackSession* NewSession(Clock::time_point deadline) {
    auto* session = new JackSession;
    session->generation = ++sessionsMade;
    bool ready = false;
    if (!session->calls.Run(
            ready, [session] { return SetUpClient(*session); }, deadline)) {
        TakeForStalled(*session, "opening the client");
    }
    if (!ready) {
        Retire(session);
        return nullptr;
    }
    return session;
}

// The client on the server that answers now; null when none does.
JackSession* CurrentSession(Clock::time_point deadline) {
    if (current != nullptr && (current->serverGone.load() || current->stalled)) {
        LetGo(current, deadline);
        current = nullptr;
    }
    if (current == nullptr) {
        current = NewSession(deadline);
    }
    return current;
}

// Waits until done() holds; false when the server went, no cycle ran for
// kCycleWait, or the deadline passed (then the client counts as stalled).
template <typename Condition>
bool WaitForCycles(JackSession& session, Clock::time_point deadline, Condition done) {
    uint64_t seenCycles = session.cycles.load(std::memory_order_acquire);
    Clock::time_point progress = Clock::now();
    while (!done()) {
        if (session.serverGone.load() || session.stalled) {
            return false;
        }
        const uint64_t cycles = session.cycles.load(std::memory_order_acquire);
        const Clock::time_point now = Clock::now();
        if (cycles != seenCycles) {
            seenCycles = cycles;
            progress = now;
        } else if (now - progress > kCycleWait || now > deadline) {
            TakeForStalled(session, "no process cycle");
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

// On the call thread: makes the device port's connections exactly the target
// port, if it exists. 0 when it is connected; otherwise what JACK answered.
int RouteDevicePort(JackSession& session, const std::string& target) {
    jack_client_t* client = session.client;
    const char* own = jack_port_name(session.devicePort);
    bool connected = false;
    if (const char** connections = jack_port_get_all_connections(client, session.devicePort)) {
        for (const char** other = connections; *other != nullptr; ++other) {
            if (target == *other) {
                connected = true;
            } else if (const int result = jack_disconnect(client, own, *other); result != 0) {
                Diagnose("winmm", "jack_disconnect(%s, %s) failed (%d)", own, *other, result);
            } else {
                Diagnose("winmm", "removed %s's connection to %s", *other, own);
            }
        }
        jack_free(connections);
    }
    if (connected) {
        return 0;
    }
    if (jack_port_by_name(client, target.c_str()) == nullptr) {
        Diagnose("winmm", "JACK port %s is not there", target.c_str());
        return ENOENT;
    }
    const int result = jack_connect(client, own, target.c_str());
    if (result != 0 && result != EEXIST) {
        Diagnose("winmm", "jack_connect(%s, %s) failed (%d)", own, target.c_str(), result);
        return result;
    }
    Diagnose("winmm", "connected %s to %s", own, target.c_str());
    return 0;
}

void PutRoutingRightLater(JackSession& session) {
    if (session.deviceOutput.load() == nullptr || session.routingPosted.exchange(true)) {
        return;
    }
    const uint64_t generation = session.generation;
    PostMainThreadWork([generation] {
        std::lock_guard<std::mutex> hold(OutputServiceLock());
        JackSession* session = current;
        if (session == nullptr || session->generation != generation || session->stalled) {
            return;
        }
        session->routingPosted.store(false);
        if (JackOutput* output = session->deviceOutput.load()) {
            const std::string target = output->target;
            session->calls.Post([session, target] { RouteDevicePort(*session, target); });
        }
    });
}

std::atomic<JackOutput*>& Slot(JackSession& session, bool device) {
    return device ? session.deviceOutput : session.virtualOutput;
}

// An output on one of the session's ports, seen by the process callback.
// Null when that port is in use.
JackOutput* NewOutput(JackSession& session, bool device, const std::string& target) {
    if (Slot(session, device).load() != nullptr) {
        Diagnose("winmm", "Velmora's JACK %s port is in use", device ? "device" : "virtual");
        return nullptr;
    }
    jack_ringbuffer_t* queue = jack_ringbuffer_create(kQueueBytes);
    if (queue == nullptr) {
        Diagnose("winmm", "jack_ringbuffer_create(%zu) failed", kQueueBytes);
        return nullptr;
    }
    auto* output = new JackOutput;
    output->session = &session;
    output->device = device;
    output->target = target;
    output->queue = queue;
    ++session.outputs;
    Slot(session, device).store(output, std::memory_order_release);
    return output;
}

// Takes the output out of its session and frees it, or keeps it for the
// session to free when the callback cannot be seen to have let go of it.
// Callbacks run one at a time, so one completed cycle after the slot was
// emptied shows that none holds it.
void RemoveOutput(JackOutput* output, Clock::time_point deadline) {
    JackSession& session = *output->session;
    Slot(session, output->device).store(nullptr, std::memory_order_release);
    const uint64_t start = session.cycles.load(std::memory_order_acquire);
    if (WaitForCycles(session, deadline,
                      [&] { return session.cycles.load(std::memory_order_acquire) > start; })) {
        FreeOutput(output);
    } else {
        session.retired.push_back(output);
    }
    if (--session.outputs == 0 && &session != current) {
        Retire(&session);
    }
}

// An output whose device port is connected to the target alone, in the graph
// the server uses. Null when that fails or the server did not answer in time.
JackOutput* ConnectedOutput(const std::string& target, Clock::time_point deadline) {
    JackSession* session = CurrentSession(deadline);
    if (session == nullptr) {
        return nullptr;
    }
    JackOutput* output = NewOutput(*session, true, target);
    if (output == nullptr) {
        return nullptr;
    }
    int result = 0;
    if (!session->calls.Run(
            result, [session, target] { return RouteDevicePort(*session, target); }, deadline)) {
        TakeForStalled(*session, "connecting");
    }
    // The connection joins the graph at the start of a later cycle, later
    // still while clients run late: wait until the callback has seen it and
    // a few cycles have run since.
    if (!session->stalled && result == 0 && WaitForCycles(*session, deadline, [&] {
            const uint64_t since = output->exactSinceCycle.load(std::memory_order_acquire);
            return since != 0 &&
                   session->cycles.load(std::memory_order_acquire) >= since + kSettleCycles;
        })) {
        return output;
    }
    RemoveOutput(output, deadline);
    return nullptr;
}

}  // namespace

// --- The calls the program makes -------------------------------------------------

bool ListJackPorts(std::vector<PortEntry>& ports) {
    ports.clear();
    const Clock::time_point deadline = Clock::now() + kServerWait;
    JackSession* session = CurrentSession(deadline);
    if (session == nullptr) {
        return false;
    }
    std::vector<std::string> names;
    const bool answered = session->calls.Run(
        names,
        [session] {
            std::vector<std::string> found;
            // Velmora's own ports are outputs, so every input port belongs
            // to another client.
            if (const char** listed = jack_get_ports(session->client, nullptr,
                                                     JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
                for (const char** name = listed; *name != nullptr; ++name) {
                    found.emplace_back(*name);
                }
                jack_free(listed);
            }
            return found;
        },
        deadline);
    if (!answered) {
        TakeForStalled(*session, "listing ports");
        return false;
    }
    for (const std::string& name : names) {
        ports.push_back({JackDeviceName(name), name});
    }
    return true;
}

JackOutput* OpenJackPort(const std::string& portName) {
    const Clock::time_point deadline = Clock::now() + kServerWait;
    // A client that stalled (the server may have put it out of its graph for
    // running late) is replaced by a new one while there is time.
    JackOutput* output = ConnectedOutput(portName, deadline);
    if (output == nullptr && current != nullptr && current->stalled && Clock::now() < deadline) {
        output = ConnectedOutput(portName, deadline);
    }
    return output;
}

JackOutput* OpenJackVirtualPort() {
    JackSession* session = CurrentSession(Clock::now() + kServerWait);
    return session != nullptr ? NewOutput(*session, false, "") : nullptr;
}

void SendJack(JackOutput* output, const MidiBytes& message) {
    JackSession& session = *output->session;
    if (session.serverGone.load() || session.stalled) {
        return;
    }
    const unsigned char record[kRecordSize] = {static_cast<unsigned char>(message.size),
                                               message.data[0], message.data[1], message.data[2]};
    if (jack_ringbuffer_write_space(output->queue) < kRecordSize) {
        if (session.cycles.load(std::memory_order_acquire) == output->fullAtCycle) {
            return;
        }
        const Clock::time_point deadline = Clock::now() + kFullQueueWait;
        while (jack_ringbuffer_write_space(output->queue) < kRecordSize) {
            if (session.serverGone.load() || Clock::now() > deadline) {
                output->fullAtCycle = session.cycles.load(std::memory_order_acquire);
                return;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    jack_ringbuffer_write(output->queue, reinterpret_cast<const char*>(record), kRecordSize);
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
    if (output->device && !session.stalled && !session.serverGone.load()) {
        // Not waited for: the port writes nothing once it is closed.
        jack_port_t* port = session.devicePort;
        JackSession* owner = &session;
        session.calls.Post([owner, port] { jack_port_disconnect(owner->client, port); });
    }
    RemoveOutput(output, deadline);
}

}  // namespace winmm

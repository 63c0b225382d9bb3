// The JACK client's lifecycle: opening it with both ports on its call
// thread, letting go of it when its server goes or stalls, the device port's
// connections, and the outputs on its ports. Notifications from libjack's
// thread only post work to the program's main thread.
#include "jack_session.h"

#include "diagnostics/diagnostics.h"
#include "kernel32/main_thread_work.h"
#include "output_backends.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>

namespace winmm {

namespace {

using Clock = JackClock;

// About 16,000 messages: several periods' worth (a period takes about 2,700).
constexpr size_t kQueueBytes = 64 * 1024;
// A server that runs no cycle for this long counts as stalled.
constexpr auto kCycleWait = std::chrono::milliseconds(500);
constexpr auto kPollInterval = std::chrono::microseconds(250);

// The client for listing and new outputs; null while no server answered.
JackSession* current = nullptr;
uint64_t sessionsMade = 0;

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

// --- Opening and closing --------------------------------------------------------

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
    } else if ((result = jack_set_process_callback(client, ProcessJackCycle, &session)) != 0) {
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

}  // namespace

void TakeForStalled(JackSession& session, const char* what) {
    if (!session.stalled) {
        Diagnose("winmm", "the JACK server did not answer in time (%s): client abandoned", what);
    }
    session.stalled = true;
}

namespace {

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

}  // namespace

JackSession* CurrentJackSession(Clock::time_point deadline) {
    if (current != nullptr && (current->serverGone.load() || current->stalled)) {
        LetGo(current, deadline);
        current = nullptr;
    }
    if (current == nullptr) {
        current = NewSession(deadline);
    }
    return current;
}

bool WaitForCycles(JackSession& session, Clock::time_point deadline,
                   const std::function<bool()>& done) {
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

int RouteDevicePort(JackSession& session, const std::string& target) {
    jack_client_t* client = session.client;
    const char* own = jack_port_name(session.devicePort);
    if (const char** connections = jack_port_get_all_connections(client, session.devicePort)) {
        for (const char** other = connections; *other != nullptr; ++other) {
            if (target == *other) {
                continue;
            }
            if (const int result = jack_disconnect(client, own, *other); result != 0) {
                Diagnose("winmm", "jack_disconnect(%s, %s) failed (%d)", own, *other, result);
            } else {
                Diagnose("winmm", "removed %s's connection to %s", *other, own);
            }
        }
        jack_free(connections);
    }
    if (jack_port_by_name(client, target.c_str()) == nullptr) {
        Diagnose("winmm", "JACK port %s is not there", target.c_str());
        return ENOENT;
    }
    // Connected whatever the list above said: it shows the graph of the
    // running cycle, which may not have taken a disconnection made just
    // before (by the last close) yet. The server knows; EEXIST is its yes.
    const int result = jack_connect(client, own, target.c_str());
    if (result == EEXIST) {
        return 0;
    }
    if (result != 0) {
        Diagnose("winmm", "jack_connect(%s, %s) failed (%d)", own, target.c_str(), result);
        return result;
    }
    Diagnose("winmm", "connected %s to %s", own, target.c_str());
    return 0;
}

namespace {

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

}  // namespace

JackOutput* NewJackOutput(JackSession& session, bool device, const std::string& target) {
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

// Callbacks run one at a time, so one completed cycle after the slot was
// emptied shows that none holds it.
void RemoveJackOutput(JackOutput* output, Clock::time_point deadline) {
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

}  // namespace winmm

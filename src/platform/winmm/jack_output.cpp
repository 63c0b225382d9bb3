// The JACK backend, straight over libjack. RtMidi's JACK output gives no way
// to know when its queue has gone out (its close can drop a burst just sent),
// has no shutdown handler and spins forever once its queue fills after the
// server died.
//
// Here the process has one client, "Velmora", opened at the first listing and
// kept while its server runs: it lists the ports and owns one output port,
// "Velmora:output", registered before the client is activated. Registering and
// unregistering ports on an active client races with libjack's own process
// thread (the process crashed in about one of three runs of 1,000 opens), so
// the port stays for the client's life and an open output only borrows it,
// with a queue and counters of its own. Velmora opens one output at a time. The process callback
// moves the queues into the port buffers; close waits until the receivers have had what was sent; a
// dead or stalled server makes sends drop and waits end.
#include "output_backends.h"

#include "device_names.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace winmm {

namespace {

using Clock = std::chrono::steady_clock;

const char kClientName[] = "Velmora";
const char kPortName[] = "output";

// A queued message: its size, then its three bytes. The callback takes only
// whole records, so it never sees half of one still being written.
constexpr size_t kRecordSize = 4;
// About 16,000 messages: several periods' worth (a period takes about 2,700).
constexpr size_t kQueueBytes = 64 * 1024;

// How long a send waits for room in a full queue while the server runs.
constexpr auto kFullQueueWait = std::chrono::milliseconds(100);
// How long close and open wait for a process cycle before taking the server
// for stalled, and how long they wait at most.
constexpr auto kCycleWait = std::chrono::milliseconds(500);
constexpr auto kLongestWait = std::chrono::seconds(2);
// Cycles that must complete after the one that wrote the last message before
// the port goes: the receivers run after this client in that cycle, and on a
// server without realtime scheduling may still be running when the next
// cycle starts.
constexpr uint64_t kSettleCycles = 2;
constexpr auto kPollInterval = std::chrono::microseconds(250);

}  // namespace

struct JackClient;

struct JackOutput {
    JackClient* owner = nullptr;
    // The client's port, borrowed while the output is open.
    jack_port_t* port = nullptr;
    jack_ringbuffer_t* queue = nullptr;
    // Messages queued by the sender and moved into the port buffer by the
    // process callback, and the cycle in which it last moved some.
    std::atomic<uint64_t> queued{0};
    std::atomic<uint64_t> delivered{0};
    std::atomic<uint64_t> lastDeliveryCycle{0};
    // The sender's own: the cycle count at which a full queue was last given
    // up on; sends drop at once until another cycle has run.
    uint64_t stalledAtCycle = UINT64_MAX;
};

struct JackClient {
    jack_client_t* client = nullptr;
    // Set from libjack's thread when the server goes.
    std::atomic<bool> serverGone{false};
    // Cycles the process callback has completed.
    std::atomic<uint64_t> cycles{0};
    jack_port_t* port = nullptr;
    // The open output, as the process callback sees it.
    std::atomic<JackOutput*> open{nullptr};
    // Outputs closed while the callback could not be seen to let go of them:
    // freed with the client.
    std::vector<JackOutput*> retired;
    // Set when a wait saw no cycle for kCycleWait: the server may have put
    // the client out of its graph (it does so with clients that run late).
    // Such a client is not used for new outputs.
    bool stalled = false;
    // No longer the process's client; closed when its open output is.
    bool detached = false;
};

namespace {

// The client for listing and new outputs; null while no server answered.
JackClient* current = nullptr;

void Ignore(const char*) {}

// libjack prints "Cannot connect to server socket..." and more when no
// server runs; a machine without JACK hears nothing of it.
//
// libjack binds each client's notification socket to a path made of the
// client's name alone, whatever the server, so two processes that open a
// client of the same name at the same moment (two programs on two servers)
// can make one of the opens fail. Such a failure passes; a missing server is
// not waited for.
jack_client_t* OpenClient(const char* name) {
    jack_set_error_function(Ignore);
    jack_set_info_function(Ignore);
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        jack_status_t status;
        jack_client_t* client = jack_client_open(name, JackNoStartServer, &status);
        if (client != nullptr || (status & JackServerFailed) != 0 || attempt == kAttempts) {
            return client;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10 * attempt));
    }
}

// When an open fails by an exception inside libjack (as such a clash can
// make it), libjack keeps its global open lock, and every later open and
// close of the process waits for it forever. So opens and closes run on a
// thread of their own and are waited for a bounded time; after one did not
// come back, this backend makes no more calls that take that lock.
constexpr auto kLibraryWait = std::chrono::seconds(2);
std::atomic<bool> libraryStuck{false};

// Runs call() on its own thread; false (and the library taken for stuck)
// when it did not return within kLibraryWait. abandoned(result) runs on that
// thread should the call return after all.
template <typename Result, typename Call, typename Abandoned>
bool CallBounded(Result& result, Call call, Abandoned abandoned) {
    struct Shared {
        std::mutex lock;
        std::condition_variable returned;
        bool done = false;
        bool waitedFor = true;
        Result result{};
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call, abandoned] {
        Result result = call();
        std::unique_lock<std::mutex> lock(shared->lock);
        if (!shared->waitedFor) {
            lock.unlock();
            abandoned(result);
            return;
        }
        shared->result = result;
        shared->done = true;
        shared->returned.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->lock);
    if (!shared->returned.wait_for(lock, kLibraryWait, [&] { return shared->done; })) {
        shared->waitedFor = false;
        libraryStuck.store(true);
        return false;
    }
    result = shared->result;
    return true;
}

// Null when no client could be opened in time.
jack_client_t* OpenClientBounded(const char* name) {
    if (libraryStuck.load()) {
        return nullptr;
    }
    jack_client_t* client = nullptr;
    CallBounded(
        client, [name] { return OpenClient(name); },
        [](jack_client_t* late) {
            if (late != nullptr) {
                jack_client_close(late);
            }
        });
    return client;
}

// False when the close did not return in time; the client may then still
// call back, so what its callbacks use must stay.
bool CloseClientBounded(jack_client_t* client) {
    if (libraryStuck.load()) {
        return false;
    }
    int result = 0;
    return CallBounded(
        result, [client] { return jack_client_close(client); }, [](int) {});
}

int Process(jack_nframes_t frames, void* argument) {
    JackClient& client = *static_cast<JackClient*>(argument);
    const uint64_t cycle = client.cycles.load(std::memory_order_relaxed) + 1;
    // Cleared in every cycle, open or not: a port buffer keeps what was last
    // written to it, and anyone still connected would get it again.
    void* buffer = jack_port_get_buffer(client.port, frames);
    jack_midi_clear_buffer(buffer);
    JackOutput* output = client.open.load(std::memory_order_acquire);
    if (output != nullptr) {
        uint64_t moved = 0;
        unsigned char record[kRecordSize];
        while (jack_ringbuffer_read_space(output->queue) >= kRecordSize) {
            jack_ringbuffer_peek(output->queue, reinterpret_cast<char*>(record), kRecordSize);
            // A full port buffer keeps the rest for the next cycle.
            if (jack_midi_event_write(buffer, 0, record + 1, record[0]) != 0) {
                break;
            }
            jack_ringbuffer_read_advance(output->queue, kRecordSize);
            ++moved;
        }
        if (moved > 0) {
            output->lastDeliveryCycle.store(cycle, std::memory_order_release);
            output->delivered.fetch_add(moved, std::memory_order_release);
        }
    }
    client.cycles.store(cycle, std::memory_order_release);
    return 0;
}

void OnShutdown(void* argument) {
    static_cast<JackClient*>(argument)->serverGone.store(true);
}

// Waits until done() holds; false when the server went, no cycle ran for
// kCycleWait, or kLongestWait has passed (then the client counts as stalled).
template <typename Condition>
bool WaitForCycles(JackClient& client, Condition done) {
    uint64_t seenCycles = client.cycles.load(std::memory_order_acquire);
    Clock::time_point progress = Clock::now();
    const Clock::time_point deadline = progress + kLongestWait;
    while (!done()) {
        if (client.serverGone.load() || client.stalled) {
            return false;
        }
        const uint64_t cycles = client.cycles.load(std::memory_order_acquire);
        if (cycles != seenCycles) {
            seenCycles = cycles;
            progress = Clock::now();
        } else if (Clock::now() - progress > kCycleWait || Clock::now() > deadline) {
            client.stalled = true;
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

// Waits until no process callback can still hold the output just taken out; false when that cannot
// be seen. Callbacks run one at a time, so only one may have taken it before, and it ends by
// counting its cycle.
bool WaitUntilUnseen(JackClient& client) {
    const uint64_t start = client.cycles.load(std::memory_order_acquire);
    return WaitForCycles(client,
                         [&] { return client.cycles.load(std::memory_order_acquire) > start; });
}

void FreeOutput(JackOutput* output) {
    if (output->queue != nullptr) {
        jack_ringbuffer_free(output->queue);
    }
    delete output;
}

// Closes the client; its callbacks then no longer run, and what they used
// goes with it. Kept (leaked) when the close did not come back.
void CloseClient(JackClient* client) {
    if (client->client != nullptr && !CloseClientBounded(client->client)) {
        return;
    }
    for (JackOutput* output : client->retired) {
        FreeOutput(output);
    }
    delete client;
}

JackClient* NewClient() {
    auto* client = new JackClient;
    client->client = OpenClientBounded(kClientName);
    if (client->client == nullptr) {
        delete client;
        return nullptr;
    }
    jack_on_shutdown(client->client, OnShutdown, client);
    client->port =
        jack_port_register(client->client, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (client->port == nullptr ||
        jack_set_process_callback(client->client, Process, client) != 0 ||
        jack_activate(client->client) != 0) {
        CloseClient(client);
        return nullptr;
    }
    return client;
}

// The process's client on the server that runs now; null when none answers.
// A client whose server went, or that stalled, is let go of (closed once its
// last output is).
JackClient* CurrentClient() {
    if (current != nullptr && (current->serverGone.load() || current->stalled)) {
        if (current->open.load() == nullptr) {
            CloseClient(current);
        } else {
            current->detached = true;
        }
        current = nullptr;
    }
    if (current == nullptr) {
        current = NewClient();
    }
    return current;
}

// Takes the output out of its client and frees it, or keeps it for the
// client to free when the callback cannot be seen to have let go of it.
void RemoveOutput(JackOutput* output) {
    JackClient& client = *output->owner;
    // The next output on this port must reach only where it connects.
    if (!client.serverGone.load()) {
        jack_port_disconnect(client.client, output->port);
    }
    client.open.store(nullptr, std::memory_order_release);
    if (WaitUntilUnseen(client)) {
        FreeOutput(output);
    } else {
        client.retired.push_back(output);
    }
    if (client.detached) {
        CloseClient(&client);
    }
}

// An output on the current client's port, seen by the process callback, not
// yet connected anywhere. Null when there is no server or the port is in use.
JackOutput* NewOutput() {
    JackClient* client = CurrentClient();
    if (client == nullptr || client->open.load() != nullptr) {
        return nullptr;
    }
    auto* output = new JackOutput;
    output->owner = client;
    output->port = client->port;
    output->queue = jack_ringbuffer_create(kQueueBytes);
    if (output->queue == nullptr) {
        FreeOutput(output);
        return nullptr;
    }
    client->open.store(output, std::memory_order_release);
    return output;
}

}  // namespace

bool ListJackPorts(std::vector<PortEntry>& ports) {
    ports.clear();
    JackClient* client = CurrentClient();
    if (client == nullptr) {
        return false;
    }
    // Velmora's own ports are outputs, so every input port belongs to
    // another client.
    const char** names =
        jack_get_ports(client->client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (names != nullptr) {
        for (const char** name = names; *name != nullptr; ++name) {
            ports.push_back({ShortenFromLeft(*name), *name});
        }
        jack_free(names);
    }
    return true;
}

namespace {

JackOutput* ConnectedOutput(const std::string& portName) {
    JackOutput* output = NewOutput();
    if (output == nullptr) {
        return nullptr;
    }
    JackClient& client = *output->owner;
    if (jack_connect(client.client, jack_port_name(output->port), portName.c_str()) != 0) {
        RemoveOutput(output);
        return nullptr;
    }
    // The connection joins the graph at the start of a later cycle, later
    // still while clients run late; messages written before that would go
    // nowhere. Wait until the graph in use shows it and a cycle has run since.
    const uint64_t start = client.cycles.load(std::memory_order_acquire);
    bool connected = false;
    uint64_t connectedAt = 0;
    if (!WaitForCycles(client, [&] {
            const uint64_t cycles = client.cycles.load(std::memory_order_acquire);
            if (!connected) {
                connected = jack_port_connected(output->port) > 0;
                connectedAt = cycles;
                return false;
            }
            return cycles > connectedAt && cycles >= start + kSettleCycles;
        })) {
        RemoveOutput(output);
        return nullptr;
    }
    return output;
}

}  // namespace

JackOutput* OpenJackPort(const std::string& portName) {
    // A client that stalled is replaced by a new one, which gets one try.
    JackOutput* output = ConnectedOutput(portName);
    if (output == nullptr && current != nullptr && current->stalled) {
        output = ConnectedOutput(portName);
    }
    return output;
}

JackOutput* OpenJackVirtualPort() {
    return NewOutput();
}

void SendJack(JackOutput* output, const MidiBytes& message) {
    JackClient& client = *output->owner;
    if (client.serverGone.load()) {
        return;
    }
    const unsigned char record[kRecordSize] = {static_cast<unsigned char>(message.size),
                                               message.data[0], message.data[1], message.data[2]};
    if (jack_ringbuffer_write_space(output->queue) < kRecordSize) {
        if (client.cycles.load(std::memory_order_acquire) == output->stalledAtCycle) {
            return;
        }
        const Clock::time_point deadline = Clock::now() + kFullQueueWait;
        while (jack_ringbuffer_write_space(output->queue) < kRecordSize) {
            if (client.serverGone.load() || Clock::now() > deadline) {
                output->stalledAtCycle = client.cycles.load(std::memory_order_acquire);
                return;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    jack_ringbuffer_write(output->queue, reinterpret_cast<const char*>(record), kRecordSize);
    output->queued.fetch_add(1, std::memory_order_release);
}

void CloseJack(JackOutput* output) {
    JackClient& client = *output->owner;
    const uint64_t queued = output->queued.load(std::memory_order_acquire);
    WaitForCycles(client, [&] {
        return output->delivered.load(std::memory_order_acquire) == queued &&
               client.cycles.load(std::memory_order_acquire) >=
                   output->lastDeliveryCycle.load(std::memory_order_acquire) + kSettleCycles;
    });
    RemoveOutput(output);
}

}  // namespace winmm

// jack_receiver: a JACK MIDI input port that prints every message it gets.
//
//   jack_receiver [-s SERVER] [-n CLIENT] [-p PORT] [-t]
//
//   -s SERVER  the JACK server's name (default: $JACK_DEFAULT_SERVER, else
//              the default server); the server is never started
//   -n CLIENT  client name, taken exactly (default "velmora-receiver")
//   -p PORT    input port name (default "input"); the port is CLIENT:PORT
//   -t         lead each message's line with its arrival time: the
//              CLOCK_MONOTONIC nanoseconds at which its process cycle ran
//
// Standard output, one line each, flushed at once:
//   ready CLIENT:PORT     once the port exists and takes messages
//   B2 4A 64              one message: its bytes, upper-case hex, blank-separated
//   123456789 B2 4A 64    the same with -t
//   lost N                N messages did not fit its own queue (never expected)
//   xrun N                the server has reported N xruns so far: cycles in
//                         which some client ran late, whose messages may be lost
//   xrun N 123456789      the same with -t, with the CLOCK_MONOTONIC
//                         nanoseconds at which the latest of them was reported
//   server gone           the server stopped; the program then exits with 3
//
// SIGTERM or SIGINT: prints what is still queued and exits with 0. Exit 2 on
// bad arguments, 1 when the client or port cannot be made.
//
// Example, with a server from jack-server.sh:
//   jack_receiver -s velmora-test-123 -n synth | while read -r line; do ...; done
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

// A queued message: arrival time, size, bytes (at most kMaximumBytes of them;
// the rest of a longer System Exclusive message is not shown).
constexpr size_t kMaximumBytes = 32;
struct Record {
    uint64_t nanoseconds;
    uint32_t size;
    unsigned char bytes[kMaximumBytes];
};

jack_port_t* inputPort = nullptr;
jack_ringbuffer_t* queue = nullptr;
std::atomic<uint64_t> lostMessages{0};
std::atomic<uint64_t> xruns{0};
// Written by the notification thread before xruns counts it.
std::atomic<uint64_t> lastXrunNanoseconds{0};
std::atomic<bool> serverGone{false};
volatile std::sig_atomic_t stopRequested = 0;

uint64_t MonotonicNanoseconds() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

int Process(jack_nframes_t frames, void*) {
    void* buffer = jack_port_get_buffer(inputPort, frames);
    const uint64_t now = MonotonicNanoseconds();
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0) {
            continue;
        }
        Record record;
        record.nanoseconds = now;
        record.size =
            static_cast<uint32_t>(event.size < kMaximumBytes ? event.size : kMaximumBytes);
        std::memcpy(record.bytes, event.buffer, record.size);
        if (jack_ringbuffer_write_space(queue) < sizeof record) {
            lostMessages.fetch_add(1);
            continue;
        }
        jack_ringbuffer_write(queue, reinterpret_cast<const char*>(&record), sizeof record);
    }
    return 0;
}

int OnXrun(void*) {
    lastXrunNanoseconds.store(MonotonicNanoseconds());
    xruns.fetch_add(1);
    return 0;
}

void OnShutdown(void*) {
    serverGone.store(true);
}

void IgnoreJackMessage(const char*) {}

void OnSignal(int) {
    stopRequested = 1;
}

// Prints every queued message; false when there was none.
bool PrintQueued(bool timestamps) {
    bool printed = false;
    Record record;
    while (jack_ringbuffer_read_space(queue) >= sizeof record) {
        jack_ringbuffer_read(queue, reinterpret_cast<char*>(&record), sizeof record);
        if (timestamps) {
            std::printf("%llu ", static_cast<unsigned long long>(record.nanoseconds));
        }
        for (uint32_t i = 0; i < record.size; ++i) {
            std::printf(i == 0 ? "%02X" : " %02X", record.bytes[i]);
        }
        std::putchar('\n');
        printed = true;
    }
    static uint64_t reportedXruns = 0;
    const uint64_t xrunCount = xruns.load();
    if (xrunCount != reportedXruns) {
        std::printf("xrun %llu", static_cast<unsigned long long>(xrunCount));
        if (timestamps) {
            std::printf(" %llu", static_cast<unsigned long long>(lastXrunNanoseconds.load()));
        }
        std::putchar('\n');
        reportedXruns = xrunCount;
        printed = true;
    }
    static uint64_t reportedLost = 0;
    const uint64_t lost = lostMessages.load();
    if (lost != reportedLost) {
        std::printf("lost %llu\n", static_cast<unsigned long long>(lost - reportedLost));
        reportedLost = lost;
        printed = true;
    }
    if (printed) {
        std::fflush(stdout);
    }
    return printed;
}

int Usage(const char* program) {
    std::fprintf(stderr, "usage: %s [-s SERVER] [-n CLIENT] [-p PORT] [-t]\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string server;
    std::string clientName = "velmora-receiver";
    std::string portName = "input";
    bool timestamps = false;
    int option;
    while ((option = getopt(argc, argv, "s:n:p:t")) != -1) {
        switch (option) {
            case 's':
                server = optarg;
                break;
            case 'n':
                clientName = optarg;
                break;
            case 'p':
                portName = optarg;
                break;
            case 't':
                timestamps = true;
                break;
            default:
                return Usage(argv[0]);
        }
    }
    if (optind != argc) {
        return Usage(argv[0]);
    }

    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    // Room for about 20,000 messages between two looks of the main loop.
    queue = jack_ringbuffer_create(1 << 20);
    jack_status_t status;
    const int options =
        JackNoStartServer | JackUseExactName | (server.empty() ? 0 : JackServerName);
    jack_client_t* client = jack_client_open(
        clientName.c_str(), static_cast<jack_options_t>(options), &status, server.c_str());
    if (client == nullptr) {
        std::fprintf(stderr, "jack_receiver: cannot open client '%s' (status 0x%x)\n",
                     clientName.c_str(), static_cast<unsigned>(status));
        return 1;
    }
    jack_on_shutdown(client, OnShutdown, nullptr);
    jack_set_xrun_callback(client, OnXrun, nullptr);
    inputPort =
        jack_port_register(client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (inputPort == nullptr || jack_set_process_callback(client, Process, nullptr) != 0 ||
        jack_activate(client) != 0) {
        std::fprintf(stderr, "jack_receiver: cannot make port '%s'\n", portName.c_str());
        jack_client_close(client);
        return 1;
    }
    // From here on the lines above tell what happens; libjack's own
    // complaints when the server goes ("Cannot read socket...") add nothing.
    jack_set_error_function(IgnoreJackMessage);
    std::printf("ready %s\n", jack_port_name(inputPort));
    std::fflush(stdout);

    while (stopRequested == 0 && !serverGone.load()) {
        if (!PrintQueued(timestamps)) {
            usleep(500);
        }
    }
    PrintQueued(timestamps);
    if (serverGone.load()) {
        std::printf("server gone\n");
        std::fflush(stdout);
        return 3;
    }
    jack_client_close(client);
    jack_ringbuffer_free(queue);
    return 0;
}

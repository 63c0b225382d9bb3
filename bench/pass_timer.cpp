// Times Randomize passes end to end: opens the output listed under a name,
// reads the benchmarks' instrument configuration of the given size, and runs
// passes with a pause between them, printing for each the CLOCK_MONOTONIC
// nanoseconds at which the pass started and returned. A jack_receiver -t on
// the same port stamps each arrival with the same clock; bench/report.py
// pairs them.
//
//   velmora_pass_timer OUTPUT PARAMETERS PASSES PAUSE_MS
//
// Output: "configuration PATH" (the file read, for the Python peer to read
// too), "ready NS" once the port is open, "pass I START_NS END_NS" per pass,
// "close NS_TAKEN" at the end. Exit 1 when the output cannot be opened.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench_data.h"
#include "config/configuration.h"
#include "midi_devices.h"
#include "randomize/randomize.h"

namespace {

unsigned long long Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<unsigned long long>(now.tv_sec) * 1000000000ull +
           static_cast<unsigned long long>(now.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s OUTPUT PARAMETERS PASSES PAUSE_MS\n", argv[0]);
        return 2;
    }
    const std::string configuration =
        InstrumentConfigurationFile(static_cast<size_t>(std::atoi(argv[2])));
    std::ifstream file(configuration, std::ios::binary);
    ReadConfiguration(file, ParameterList);
    std::printf("configuration %s\n", configuration.c_str());
    HMIDIOUT handle = OpenOutputDevice(argv[1]);
    if (handle == nullptr) {
        std::fprintf(stderr, "cannot open output '%s'\n", argv[1]);
        return 1;
    }
    const int passes = std::atoi(argv[3]);
    const useconds_t pause = static_cast<useconds_t>(std::atoi(argv[4])) * 1000;
    std::printf("ready %llu\n", Now());
    for (int pass = 0; pass < passes; ++pass) {
        const unsigned long long start = Now();
        RandomizeAll(handle, 0);
        const unsigned long long end = Now();
        std::printf("pass %d %llu %llu\n", pass, start, end);
        usleep(pause);
    }
    const unsigned long long closeStart = Now();
    midiOutClose(handle);
    std::printf("close %llu\n", Now() - closeStart);
    for (Parameter* p : ParameterList) {
        delete p;
    }
    return 0;
}

// The software time of one Control Change through the real MIDI service:
// RandomInRange, packing, and the hand-off to JACK or to the monitor. The
// JACK output is the receiver port named by VELMORA_BENCH_JACK_PORT on the
// server named by JACK_DEFAULT_SERVER (bench/run-bench starts both). And the
// output list as the dialog takes it; bench/run-bench times that where
// neither MIDI API answers.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <list>
#include <string>
#include <thread>

#include "bench_data.h"
#include "config/configuration.h"
#include "midi_devices.h"
#include "randomize/randomize.h"

namespace {

const char kMonitorName[] = "Monitor (standard output)";
constexpr int kParameters = 128;

// The 128-parameter configuration in ParameterList for as long as it lives.
struct Configuration128 {
    Configuration128() {
        std::ifstream file(InstrumentConfigurationFile(kParameters), std::ios::binary);
        ReadConfiguration(file, ParameterList);
    }
    ~Configuration128() {
        for (Parameter* p : ParameterList) {
            delete p;
        }
        ParameterList.clear();
    }
};

// Timed Randomize passes; between two passes, untimed, a pause of more than
// two JACK periods lets the queue drain, so a pass never waits for room and
// only the program's and the service's own work is measured.
void TimePasses(benchmark::State& state, HMIDIOUT handle, std::chrono::milliseconds pause) {
    Configuration128 configuration;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        RandomizeAll(handle, 2);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        std::this_thread::sleep_for(pause);
    }
    // items_per_second counts Control Changes.
    state.SetItemsProcessed(state.iterations() * kParameters);
}

void BM_PassToJack(benchmark::State& state) {
    const char* port = std::getenv("VELMORA_BENCH_JACK_PORT");
    HMIDIOUT handle = port != nullptr ? OpenOutputDevice(port) : nullptr;
    if (handle == nullptr) {
        state.SkipWithError("no JACK receiver: set VELMORA_BENCH_JACK_PORT (bench/run-bench does)");
        return;
    }
    TimePasses(state, handle, std::chrono::milliseconds(15));
    midiOutClose(handle);
}
BENCHMARK(BM_PassToJack)->UseManualTime()->Iterations(400)->Unit(benchmark::kMicrosecond);

// The monitor writes a line per message to standard output; here that goes
// to /dev/null, so the figure is formatting and the write itself.
void BM_PassToMonitor(benchmark::State& state) {
    HMIDIOUT handle = OpenOutputDevice(kMonitorName);
    if (handle == nullptr) {
        state.SkipWithError("the monitor output is not listed");
        return;
    }
    std::fflush(stdout);
    const int savedOutput = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    close(devNull);
    TimePasses(state, handle, std::chrono::milliseconds(0));
    midiOutClose(handle);
    dup2(savedOutput, STDOUT_FILENO);
    close(savedOutput);
}
BENCHMARK(BM_PassToMonitor)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// A new list: every count that does not follow a capabilities query takes
// one, and looks again for an API that was missing.
void BM_NewList(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(midiOutGetNumDevs());
    }
}
BENCHMARK(BM_NewList)->Unit(benchmark::kMicrosecond);

// One turn of the dialog's listing: a device's capabilities, then the count
// again, which keeps the list.
void BM_ListingTurn(benchmark::State& state) {
    MIDIOUTCAPSA caps;
    midiOutGetNumDevs();
    for (auto _ : state) {
        benchmark::DoNotOptimize(midiOutGetDevCapsA(0, &caps, sizeof caps));
        benchmark::DoNotOptimize(midiOutGetNumDevs());
    }
}
BENCHMARK(BM_ListingTurn)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

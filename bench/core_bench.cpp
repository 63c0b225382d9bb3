// The program's own work, without any MIDI service: reading configurations,
// drawing values, packing Control Changes, and a whole Randomize pass handed
// to a midiOutShortMsg that only counts.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <fstream>
#include <list>
#include <sstream>
#include <string>

#include "bench_data.h"
#include "config/configuration.h"
#include "randomize/random_generator.h"
#include "randomize/randomize.h"

namespace {

void FreeAll(std::list<Parameter*>& parameters) {
    for (Parameter* p : parameters) {
        delete p;
    }
    parameters.clear();
}

// Reads a configuration file as LoadConfiguration does (binary stream, the
// reader's own text rules). With firstRead the freed heap is handed back to
// the system after each read, so every read pays for fresh pages as the
// program's one read at start does.
void ReadFile(benchmark::State& state, const std::string& path, bool firstRead) {
    size_t parameters = 0;
    size_t heapBytes = 0;
    for (auto _ : state) {
        std::list<Parameter*> list;
        const size_t heapBefore = mallinfo2().uordblks;
        std::ifstream file(path, std::ios::in | std::ios::binary);
        ReadConfiguration(file, list);
        state.PauseTiming();
        heapBytes = mallinfo2().uordblks - heapBefore;
        parameters = list.size();
        FreeAll(list);
        if (firstRead) {
            malloc_trim(0);
        }
        state.ResumeTiming();
    }
    const size_t bytes = FileSize(path);
    state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
    state.counters["lines/s"] = benchmark::Counter(
        static_cast<double>(parameters * state.iterations()), benchmark::Counter::kIsRate);
    state.counters["parameters"] = static_cast<double>(parameters);
    state.counters["heap_bytes_per_parameter"] =
        parameters == 0 ? 0.0 : static_cast<double>(heapBytes) / static_cast<double>(parameters);
}

void BM_ReadConfiguration(benchmark::State& state) {
    ReadFile(state, GeneratedConfigurationFile(static_cast<size_t>(state.range(0))), false);
}
BENCHMARK(BM_ReadConfiguration)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_ReadConfigurationFirstRead(benchmark::State& state) {
    ReadFile(state, GeneratedConfigurationFile(static_cast<size_t>(state.range(0))), true);
}
BENCHMARK(BM_ReadConfigurationFirstRead)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Hostile input: megabytes of random bytes with every Ctrl-Z taken out, so
// the whole file is read (long lines, NULs, CRs and all).
void BM_ReadRandomBytes(benchmark::State& state) {
    ReadFile(state, RandomBytesFile(static_cast<size_t>(state.range(0)) << 20, false), false);
}
BENCHMARK(BM_ReadRandomBytes)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// Plain random bytes: the first Ctrl-Z, a few hundred bytes in, ends the file.
void BM_ReadRandomBytesWithControlZ(benchmark::State& state) {
    ReadFile(state, RandomBytesFile(static_cast<size_t>(state.range(0)) << 20, true), false);
}
BENCHMARK(BM_ReadRandomBytesWithControlZ)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_RandomInRange(benchmark::State& state) {
    int32_t minimum = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(RandomInRange(minimum, 127));
        minimum = (minimum + 1) & 63;
    }
}
BENCHMARK(BM_RandomInRange);

void BM_PackControlChange(benchmark::State& state) {
    int32_t value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PackControlChange(2, 74, value));
        value = (value + 1) & 127;
    }
}
BENCHMARK(BM_PackControlChange);

// A Randomize pass over 128 parameters into a midiOutShortMsg that only
// counts: the program's own share of every Control Change.
void BM_RandomizePassNoService(benchmark::State& state) {
    std::list<Parameter*> parameters;
    std::ifstream file(InstrumentConfigurationFile(static_cast<size_t>(state.range(0))),
                       std::ios::in | std::ios::binary);
    ReadConfiguration(file, parameters);
    ParameterList.swap(parameters);
    for (auto _ : state) {
        RandomizeAll(reinterpret_cast<HMIDIOUT>(1), 2);
    }
    ParameterList.swap(parameters);
    FreeAll(parameters);
    // items_per_second counts Control Changes.
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RandomizePassNoService)->Arg(128);

}  // namespace

// The service stand-in for the pass above: counts, sends nothing.
namespace {
volatile DWORD lastMessage;
}
MMRESULT WINAPI midiOutShortMsg(HMIDIOUT, DWORD message) {
    lastMessage = message;
    return MMSYSERR_NOERROR;
}

BENCHMARK_MAIN();

// The configuration files the benchmarks read, written once per run into the
// folder named by VELMORA_BENCH_DATA (bench/run-bench sets it, so that
// `wc -l` can be timed on the very same files), or a temporary folder.
#ifndef VELMORA_BENCH_BENCH_DATA_H
#define VELMORA_BENCH_BENCH_DATA_H

#include <cstddef>
#include <string>

// A configuration of parameter lines like a musician's, "P0000042 42 7 126":
// label, controller, minimum, maximum. Returns its path.
std::string GeneratedConfigurationFile(size_t lines);

// A configuration as a musician writes it for an instrument: controllers
// 0 to 127, ranges inside 0 to 127 with minimum below maximum. Returns its
// path.
std::string InstrumentConfigurationFile(size_t parameters);

// Random bytes from a fixed seed; without Ctrl-Z (which would end the file
// at once) unless keepControlZ. Returns its path.
std::string RandomBytesFile(size_t bytes, bool keepControlZ);

size_t FileSize(const std::string& path);

#endif

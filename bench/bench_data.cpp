#include "bench_data.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

namespace {

std::string DataFolder() {
    static std::string folder;
    if (folder.empty()) {
        const char* given = std::getenv("VELMORA_BENCH_DATA");
        if (given != nullptr && *given != '\0') {
            folder = given;
            mkdir(folder.c_str(), 0755);
        } else {
            char pattern[] = "/tmp/velmora-bench-XXXXXX";
            folder = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        }
    }
    return folder;
}

bool Exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

}  // namespace

size_t FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
}

std::string GeneratedConfigurationFile(size_t lines) {
    const std::string path = DataFolder() + "/lines-" + std::to_string(lines) + ".cfg";
    if (Exists(path)) {
        return path;
    }
    std::ofstream file(path, std::ios::binary);
    char line[64];
    for (size_t i = 0; i < lines; ++i) {
        const int length = std::snprintf(line, sizeof line, "P%07zu %zu %zu %zu\n", i, i % 128,
                                         i * 7 % 128, i * 13 % 256);
        file.write(line, length);
    }
    return path;
}

std::string InstrumentConfigurationFile(size_t parameters) {
    const std::string path = DataFolder() + "/instrument-" + std::to_string(parameters) + ".cfg";
    if (Exists(path)) {
        return path;
    }
    std::ofstream file(path, std::ios::binary);
    file << "# " << parameters << " sound parameters\n";
    char line[64];
    for (size_t i = 0; i < parameters; ++i) {
        const int length = std::snprintf(line, sizeof line, "Parameter%03zu %zu %zu %zu\n", i,
                                         i % 128, i * 5 % 60, 64 + i * 7 % 64);
        file.write(line, length);
    }
    return path;
}

std::string RandomBytesFile(size_t bytes, bool keepControlZ) {
    const std::string path = DataFolder() + "/random-" + std::to_string(bytes) +
                             (keepControlZ ? "" : "-no-ctrl-z") + ".bin";
    if (Exists(path)) {
        return path;
    }
    std::ofstream file(path, std::ios::binary);
    std::mt19937_64 generator(bytes);
    std::string block(1 << 16, '\0');
    for (size_t done = 0; done < bytes; done += block.size()) {
        for (size_t i = 0; i < block.size(); i += 8) {
            const uint64_t word = generator();
            for (size_t k = 0; k < 8; ++k) {
                char c = static_cast<char>(word >> (8 * k));
                block[i + k] = !keepControlZ && c == 0x1A ? 0x1B : c;
            }
        }
        file.write(block.data(),
                   static_cast<std::streamsize>(std::min(block.size(), bytes - done)));
    }
    return path;
}

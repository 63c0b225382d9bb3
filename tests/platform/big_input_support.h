// Large configurations held in memory, read without copying, with the heap
// and the clock measured around the read.
#ifndef VELMORA_TESTS_PLATFORM_BIG_INPUT_SUPPORT_H
#define VELMORA_TESTS_PLATFORM_BIG_INPUT_SUPPORT_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <istream>
#include <list>
#include <random>
#include <streambuf>
#include <string>

#include "config/configuration.h"

#ifdef __SANITIZE_ADDRESS__
// From the sanitizer runtime's allocator interface (GCC ships no header).
extern "C" size_t __sanitizer_get_current_allocated_bytes(void);
#else
#include <malloc.h>
#endif

// Bytes of heap memory in use by small allocations (the records and list
// nodes; big blocks such as the input text are mapped and not counted).
// Under the address sanitizer glibc's allocator is not used, so its own count
// is taken.
inline size_t HeapBytesInUse() {
#ifdef __SANITIZE_ADDRESS__
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

// A stream over bytes already in memory: a 100 MB input is not copied again.
struct MemoryFile : std::streambuf {
    explicit MemoryFile(const std::string& bytes) {
        char* begin = const_cast<char*>(bytes.data());
        setg(begin, begin, begin + bytes.size());
    }
    // How many bytes the reader has taken from the stream.
    size_t Consumed() const { return static_cast<size_t>(gptr() - eback()); }
};

// The generated line of parameter number i: label "P0000042", controller
// i mod 128, minimum 7i mod 128, maximum 13i mod 256.
struct GeneratedParameter {
    std::string label;
    int controller;
    int minimum;
    int maximum;
};

inline GeneratedParameter GeneratedLine(size_t i) {
    char label[32];
    std::snprintf(label, sizeof label, "P%07zu", i);
    return {label, static_cast<int>(i % 128), static_cast<int>(i * 7 % 128),
            static_cast<int>(i * 13 % 256)};
}

// A configuration of the given number of parameter lines, LF line ends.
inline std::string GeneratedConfiguration(size_t lines) {
    std::string text;
    text.reserve(lines * 20);
    for (size_t i = 0; i < lines; ++i) {
        const GeneratedParameter p = GeneratedLine(i);
        text += p.label + ' ' + std::to_string(p.controller) + ' ' + std::to_string(p.minimum) +
                ' ' + std::to_string(p.maximum) + '\n';
    }
    return text;
}

// Random bytes from a fixed seed; with keepControlZ false every Ctrl-Z is
// replaced, so the reader has to go through the whole input.
inline std::string RandomBytes(size_t size, uint64_t seed, bool keepControlZ) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t word = generator();
        for (size_t k = 0; k < 8 && i + k < size; ++k) {
            char c = static_cast<char>(word >> (8 * k));
            if (!keepControlZ && c == 0x1A) {
                c = 0x1B;
            }
            bytes[i + k] = c;
        }
    }
    return bytes;
}

struct ReadResult {
    std::list<Parameter*> parameters;
    size_t consumed = 0;
    double seconds = 0;
    size_t heapBytes = 0;

    ReadResult() = default;
    ReadResult(const ReadResult&) = delete;
    ReadResult& operator=(const ReadResult&) = delete;
    ~ReadResult() {
        for (Parameter* p : parameters) {
            delete p;
        }
    }
};

// Reads bytes as a configuration file, timing the read and counting the heap
// memory that the parameters keep.
inline void ReadMeasured(const std::string& bytes, ReadResult& result) {
    MemoryFile file(bytes);
    std::istream stream(&file);
    const size_t heapBefore = HeapBytesInUse();
    const auto start = std::chrono::steady_clock::now();
    ReadConfiguration(stream, result.parameters);
    const auto end = std::chrono::steady_clock::now();
    result.heapBytes = HeapBytesInUse() - heapBefore;
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.consumed = file.Consumed();
}

inline size_t CountLines(const std::string& bytes) {
    size_t lines = 1;
    for (const char c : bytes) {
        lines += c == '\n' ? 1 : 0;
    }
    return lines;
}

#endif

// Configurations far beyond what a musician writes: a million lines, and
// megabytes of random bytes. They must load without a crash, in memory that
// grows in proportion to the input. How the time grows is the bench's
// (bench/report.py, "Ten times the input").
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>

#include "big_input_support.h"

namespace {

// Memory per parameter may differ between sizes only by allocator rounding.
constexpr double kMemoryPerParameterTolerance = 0.02;

void Report(const char* what, size_t bytes, const ReadResult& result) {
    const double perParameter = result.parameters.empty() ? 0.0
                                                          : static_cast<double>(result.heapBytes) /
                                                                result.parameters.size();
    std::printf("%s: %zu bytes, %zu parameters, %.3f s, %.1f MB/s, %.1f heap bytes per parameter\n",
                what, bytes, result.parameters.size(), result.seconds,
                static_cast<double>(bytes) / result.seconds / 1e6, perParameter);
}

// One read of a million lines (in CI under the sanitizers too), measured
// against a read of a tenth of them.
TEST(BigConfiguration, MillionLinesReadWholeInProportionalMemory) {
    const std::string small = GeneratedConfiguration(100000);
    const std::string big = GeneratedConfiguration(1000000);
    ReadResult smallResult;
    ReadMeasured(small, smallResult);
    ReadResult result;
    ReadMeasured(big, result);
    Report("100,000 lines", small.size(), smallResult);
    Report("1,000,000 lines", big.size(), result);

    ASSERT_EQ(smallResult.parameters.size(), 100000u);
    ASSERT_EQ(result.parameters.size(), 1000000u);
    EXPECT_EQ(result.consumed, big.size()) << "the reader stopped before the end of the file";
    // Spot checks across the whole list, first and last included.
    const size_t checked[] = {0, 1, 127, 128, 65535, 65536, 500000, 999998, 999999};
    auto it = result.parameters.begin();
    size_t at = 0;
    for (const size_t index : checked) {
        std::advance(it, static_cast<long>(index - at));
        at = index;
        const GeneratedParameter expected = GeneratedLine(index);
        const Parameter& read = **it;
        EXPECT_EQ(read.label, expected.label) << "line " << index;
        EXPECT_EQ(read.controller, expected.controller) << "line " << index;
        EXPECT_EQ(read.minimum, expected.minimum) << "line " << index;
        EXPECT_EQ(read.maximum, expected.maximum) << "line " << index;
    }

    const double smallPerParameter = static_cast<double>(smallResult.heapBytes) / 100000;
    const double bigPerParameter = static_cast<double>(result.heapBytes) / 1000000;
    EXPECT_NEAR(bigPerParameter, smallPerParameter,
                smallPerParameter * kMemoryPerParameterTolerance)
        << "heap bytes per parameter differ between 100,000 and 1,000,000 lines";
    // A record (label, three bytes) and one list node; a short label needs no
    // block of its own.
    EXPECT_GE(bigPerParameter, sizeof(Parameter) + 2 * sizeof(void*) + sizeof(Parameter*));
    EXPECT_LE(bigPerParameter, 128.0) << "more heap per parameter than a record and a list node";
}

// Random bytes hold a Ctrl-Z every 256 bytes or so, and the first one ends
// the file: however big the file, reading stops there.
TEST(HostileBytes, RandomFileEndsAtItsFirstControlZ) {
    const std::string bytes = RandomBytes(100u << 20, 20240601, true);
    const size_t controlZ = bytes.find('\x1A');
    ASSERT_NE(controlZ, std::string::npos);
    ReadResult result;
    ReadMeasured(bytes, result);
    Report("100 MB random bytes", bytes.size(), result);
    // The reader takes the file a 64 KiB block at a time: nothing past the
    // block that holds the Ctrl-Z is read.
    EXPECT_GE(result.consumed, controlZ + 1) << "first Ctrl-Z at byte " << controlZ;
    EXPECT_LE(result.consumed, controlZ + 65536) << "first Ctrl-Z at byte " << controlZ;
    EXPECT_LE(result.parameters.size(), CountLines(bytes.substr(0, controlZ)));
}

// With every Ctrl-Z taken out the reader goes through all of the bytes: long
// lines, NULs, CRs, '#'s and numbers of every shape.
struct RandomSize {
    size_t bytes;
    const char* name;
};

void PrintTo(const RandomSize& size, std::ostream* out) {
    *out << size.name;
}

class RandomBytesWithoutControlZ : public ::testing::TestWithParam<RandomSize> {};

TEST_P(RandomBytesWithoutControlZ, ReadToTheEndWithAtMostOneParameterPerLine) {
    const RandomSize size = GetParam();
    const std::string bytes = RandomBytes(size.bytes, size.bytes, false);
    ReadResult result;
    ReadMeasured(bytes, result);
    Report(size.name, bytes.size(), result);
    EXPECT_EQ(result.consumed, bytes.size()) << size.name << ": reading stopped early";
    EXPECT_GT(result.parameters.size(), 0u) << size.name;
    EXPECT_LE(result.parameters.size(), CountLines(bytes)) << size.name;
    for (const Parameter* p : result.parameters) {
        ASSERT_LE(p->label.size(), static_cast<size_t>(kMaximumLineLength)) << size.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, RandomBytesWithoutControlZ,
                         ::testing::Values(RandomSize{1u << 20, "1 MB"},
                                           RandomSize{16u << 20, "16 MB"}),
                         [](const auto& info) {
                             return std::to_string(info.param.bytes >> 20) + "MB";
                         });

TEST(HostileBytes, RandomBytesMemoryGrowsInProportionToTheSize) {
    const std::string small = RandomBytes(2u << 20, 1, false);
    const std::string big = RandomBytes(20u << 20, 2, false);
    ReadResult smallResult;
    ReadMeasured(small, smallResult);
    ReadResult bigResult;
    ReadMeasured(big, bigResult);
    Report("2 MB random bytes", small.size(), smallResult);
    Report("20 MB random bytes", big.size(), bigResult);

    // Labels of random lines vary in length, so memory is compared per byte
    // of input, which the label lengths follow on average.
    const double smallPerByte = static_cast<double>(smallResult.heapBytes) / small.size();
    const double bigPerByte = static_cast<double>(bigResult.heapBytes) / big.size();
    EXPECT_NEAR(bigPerByte, smallPerByte, smallPerByte * 0.05)
        << "heap per input byte differs between 2 MB and 20 MB";
}

}  // namespace

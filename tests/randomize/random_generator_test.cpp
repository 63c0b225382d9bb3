#include "randomize/random_generator.h"

#include <gtest/gtest.h>

#include <set>

#include "settable_tick_count.h"

namespace {

// Starts every test from a known seed, with the one-time seeding done.
class RandomGeneratorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SeedPending = false;
        RandomGenerator::Seed(1);
        ResetTickCountCalls();
    }
};

TEST_F(RandomGeneratorTest, StepsFromSeedOneGiveTheReferenceRawValues) {
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
    for (int32_t value : expected) {
        EXPECT_EQ(RandomGenerator::Step(), value);
    }
}

TEST_F(RandomGeneratorTest, DrawsFromSeedOneGiveTheReferenceValues) {
    EXPECT_EQ(RandomInRange(0, 127), 42);
    EXPECT_EQ(RandomInRange(0, 127), 53);
    EXPECT_EQ(RandomInRange(0, 127), 112);
}

TEST_F(RandomGeneratorTest, RawValuesStayWithin15BitsFromAnySeed) {
    for (uint32_t seed : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 123456789u}) {
        RandomGenerator::Seed(seed);
        for (int i = 0; i < 1000; ++i) {
            const int32_t raw = RandomGenerator::Step();
            ASSERT_TRUE(raw >= 0 && raw <= 32767) << "seed " << seed << " step " << i;
        }
    }
}

TEST_F(RandomGeneratorTest, EveryDrawAdvancesTheGeneratorByOneStep) {
    // Equal bounds need no randomness, yet still use up one step.
    EXPECT_EQ(RandomInRange(64, 64), 64);
    EXPECT_EQ(RandomInRange(0, 0), 0);
    EXPECT_EQ(RandomGenerator::Step(), 6334);
}

TEST_F(RandomGeneratorTest, ValuesCoverExactlyTheDocumentedSetForEachRange) {
    const struct {
        int32_t minimum, maximum;
        int32_t lowest, highest;
    } ranges[] = {
        {0, 127, 1, 127},     {0, 1, 1, 1},        {64, 64, 64, 64},   {0, 0, 0, 0},
        {255, 255, 255, 255}, {100, 50, 101, 150}, {255, 0, 256, 510}, {0, 255, 1, 255},
        {127, 0, 128, 254},   {1, 2, 2, 2},        {10, 20, 11, 20},
    };
    for (const auto& r : ranges) {
        std::set<int32_t> seen;
        for (int i = 0; i < 20000; ++i) {
            const int32_t value = RandomInRange(r.minimum, r.maximum);
            ASSERT_TRUE(value >= r.lowest && value <= r.highest)
                << "range " << r.minimum << " to " << r.maximum << " gave " << value;
            seen.insert(value);
        }
        EXPECT_EQ(seen.size(), static_cast<size_t>(r.highest - r.lowest + 1))
            << "range " << r.minimum << " to " << r.maximum << " did not give every value";
    }
}

TEST_F(RandomGeneratorTest, TheFirstDrawSeedsFromTheTickCountOnce) {
    SeedPending = true;
    SetTickCountValue(0xDEADBEEF);
    const int32_t first = RandomInRange(0, 127);
    const int32_t second = RandomInRange(0, 127);
    EXPECT_FALSE(SeedPending);
    EXPECT_EQ(TickCountCalls(), 1);

    RandomGenerator::Seed(0xDEADBEEF);
    EXPECT_EQ(first, RandomInRange(0, 127));
    EXPECT_EQ(second, RandomInRange(0, 127));
    EXPECT_EQ(TickCountCalls(), 1);
}

}  // namespace

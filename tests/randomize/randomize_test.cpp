#include "randomize/randomize.h"

#include <gtest/gtest.h>

#include <vector>

#include "config/configuration.h"
#include "randomize/random_generator.h"
#include "recording_midi_out.h"
#include "settable_tick_count.h"

namespace {

HMIDIOUT TestHandle() {
    return reinterpret_cast<HMIDIOUT>(0x1234);
}

int StatusOf(DWORD message) {
    return static_cast<int>(message & 0xFF);
}
int ValueOf(DWORD message) {
    return static_cast<int>((message >> 16) & 0xFF);
}

std::vector<int> SentValues() {
    std::vector<int> values;
    for (const SentMessage& sent : SentMessages()) {
        values.push_back(ValueOf(sent.message));
    }
    return values;
}

class RandomizeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearList();
        SentMessages().clear();
        SeedPending = false;
        RandomGenerator::Seed(1);
        ResetTickCountCalls();
    }
    void TearDown() override { ClearList(); }
    static void ClearList() {
        for (Parameter* p : ParameterList) {
            delete p;
        }
        ParameterList.clear();
    }
    static void Add(int controller, int minimum, int maximum) {
        Parameter* p = new Parameter;
        p->controller = static_cast<uint8_t>(controller);
        p->minimum = static_cast<uint8_t>(minimum);
        p->maximum = static_cast<uint8_t>(maximum);
        ParameterList.push_back(p);
    }
};

TEST(PackControlChangeTest, PutsStatusControllerAndValueFromTheLowByteUp) {
    const struct {
        int channel, controller, value;
        DWORD expected;
    } cases[] = {
        {2, 74, 100, 0x00644AB2},
        {0, 0, 0, 0x000000B0},
        {15, 127, 127, 0x007F7FBF},
        {9, 7, 1, 0x000107B9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PackControlChange(c.channel, c.controller, c.value), c.expected)
            << "channel " << c.channel << " controller " << c.controller << " value " << c.value;
    }
}

TEST(PackControlChangeTest, NeverPutsAStatusByteIntoADataSlot) {
    // Unmasked, 200 and 300 would go out as C8 and 2C: C8 starts a Program
    // Change at the receiver.
    const struct {
        int channel, controller, value;
        DWORD expected;
    } cases[] = {
        {0, 200, 300, 0x002C48B0}, {0, 74, 255, 0x007F4AB0}, {0, 128, 128, 0x000000B0},
        {0, 74, 510, 0x007E4AB0},  {16, 1, 1, 0x000101B0},   {255, 1, 1, 0x000101BF},
    };
    for (const auto& c : cases) {
        const DWORD message = PackControlChange(c.channel, c.controller, c.value);
        EXPECT_EQ(message, c.expected)
            << "channel " << c.channel << " controller " << c.controller << " value " << c.value;
        EXPECT_EQ(message & 0xFF800000u, 0u)
            << "controller " << c.controller << " value " << c.value;
    }
}

TEST_F(RandomizeTest, AnEmptyListSendsNothingAndDoesNotSeed) {
    SeedPending = true;
    RandomizeAll(TestHandle(), 0);
    EXPECT_TRUE(SentMessages().empty());
    EXPECT_TRUE(SeedPending);
    EXPECT_EQ(TickCountCalls(), 0);
}

TEST_F(RandomizeTest, SendsOneMessagePerParameterInFileOrderOnOneChannel) {
    Add(74, 0, 127);
    Add(71, 10, 20);
    Add(7, 64, 64);
    RandomizeAll(TestHandle(), 2);

    // Raw values from seed 1: 41, 18467, 6334. Values 1 + 41 % 127 = 42,
    // 11 + 18467 % 10 = 18, and 64 for the equal bounds.
    const std::vector<SentMessage> expected = {
        {TestHandle(), 0x002A4AB2}, {TestHandle(), 0x001247B2}, {TestHandle(), 0x004007B2}};
    EXPECT_EQ(SentMessages(), expected);
}

TEST_F(RandomizeTest, DrawsOneValuePerParameterInListOrder) {
    Add(1, 0, 127);
    Add(2, 100, 50);
    Add(3, 5, 5);
    Add(4, 0, 127);
    RandomizeAll(TestHandle(), 0);

    // Raw values from seed 1: 41, 18467, 6334, 26500. Values 1 + 41 % 127 =
    // 42; the reversed range 101 + 18467 % -50 = 118; the equal bounds 5; and
    // 1 + 26500 % 127 = 85.
    EXPECT_EQ(SentValues(), (std::vector<int>{42, 118, 5, 85}));
    // Four draws used four steps: the next raw value is the fifth from seed 1.
    EXPECT_EQ(RandomGenerator::Step(), 19169);
}

TEST_F(RandomizeTest, SeedsAtTheFirstPassThatFindsAParameterAndNeverAgain) {
    SeedPending = true;
    SetTickCountValue(777);
    RandomizeAll(TestHandle(), 0);
    EXPECT_EQ(TickCountCalls(), 0);

    Add(74, 0, 127);
    RandomizeAll(TestHandle(), 0);
    RandomizeAll(TestHandle(), 1);
    RandomizeAll(TestHandle(), 15);
    EXPECT_EQ(TickCountCalls(), 1);
    EXPECT_FALSE(SeedPending);

    // Raw values from seed 777: 2575, 3391, 8067; values 36, 90 and 67.
    const std::vector<SentMessage> expected = {
        {TestHandle(), 0x00244AB0}, {TestHandle(), 0x005A4AB1}, {TestHandle(), 0x00434ABF}};
    EXPECT_EQ(SentMessages(), expected);
}

TEST_F(RandomizeTest, OutOfRangeFileValuesNeverProduceAHighDataByte) {
    Add(74, 255, 0);     // values 256 to 510
    Add(255, 100, 255);  // controller above 127: drawn, never sent
    Add(0, 0, 0);        // a blank line: controller 0, value 0
    for (int pass = 0; pass < 500; ++pass) {
        RandomizeAll(TestHandle(), 3);
    }
    ASSERT_EQ(SentMessages().size(), 1000u);
    for (size_t i = 0; i < SentMessages().size(); ++i) {
        const DWORD message = SentMessages()[i].message;
        ASSERT_EQ(StatusOf(message), 0xB3) << "message " << i;
        ASSERT_LE(ValueOf(message), 0x7F) << "message " << i;
    }
    EXPECT_EQ(SentMessages()[1].message, 0x000000B3u);
}

TEST_F(RandomizeTest, AControllerAbove127SendsNothingButStillDrawsItsValue) {
    // 250 is what '-6' reads as: masked it would be 122, Local Control.
    Add(74, 0, 127);
    Add(250, 0, 127);
    Add(128, 0, 127);
    Add(71, 0, 127);
    RandomizeAll(TestHandle(), 0);

    // From seed 1 the four draws over 0 to 127 are 42, 53, 112 and 85: the
    // two skipped parameters still take theirs.
    const std::vector<DWORD> expected = {0x002A4AB0, 0x005547B0};
    std::vector<DWORD> sent;
    for (const SentMessage& message : SentMessages()) {
        sent.push_back(message.message);
    }
    EXPECT_EQ(sent, expected);
}

}  // namespace

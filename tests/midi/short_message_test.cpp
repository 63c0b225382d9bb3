#include "winmm/short_message.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using winmm::MidiBytes;
using winmm::UnpackShortMessage;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

struct UnpackCase {
    uint32_t packed;
    uint8_t runningBefore;
    std::vector<uint8_t> expected;  // empty: nothing to send
    uint8_t runningAfter;
};

TEST(UnpackShortMessage, SendsTheBytesTheStatusCallsFor) {
    const UnpackCase cases[] = {
        // Control Change, as the Randomize pass packs it: three bytes.
        {0x00644AB2, 0, {0xB2, 0x4A, 0x64}, 0xB2},
        // The fourth byte of the packed value is never sent.
        {0xFF644AB2, 0, {0xB2, 0x4A, 0x64}, 0xB2},
        {0x00403C90, 0, {0x90, 0x3C, 0x40}, 0x90},
        {0x00003C80, 0x90, {0x80, 0x3C, 0x00}, 0x80},
        {0x00107FA1, 0, {0xA1, 0x7F, 0x10}, 0xA1},
        {0x00407FEF, 0, {0xEF, 0x7F, 0x40}, 0xEF},
        // Program Change and Channel Pressure have one data byte.
        {0x00FF05C3, 0, {0xC3, 0x05}, 0xC3},
        {0x00FF20D0, 0, {0xD0, 0x20}, 0xD0},
        // Data bytes lose their high bit: FF would read as System Reset.
        {0x00FFC8B0, 0, {0xB0, 0x48, 0x7F}, 0xB0},
        // Running status: the first byte is data, the last status applies.
        {0x0000104A, 0xB2, {0xB2, 0x4A, 0x10}, 0xB2},
        {0x00000005, 0xC3, {0xC3, 0x05}, 0xC3},
        // System common messages clear the running status.
        {0x00000AF3, 0xB0, {0xF3, 0x0A}, 0},
        {0x00201AF2, 0xB0, {0xF2, 0x1A, 0x20}, 0},
        {0x000033F1, 0xB0, {0xF1, 0x33}, 0},
        {0x000000F6, 0xB0, {0xF6}, 0},
        // Real-time messages leave it alone.
        {0x000000F8, 0xB0, {0xF8}, 0xB0},
        {0x000000FF, 0x91, {0xFF}, 0x91},
        {0x00000000FE, 0, {0xFE}, 0},
        // Nothing to send: data without a running status, System Exclusive.
        {0x0000104A, 0, {}, 0},
        {0x000000F0, 0xB0, {}, 0xB0},
        {0x000000F7, 0xB0, {}, 0xB0},
    };
    for (const UnpackCase& test : cases) {
        uint8_t running = test.runningBefore;
        MidiBytes message;
        const bool unpacked = UnpackShortMessage(test.packed, running, message);
        const std::string input =
            Hex(test.packed) + " with running status " + Hex(test.runningBefore);
        EXPECT_EQ(unpacked, !test.expected.empty()) << input;
        if (unpacked) {
            EXPECT_EQ(std::vector<uint8_t>(message.data, message.data + message.size),
                      test.expected)
                << input;
        }
        EXPECT_EQ(running, test.runningAfter) << input;
    }
}

TEST(MessageSize, FollowsTheStatusByte) {
    const struct {
        uint8_t status;
        size_t size;
    } cases[] = {
        {0x00, 0}, {0x7F, 0}, {0x80, 3}, {0x9F, 3}, {0xAF, 3}, {0xB0, 3}, {0xC0, 2},
        {0xCF, 2}, {0xD5, 2}, {0xE0, 3}, {0xF0, 0}, {0xF1, 2}, {0xF2, 3}, {0xF3, 2},
        {0xF4, 1}, {0xF6, 1}, {0xF7, 0}, {0xF8, 1}, {0xFA, 1}, {0xFF, 1},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(winmm::MessageSize(test.status), test.size) << "status " << Hex(test.status);
    }
}

}  // namespace

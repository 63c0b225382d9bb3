#include "winmm/device_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using winmm::kMaximumNameLength;

TEST(ShortenInMiddle, KeepsTheStartAndTheEndOfALongName) {
    const struct {
        std::string name;
        size_t limit;
        std::string expected;
    } cases[] = {
        {"synth:input", kMaximumNameLength, "synth:input"},
        {std::string(31, 'a'), kMaximumNameLength, std::string(31, 'a')},
        {std::string(32, 'a'), kMaximumNameLength,
         std::string(14, 'a') + "..." + std::string(14, 'a')},
        {"a2j:USB Midi Cable [20] (playback): USB Midi Cable MIDI 1", kMaximumNameLength,
         "a2j:USB Midi C...i Cable MIDI 1"},
        {"FLUID Synth (12345): Synth input port (12345:0)", kMaximumNameLength,
         "FLUID Synth (1...port (12345:0)"},
        {"abcdef", 5, "a...f"},
        // Too little room for the ellipsis: the start alone.
        {"abcdef", 3, "abc"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(winmm::ShortenInMiddle(test.name, test.limit), test.expected) << test.name;
    }
}

TEST(AlsaDeviceName, NamesTheClientWhereThePortDoesNot) {
    const struct {
        std::string client;
        std::string port;
        std::string expected;
    } cases[] = {
        {"Midi Through", "Midi Through Port-0", "Midi Through Port-0"},
        {"USB Midi Cable", "usb midi cable MIDI 1", "usb midi cable MIDI 1"},
        {"TiMidity", "port 0", "TiMidity: port 0"},
        {"FLUID Synth (4242)", "Synth input port (4242:0)", "FLUID ...(4242): Synth ...42:0)"},
        {"", "Orphan port", "Orphan port"},
        {"Portless", "", "Portless"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(winmm::AlsaDeviceName(test.client, test.port), test.expected)
            << "client '" << test.client << "', port '" << test.port << "'";
    }
}

TEST(JackDeviceName, KeepsClientAndPortAndCutsNoCharacter) {
    const std::vector<std::string> fullNames = {
        "synth:input",
        "Left Studio Synthesizer Module:input",
        "Right Studio Synthesizer Module:input",
        "a2j:USB Midi Cable [20] (playback): USB Midi Cable MIDI 1",
        "A Rather Long Client Name:and a rather long port name",
        // Two-byte characters where the cuts fall: they stay whole.
        "x"
        "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"
        "\u00e9:input",
        "no colon at all in this rather long name",
    };
    const std::vector<std::string> expected = {
        "synth:input",
        "Left Studio...izer Module:input",
        "Right Studi...izer Module:input",
        "a2j:USB Midi Cab...Cable MIDI 1",
        "A Rath...t Name:and a ...t name",
        "x\u00e9\u00e9\u00e9\u00e9\u00e9...\u00e9\u00e9\u00e9\u00e9\u00e9:input",
        "no colon at al...ther long name",
    };
    std::vector<std::string> names;
    for (const std::string& fullName : fullNames) {
        names.push_back(winmm::JackDeviceName(fullName));
    }
    EXPECT_EQ(names, expected);
}

TEST(MakeNamesDistinct, NumbersRepeatedNames) {
    const struct {
        std::vector<std::string> names;
        std::vector<std::string> expected;
    } cases[] = {
        {{"a", "b", "c"}, {"a", "b", "c"}},
        {{"Synth", "Synth", "Synth"}, {"Synth", "Synth (2)", "Synth (3)"}},
        // A number that is taken already is skipped.
        {{"Synth", "Synth (2)", "Synth"}, {"Synth", "Synth (2)", "Synth (3)"}},
        {{std::string(31, 'x'), std::string(31, 'x')},
         {std::string(31, 'x'), std::string(27, 'x') + " (2)"}},
    };
    for (const auto& test : cases) {
        std::vector<std::string> names = test.names;
        winmm::MakeNamesDistinct(names);
        std::string input;
        for (const std::string& name : test.names) {
            input += "'" + name + "' ";
        }
        EXPECT_EQ(names, test.expected) << input;
        for (const std::string& name : names) {
            EXPECT_LE(name.size(), kMaximumNameLength) << input;
        }
    }
}

TEST(PipeWire, BridgePortsAndOwnClientsAreKnown) {
    EXPECT_EQ(winmm::BridgedAlsaPort("alsa:seq:default:client_24:playback_0"), "24:0");
    for (const char* other : {"alsa:seq:default:client_24:capture_0", "USB Synth:USB Synth MIDI 1",
                              "alsa:seq:default:client_24:playback_0x", "amsynth:midi_in", ""}) {
        EXPECT_EQ(winmm::BridgedAlsaPort(other), "") << other;
    }
    EXPECT_TRUE(winmm::IsPipeWireSequencerClient("PipeWire-System"));
    EXPECT_TRUE(winmm::IsPipeWireSequencerClient("pipewire-jack"));
    EXPECT_FALSE(winmm::IsPipeWireSequencerClient("amsynth"));
}

}  // namespace

// The sorting rules over real rows of the MIDI Guide dataset: the same word
// sorted by its section, names on standard controllers, and each kind.
#include <gtest/gtest.h>

#include <string>

#include "velmora-cfg/parameter_kinds.h"

namespace {

struct Row {
    const char* section;
    const char* name;
    int controller;
};

const Row kRows[] = {
    {"Filter", "Frequency", 16},                              // Novation Bass Station II
    {"Oscillator 2", "Osc 2 Fine Frequency", 76},             // Dave Smith Pro 3
    {"", "OSC2 Level", 77},                                   // Sequential Prophet-6
    {"Loop Track", "Level", 7},                               // 1010music bento
    {"Selectable: VCO", "Spread", 10},                        // Dreadbox Artemis
    {"Assignable parameters", "Assignable parameter 07", 7},  // BOSS GM-800
    {"External Track", "Pan", 10},                            // 1010music bento
    {"Oscillator 2", "Oscillator 2 sync", 51},                // GS Music Bree6
    {"Emitter 1", "Octave", 48},                              // Beetlecrab Tempera
    {"General", "Glide", 5},                                  // Arturia MicroFreak
    {"Synth: Arpeggiator", "Rate", 74},                       // Nord Stage 3
    {"LFO 1", "Keyboard reset", 54},                          // Morphor ECHON 6
    {"Exciter", "Keyboard reset", 16},                        // Morphor ECHON 6
    {"", "Factory reset", 56},                                // Chase Bliss MOOD MKII
    {"", "Save Preset", 39},                                  // Empress Reverb
    {"", "Load Preset", 11},                                  // Empress Reverb
    {"Loop control", "Record", 1},                            // Chase Bliss blooper
    {"RC channel: Part 1", "Part 1 MIDI channel (CH)", 4},    // Mutable Instruments Yarns
    {"Keyboard", "Keyboard hold button (toggle)", 64},        // Arturia MicroFreak
};

const char kExpected[] =
    "Frequency: sound\n"
    "Osc 2 Fine Frequency: playing, pitch: fine\n"
    "OSC2 Level: sound\n"
    "Level: playing, level of the whole patch: level\n"
    "Spread: playing, standard controller: 10 is Pan\n"
    "Assignable parameter 07: playing, standard controller: 7 is Channel Volume\n"
    "Pan: playing, stereo position: pan\n"
    "Oscillator 2 sync: sound\n"
    "Octave: playing, pitch: octave\n"
    "Glide: playing, glide: glide\n"
    "Rate: playing, arpeggiator: arpeggiator\n"
    "Keyboard reset: sound\n"
    "Keyboard reset: harmful, resets: reset\n"
    "Factory reset: harmful, returns to the factory settings: factory\n"
    "Save Preset: harmful, stores a preset: save\n"
    "Load Preset: harmful, loads a preset: load\n"
    "Record: harmful, records: record\n"
    "Part 1 MIDI channel (CH): harmful, changes the MIDI setup: ch\n"
    "Keyboard hold button (toggle): harmful, controller does more than change a sound: 64 is "
    "Sustain Pedal\n";

}  // namespace

TEST(ParameterKinds, RealRowsAreSortedBySectionNameAndController) {
    static const char* const kKinds[] = {"sound", "playing", "harmful"};
    std::string sorted;
    for (const Row& row : kRows) {
        const ParameterSorting sorting = SortParameter(row.section, row.name, row.controller);
        sorted += std::string(row.name) + ": " + kKinds[static_cast<int>(sorting.kind)];
        sorted += sorting.kind == ParameterKind::kSound ? "\n" : ", " + sorting.Explained() + "\n";
    }
    EXPECT_EQ(sorted, kExpected);
}

// The sorting and range rules over real rows of the MIDI Guide dataset: the
// same word sorted by its section, names on standard controllers, each kind;
// ranges narrowed by meaning, by a switch's positions and around a centre.
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
    {"", "Sync", 41},                                         // Waldorf M
    {"Filter 1", "Balance", 27},                              // KORG R3
    {"Voice 1", "Level", 77},                                 // Erica Synths PERKONS HD-01
    {"Playback", "Start", 17},                                // Elektron Octatrack
    {"Moog", "Note priority", 111},                           // Moog Sub Phatty
    {"Trig parameters", "Root", 3},                           // Elektron Digitone
    {"General", "Knob 4", 24},                                // Critter & Guitari Organelle M
    {"", "Perf A", 3},                                        // Elektron Analog Four
    {"Filter", "Filter 1 cutoff", 69},                        // Waldorf Micro Q
    {"Synth: SY Chord", "SY Chord: Decay", 20},               // Elektron Syntakt
    {"Parameter Randomisation", "SP1 Randomise Params", 71},  // Squarp Rample
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
    "Sustain Pedal\n"
    "Sync: sound\n"
    "Balance: sound\n"
    "Level: sound\n"
    "Start: sound\n"
    "Note priority: playing, voice mode: note\n"
    "Root: playing, pitch: root\n"
    "Knob 4: playing, no known meaning\n"
    "Perf A: playing, performance controller: perf\n"
    "Filter 1 cutoff: sound\n"
    "SY Chord: Decay: sound\n"
    "SP1 Randomise Params: harmful, makes the device act: randomise\n";

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

namespace {

struct RangeRow {
    const char* section;
    const char* name;
    const char* defaultValue;
    const char* orientation;
    const char* usage;
};

// Every row's range is 0 to 127.
const RangeRow kRangeRows[] = {
    {"EG", "EG target", "", "0-based", "0-42: Cutoff; 43-85: Pitch2; 86-127: Pitch"},  // KORG
    {"Oscillators", "OSC2 wave", "", "0-based",
     "0-21: Sine; 22-42: Tri; 43-63: Saw; 64-85: Square; 86-127: White noise"},  // Modal Skulpt
    {"Source attenuverter", "Quad LFO depth", "", "centered",
     "0~63: Negative depth; 64: No modulation; 65~127: Positive depth"},      // Morphor ECHON 6
    {"SVF", "Bandpass on/off", "", "0-based", "0-63: Off; 64-127: On"},       // Groove Synthesis
    {"Delay", "Delay Mix", "80", "0-based", "0~127: Dry only to fully wet"},  // discoDSP Corona
    {"Envelope", "Amp Env attack", "", "0-based", ""},   // Novation Bass Station II
    {"Envelope", "Amp Env sustain", "", "0-based", ""},  // Novation Bass Station II
    {"Oscillator", "Detune", "", "centered", ""},        // GS Music Bree6
    {"Oscillator", "Osc 2 Detune", "0", "0-based", "0~127: No detune to maximum"},  // OB-Xd 3
    {"Lead engine: LFOs", "LFO 1 rate", "", "0-based", "0: Off; 1~127: LFO rate"},  // MIDIbox SID
    {"Delay", "Feedback", "", "0-based",
     "0-15: 0%; 16-31: 10%; 32-47: 20%; 48-63: 30%; 64-79: 35%; 80-95: 45%; 96-111: 50%; "
     "112-127: 100%"},                                    // OTO Machines BISCUIT
    {"Filter", "Filter 1 cutoff", "", "0-based", ""},     // Waldorf Micro Q
    {"Filter", "Filter 1 resonance", "", "0-based", ""},  // Waldorf Micro Q
    {"Filter", "HPF cutoff", "", "0-based", ""},          // Dreadbox Nymphes
};

const char kExpectedRanges[] =
    "EG target: off, switch: its other positions give pitch, noise, an input or off\n"
    "OSC2 wave: 0..85, switch: keeps off its positions of pitch, noise, an input or off\n"
    "Quad LFO depth: 32..96, a bipolar amount keeps to a window around its centre\n"
    "Bandpass on/off: off, switch: on or off\n"
    "Delay Mix: 0..89, an effect stays short of fully wet\n"
    "Amp Env attack: 0..44, the amplifier's attack stays short\n"
    "Amp Env sustain: 38..127, the amplifier's sustain stays above silence\n"
    "Detune: 54..73, detune stays near in tune\n"
    "Osc 2 Detune: 0..32, detune stays near in tune\n"
    "LFO 1 rate: 1..96, an LFO stays below audio rate\n"
    "Feedback: 0..89, feedback stops short of runaway\n"
    "Filter 1 cutoff: 32..127, a low-pass filter never closes fully\n"
    "Filter 1 resonance: 0..95, resonance stops short of self-oscillation\n"
    "HPF cutoff: 0..76, a high-pass filter never opens far\n";

}  // namespace

TEST(ParameterKinds, RealRowsKeepTheRangeTheirMeaningAndFactsAllow) {
    std::string ranges;
    for (const RangeRow& row : kRangeRows) {
        const ValueFacts facts =
            ReadValueFacts(row.usage, row.orientation, row.defaultValue, 0, 127);
        const ChosenRange chosen = ChooseRange(row.section, row.name, facts, 0, 127);
        ranges += std::string(row.name) + ": " +
                  (chosen.off.empty() ? std::to_string(chosen.low) + ".." +
                                            std::to_string(chosen.high) + ", " + chosen.narrowed
                                      : "off, " + chosen.off) +
                  "\n";
    }
    EXPECT_EQ(ranges, kExpectedRanges);
}

#ifndef VELMORA_CFG_PARAMETER_KINDS_H
#define VELMORA_CFG_PARAMETER_KINDS_H

#include <set>
#include <string>
#include <vector>

// What a press does to an instrument when it randomizes one parameter.
enum class ParameterKind {
    // Changes the sound: worth randomizing.
    kSound,
    // Changes how the instrument is played (pitch, level, glide, tempo...):
    // left to the player to turn on.
    kPlaying,
    // Stores, erases, loads, records, resets or changes the preset or the
    // MIDI setup: never sent.
    kHarmful,
};

struct ParameterSorting {
    ParameterKind kind = ParameterKind::kSound;
    // Why, in a few words, for comments and reports; empty for a sound.
    std::string reason;
    // The word of the name or section that decided, if one did.
    std::string word;

    // "pitch: octave"
    std::string Explained() const { return word.empty() ? reason : reason + ": " + word; }
};

// Sorts a parameter by its name, the section of the instrument it belongs to
// (empty when unknown) and its controller number (-1 when unknown).
ParameterSorting SortParameter(const std::string& section, const std::string& name, int controller);

// Whether a pedal switch's controller (64 to 69) carries what the device's
// row names instead: a parameter of its own, neither a pedal nor a placeholder.
bool DeviceNamesItsOwn(const std::string& section, const std::string& name, int controller);

// The words of a name in lower case: "LFO1_KeyReset" is lfo, 1, key, reset.
std::set<std::string> WordsOf(const std::string& name);

// Whether a name needs its section beside it to be understood: it names no
// part of the instrument ("Resonance", "Attack") and the section does.
bool NeedsItsSection(const std::string& section, const std::string& name);

// What a row's own columns say about its values (its usage text, orientation
// and default), in the row's units. The text is crowd-sourced: anything that
// does not read cleanly is no fact.
struct ValueFacts {
    // One position of a switch: from first to the next position's first.
    struct Position {
        long first = 0;
        std::set<std::string> words;
        // Written as a stretch of values ("1~127: rate"), not one setting.
        bool stretch = false;
    };
    std::vector<Position> positions;
    // Only an off and an on position.
    bool onOff = false;
    // Swings both ways around a centre ("64: no modulation", "-24 to +24").
    bool bipolar = false;
    // The centre when the row says it; -1 otherwise.
    long centre = -1;
    // Whether the row says anything of its values at all.
    bool said = false;
};

ValueFacts ReadValueFacts(const std::string& usage, const std::string& orientation,
                          const std::string& defaultValue, long low, long high);

// The part of a sound parameter's range a press uses.
struct ChosenRange {
    long low = 0;
    long high = 127;
    // Why it is narrower than the row's range ("resonance stops short of
    // self-oscillation"); empty when it is not.
    std::string narrowed;
    // Why the parameter is better left to the player; empty when it is not.
    std::string off;
};

// Applies the range rules to a sound parameter whose values are low..high.
ChosenRange ChooseRange(const std::string& section, const std::string& name,
                        const ValueFacts& facts, long low, long high);

#endif

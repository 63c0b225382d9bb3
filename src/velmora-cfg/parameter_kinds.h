#ifndef VELMORA_CFG_PARAMETER_KINDS_H
#define VELMORA_CFG_PARAMETER_KINDS_H

#include <string>

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

#endif

#include "velmora-cfg/parameter_kinds.h"

#include <cctype>
#include <set>
#include <sstream>
#include <vector>

#include "velmora-cfg/controller_names.h"

namespace {

// Parts of an instrument that make an ambiguous word a sound: an LFO's
// "reset", an oscillator's "sync", a wavetable's "bank".
const char kSoundParts[] =
    "osc oscillator oscillators vco dco op operator wave waveform wavetable wt lfo lfos env "
    "envelope envelopes eg adsr phase key retrigger retrig grain sample filter vcf delay dly echo "
    "hard ring noise fx mod";

// What a level, a start or a stop can belong to within one sound: then it is
// a balance of that sound, not the level or the transport of the whole patch.
const char kSoundSources[] =
    "osc oscillator oscillators vco dco op operator wave waveform wavetable wt lfo lfos env "
    "envelope envelopes eg adsr phase key grain sample filter vcf delay dly echo sub noise ring "
    "ringmod fm am pwm pulse drawbar partial resonance res cutoff attack decay sustain release "
    "accent velocity vel aftertouch fx effect effects efx mfx reverb rev verb chorus flanger "
    "phaser tremolo vibrato drive distortion dist overdrive fuzz saturation crush bit bits fold "
    "folder comp compressor eq band low mid high bass treble feedback fb send aux input in ext "
    "external audio dry wet cross xmod layer kick snare bd sd hh oh cp rs cb cy lt mt ht "
    "tom hat clap rim cowbell cow bell cymbal conga ride perc percussion click tick hc vocoder "
    "vowel tone timbre subosc suboscillator spring transducer bias";

// Where an oscillator's frequency is its pitch.
const char kOscillators[] = "osc oscillator oscillators vco dco op operator carrier";
const char kNotOfAnOscillator[] = "lfo filter vcf cutoff eq env envelope mod modulation lpf hpf";
const char kTuning[] = "osc oscillator oscillators vco dco op operator tune tuning pitch freq";
const char kMidiSetup[] = "midi receive transmit rx tx";

struct Rule {
    ParameterKind kind;
    // Any of these words in the parameter's name (or in its section, where
    // the rule says so)...
    const char* words;
    // ...when one of these is in the name or section too (empty: always)...
    const char* with;
    // ...and none of these.
    const char* unless;
    bool orSection;
    const char* reason;
};

constexpr ParameterKind kHarmful = ParameterKind::kHarmful;
constexpr ParameterKind kPlaying = ParameterKind::kPlaying;

// The first rule that applies decides; a parameter none applies to is a sound.
const Rule kRules[] = {
    {kHarmful, "save store write", "", "", false, "stores a preset"},
    {kHarmful, "erase delete clear undo redo", "", "", false, "erases"},
    {kHarmful, "factory", "", "", false, "returns to the factory settings"},
    {kHarmful, "reset init initialize initialise", "", kSoundParts, false, "resets"},
    {kHarmful, "record rec recorder recording overdub dub", "", "", false, "records"},
    {kHarmful, "load recall", "", "", false, "loads a preset"},
    {kHarmful, "preset presets program prog bank snapshot", "", kSoundParts, false,
     "changes the preset, program or bank"},
    {kHarmful, "omni local thru mpe learn dump sysex calibrate calibration", "", "", false,
     "changes the MIDI setup"},
    {kHarmful, "channel ch", kMidiSetup, "", false, "changes the MIDI setup"},

    {kPlaying,
     "octave octaves oct transpose transposes transposition kptranspose semitone semitones tune "
     "tuning finetune pitch pitchbend pitchmod modpitch bend cent cents",
     "", "", false, "pitch"},
    {kPlaying, "note notes", "", kSoundParts, false, "pitch"},
    {kPlaying, "coarse fine", kTuning, "", false, "pitch"},
    {kPlaying, "frequency freq frq hz", kOscillators, kNotOfAnOscillator, false, "pitch"},
    {kPlaying, "glide glidemod glidetype gatedglide portamento porta slide legato glissando", "",
     "", false, "glide"},
    {kPlaying, "volume vol mainvolume loudness level lvl gain", "", kSoundSources, false,
     "level of the whole patch"},
    {kPlaying, "pan panpot panning panorama panspray panwidth balance", "", "", false,
     "stereo position"},
    {kPlaying,
     "expression expr express xprssion exprsson exprssn wheel modwheel breath foot footswitch "
     "pedal joystick ribbon",
     "", "", false, "performance controller"},
    {kPlaying, "exp", "", kSoundSources, false, "performance controller"},
    {kPlaying, "arp arpeggiator arpeggio", "", "", true, "arpeggiator"},
    {kPlaying, "seq sequencer sequence pattern song swing euclidean", "", "", true, "sequencer"},
    {kPlaying, "tempo bpm clock", "", "", false, "tempo or clock"},
    {kPlaying, "tap", "", kSoundSources, false, "tempo or clock"},
    {kPlaying, "sync", "", kSoundParts, false, "tempo or clock"},
    {kPlaying, "transport play stop start pause run continue", "", kSoundSources, false,
     "transport"},
    {kPlaying, "looper", "", "", true, "looper"},
    {kPlaying, "mute muted bypass solo engage", "", "", false, "mute or bypass"},
    {kPlaying, "midi", "", kSoundParts, false, "MIDI setting"},
    {kPlaying, "global system", "", kSoundSources, true, "setting of the whole instrument"},
};

// Words that say only where a parameter sits on a panel, not what it does:
// with nothing else in its name but the words of its standard name ("Mod"
// too), a controller means what the MIDI standard says.
const char kPlaceholderWords[] =
    "assignable assign assigned mapped mappable map mapping parameter parameters param params cc "
    "ccs control controller controllers ctrl knob knobs macro unassigned slot user encoder pot "
    "slider fader button cv change number no external mod";

using Words = std::set<std::string>;

Words ListOf(const char* list) {
    std::istringstream text(list);
    Words words;
    for (std::string word; text >> word;) {
        words.insert(word);
    }
    return words;
}

// The words of a name in lower case: "LFO1_KeyReset" is lfo, 1, key, reset.
Words WordsOf(const std::string& name) {
    Words words;
    std::string word;
    const auto finish = [&words, &word]() {
        if (!word.empty()) {
            words.insert(word);
            word.clear();
        }
    };
    for (size_t at = 0; at < name.size(); ++at) {
        const unsigned char c = static_cast<unsigned char>(name[at]);
        const unsigned char before = at > 0 ? static_cast<unsigned char>(name[at - 1]) : ' ';
        const unsigned char after = at + 1 < name.size() ? name[at + 1] : ' ';
        if (!std::isalnum(c) && c < 0x80) {
            finish();
            continue;
        }
        const bool newWord = (std::isdigit(c) != 0) != (std::isdigit(before) != 0) ||
                             (std::isupper(c) && std::islower(before)) ||
                             (std::isupper(c) && std::isupper(before) && std::islower(after));
        if (newWord) {
            finish();
        }
        word += static_cast<char>(std::tolower(c));
    }
    finish();
    return words;
}

// The first word of the list found in words, or empty.
std::string FirstShared(const Words& list, const Words& words) {
    for (const std::string& word : words) {
        if (list.count(word) != 0) {
            return word;
        }
    }
    return "";
}

// The table with its word lists taken apart, once.
struct ReadRule {
    ParameterKind kind;
    Words words;
    Words with;
    Words unless;
    bool orSection;
    std::string reason;
};

const std::vector<ReadRule>& ReadRules() {
    static const std::vector<ReadRule> rules = [] {
        std::vector<ReadRule> read;
        for (const Rule& rule : kRules) {
            read.push_back({rule.kind, ListOf(rule.words), ListOf(rule.with), ListOf(rule.unless),
                            rule.orSection, rule.reason});
        }
        return read;
    }();
    return rules;
}

bool OnlyPlaceholders(const Words& words, const char* standardName) {
    static const Words placeholders = ListOf(kPlaceholderWords);
    const Words standardWords = WordsOf(standardName);
    for (const std::string& word : words) {
        if (word.size() > 1 && !std::isdigit(static_cast<unsigned char>(word[0])) &&
            placeholders.count(word) == 0 && standardWords.count(word) == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

ParameterSorting SortParameter(const std::string& section, const std::string& name,
                               int controller) {
    if (const char* standard = RiskyControllerName(controller)) {
        return {kHarmful,
                "controller does more than change a sound: " + std::to_string(controller) + " is " +
                    standard,
                ""};
    }
    const Words inName = WordsOf(name);
    const Words inSection = WordsOf(section);
    Words around = inName;
    around.insert(inSection.begin(), inSection.end());
    for (const ReadRule& rule : ReadRules()) {
        std::string found = FirstShared(rule.words, inName);
        if (found.empty() && rule.orSection) {
            found = FirstShared(rule.words, inSection);
        }
        if (found.empty() || (!rule.with.empty() && FirstShared(rule.with, around).empty()) ||
            !FirstShared(rule.unless, around).empty()) {
            continue;
        }
        return {rule.kind, rule.reason, found};
    }
    // Volume, pan and expression are acted on by mixers, hosts and MIDI
    // routers whatever a device calls them: never turned on by default.
    const bool heldByTheStandard = controller == 7 || controller == 10 || controller == 11;
    const char* standard = StandardPlayingControllerName(controller);
    if (standard != nullptr && (heldByTheStandard || OnlyPlaceholders(inName, standard))) {
        return {kPlaying, "standard controller: " + std::to_string(controller) + " is " + standard,
                ""};
    }
    return {};
}

#include "velmora-cfg/parameter_kinds.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "velmora-cfg/controller_names.h"

using Words = std::set<std::string>;

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
    "vowel tone timbre subosc suboscillator spring transducer bias voice voices pad sine saw "
    "square triangle partial a b hi lo makeup loss shimmer glimmer";

// Words that name a part of an instrument: a label with one of them reads
// on its own ("Osc2_Level"), one without needs its section ("Resonance").
const char kPartWords[] =
    "osc oscillator oscillators vco dco op operator wave waveform wavetable wt lfo lfos env "
    "envelope eg adsr aeg feg peg filter vcf lpf hpf bpf vca amp amplifier delay dly echo reverb "
    "rev verb chorus flanger phaser fx effect effects efx mfx sub noise ring ringmod mixer mix "
    "drive distortion eq pitch vibrato tremolo arp arpeggiator seq sequencer glide portamento "
    "kick snare bd sd hh cp tom hat clap rim cymbal voice partial layer grain sample";

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

    {kHarmful, "randomise randomize randomiser randomizer dice copy paste file", "", "", false,
     "makes the device act"},
    {kHarmful, "select sel choose", "sample kit slot file folder", "", false,
     "makes the device act"},
    {kHarmful, "kit", "", kSoundSources, false, "makes the device act"},

    // A modulation of pitch is a sound (vibrato); its depth is narrowed below.
    {ParameterKind::kSound, "pitch pitchmod modpitch",
     "depth amount amt int intensity mod lfo env eg", "bend wheel range pb", false, ""},
    {kPlaying, "chord poly polyphony mono monophonic unison paraphonic legato", "", "detune spread",
     false, "voice mode"},
    {kPlaying, "assign", "voice", "", false, "voice mode"},
    {kPlaying, "mode", "keyboard kbd voice voices", kSoundParts, false, "voice mode"},
    {kPlaying, "note notes", "priority mode style", "", false, "voice mode"},
    {kPlaying, "note notes", "length division divisions probability value gate trig", "", false,
     "sequencer"},
    {kPlaying, "range footage feet", kOscillators, "lfo env envelope mod", false, "pitch"},
    {kPlaying, "ratio", "", "comp compressor limiter", false, "pitch"},
    {kPlaying, "root scale tonic", "", "lfo env envelope", false, "pitch"},
    {kPlaying, "key", "shift chord root scale select", "", false, "pitch"},
    {kPlaying,
     "octave octaves oct transpose transposes transposition kptranspose semitone semitones tune "
     "tuning finetune pitch pitchbend pitchmod modpitch bend cent cents",
     "", "", false, "pitch"},
    {kPlaying, "note notes", "", kSoundParts, false, "pitch"},
    {kPlaying, "coarse fine", kTuning, "", false, "pitch"},
    {kPlaying, "coarse", "", "time delay decay rate cutoff filter start lfo env envelope", false,
     "pitch"},
    {kPlaying, "frequency freq frq hz", kOscillators, kNotOfAnOscillator, false, "pitch"},
    {kPlaying, "glide glidemod glidetype gatedglide portamento porta slide legato glissando", "",
     "", false, "glide"},
    {kPlaying, "volume vol mainvolume loudness level lvl gain", "", kSoundSources, false,
     "level of the whole patch"},
    {kPlaying, "pan panpot panning panorama panspray panwidth", "", "", false, "stereo position"},
    // Otherwise a balance is between two sounds: oscillators, filters, dry and wet.
    {kPlaying, "balance", "stereo l r lr left right track split input part master output ch", "",
     false, "stereo position"},
    {kPlaying,
     "expression expr express xprssion exprsson exprssn wheel modwheel breath foot footswitch "
     "pedal joystick ribbon lever perf",
     "", "", false, "performance controller"},
    {kPlaying, "exp", "", kSoundSources, false, "performance controller"},
    {kPlaying, "arp arpeggiator arpeggio", "", "", true, "arpeggiator"},
    {kPlaying, "seq sequencer sequence pattern song swing euclidean", "", "", true, "sequencer"},
    {kPlaying, "tempo bpm clock clck", "", "", false, "tempo or clock"},
    {kPlaying, "tap", "", kSoundSources, false, "tempo or clock"},
    // Alone, a synthesizer's "Sync" is its oscillators' hard sync.
    {kPlaying, "sync", "midi ext external transport beat division subdivision control", kSoundParts,
     false, "tempo or clock"},
    {kPlaying, "transport play stop pause run continue", "", kSoundSources, false, "transport"},
    // A sample's or a phase's start is a sound.
    {kPlaying, "start", "transport song chain jump sequencer seq", "", false, "transport"},
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
    "slider fader button cv change number no external mod ctl ctrls custom free undefined "
    "general purpose gp generic";

// Words of a name that only number a control: "Assignable CC 12", "CTL A",
// "Param 3", "FX Knob 4".
const char kNumberingWords[] =
    "assignable assign assigned mapped mappable map mapping parameter parameters param params cc "
    "ccs control controller controllers ctrl ctl knob knobs macro unassigned slot user encoder pot "
    "slider fader button cv custom free undefined generic gp master sound general purpose";

// Sections that say nothing of what their parameters do.
const char kPlainSections[] =
    "general global common main parameters parameter params controls control knobs knob panel "
    "page settings setup sound synth patch other misc miscellaneous performance";

// The pedal switches' words: on 64 to 69, a row without them names what the
// device does there.
const char kPedalWords[] =
    "sustain damper hold sostenuto soft legato portamento porta pedal foot footswitch switch";

Words ListOf(const char* list) {
    std::istringstream text(list);
    Words words;
    for (std::string word; text >> word;) {
        words.insert(word);
    }
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

// A name of numbering words, parts and numbers only: which parameter it is
// depends on how the device was set up.
bool HasNoKnownMeaning(const Words& name) {
    static const Words numbering = ListOf(kNumberingWords);
    static const Words parts = [] {
        Words words = ListOf(kSoundSources);
        const Words more = ListOf(kPartWords);
        words.insert(more.begin(), more.end());
        return words;
    }();
    bool numbered = true;
    for (const std::string& word : name) {
        if (word.size() < 2 || std::isdigit(static_cast<unsigned char>(word[0])) ||
            numbering.count(word) != 0) {
            continue;
        }
        numbered = numbered && parts.count(word) != 0 && word != "mod";
    }
    return numbered && (!FirstShared(numbering, name).empty() ||
                        std::all_of(name.begin(), name.end(), [](const std::string& word) {
                            return word.size() < 2 ||
                                   std::isdigit(static_cast<unsigned char>(word[0]));
                        }));
}

}  // namespace

bool DeviceNamesItsOwn(const std::string& section, const std::string& name, int controller) {
    static const Words pedalWords = ListOf(kPedalWords);
    const char* standard = RiskyControllerName(controller);
    return controller >= 64 && controller <= 69 && !OnlyPlaceholders(WordsOf(name), standard) &&
           FirstShared(pedalWords, WordsOf(name)).empty() &&
           FirstShared(pedalWords, WordsOf(section)).empty();
}

namespace {

// "SY Chord: Decay" in the section "Synth: SY Chord" is the section's Decay:
// the words before the colon name the engine, not what the parameter does.
std::string WithoutItsSection(const std::string& section, const std::string& name) {
    const size_t colon = name.find(':');
    if (colon == std::string::npos) {
        return name;
    }
    const Words inSection = WordsOf(section);
    for (const std::string& word : WordsOf(name.substr(0, colon))) {
        if (inSection.count(word) == 0) {
            return name;
        }
    }
    return name.substr(colon + 1);
}

}  // namespace

ParameterSorting SortParameter(const std::string& section, const std::string& name,
                               int controller) {
    const char* risky = RiskyControllerName(controller);
    if (const char* standard = DeviceNamesItsOwn(section, name, controller) ? nullptr : risky) {
        return {kHarmful,
                "controller does more than change a sound: " + std::to_string(controller) + " is " +
                    standard,
                ""};
    }
    const Words inName = WordsOf(WithoutItsSection(section, name));
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
        return {rule.kind, rule.reason, rule.kind == ParameterKind::kSound ? "" : found};
    }
    // Volume, pan and expression are acted on by mixers, hosts and MIDI
    // routers whatever a device calls them: never turned on by default.
    const bool heldByTheStandard = controller == 7 || controller == 10 || controller == 11;
    const char* standard = StandardPlayingControllerName(controller);
    if (standard != nullptr && (heldByTheStandard || OnlyPlaceholders(inName, standard))) {
        return {kPlaying, "standard controller: " + std::to_string(controller) + " is " + standard,
                ""};
    }
    if (HasNoKnownMeaning(inName)) {
        return {kPlaying, "no known meaning", ""};
    }
    return {};
}

namespace {

// Where in a sound: the amplifier's envelope, a filter, an effect.
const char kAmplifier[] = "amp amplifier vca aeg ampenv loudness";
const char kFilters[] = "filter filt flt vcf lpf lowpass lp cutoff";
const char kHighPass[] = "hpf hp highpass hipass hcf";
const char kEffects[] =
    "reverb rev verb delay dly echo chorus flanger phaser fx effect effects efx mfx";
const char kModulationAmounts[] = "amount amt depth int intensity mod modulation";
const char kTimes[] = "attack decay sustain release delay hold time rate speed shape wave";

// How much of a sound parameter's range a press uses. A range of a few
// steps (a switch, a shape) is left whole; a bipolar row keeps a window
// around its centre where its rule gives one.
struct RangeRule {
    // Any of these words in the name...
    const char* words;
    // ...when one of these is in the name or the section too (empty: always)...
    const char* with;
    // ...and none of these.
    const char* unless;
    // The share of the range kept, from its low end: 0.25 to 1 keeps the
    // upper three quarters.
    double low;
    double high;
    // For a bipolar row, the share of each side of the centre kept; 1 and 1
    // keep it whole.
    double below;
    double above;
    // Whether a row that says nothing of its values is taken as bipolar
    // around its middle: where most instruments centre the parameter and
    // the dataset's orientation is often left at "0-based".
    bool centredUnlessSaid;
    const char* reason;
};

// The first rule that applies decides. The shares come from what a sound
// designer keeps to and what the amsynth bench measured: about a quarter of
// a cutoff's travel is near silence, the top quarter of a resonance whistles.
const RangeRule kRangeRules[] = {
    {"cutoff cut freq frequency frq", kHighPass, "", 0, 0.6, 1, 1, false,
     "a high-pass filter never opens far"},
    {"cutoff cut freq frequency frq", kFilters,
     "hpf hp highpass band bp bpf notch eq key keytrack track tracking kbd drive velocity vel env "
     "eg lfo mod modulation amount amt depth int fine",
     0.25, 1, 1, 1, false, "a low-pass filter never closes fully"},
    {"resonance reso res emphasis", "", "eq band", 0, 0.75, 1, 1, false,
     "resonance stops short of self-oscillation"},
    {"attack atk attk", kAmplifier, "", 0, 0.35, 1, 1, false, "the amplifier's attack stays short"},
    {"sustain sus sust", kAmplifier, "", 0.3, 1, 1, 1, false,
     "the amplifier's sustain stays above silence"},
    {"env envelope eg", kFilters, kTimes, 0, 1, 0.25, 1, false,
     "the filter envelope mostly opens the filter"},
    {"detune detuning spread", "", "stereo pan width", 0, 0.25, 0.15, 0.15, true,
     "detune stays near in tune"},
    {"vibrato vib", "", kTimes, 0, 0.33, 0.25, 0.25, false,
     "a depth into pitch stays in its lower part"},
    {"pitch pitchmod modpitch", "depth amount amt int intensity mod lfo env eg", kTimes, 0, 0.25,
     0.25, 0.25, false, "a depth into pitch stays in its lower part"},
    {"noise ring ringmod", "",
     "type color colour mode select sel shape filter lpf hpf cutoff freq decay attack release tone",
     0, 0.5, 1, 1, false, "noise and ring modulation stay partial"},
    // A mix or balance of oscillators is no level of one: left whole.
    {"level lvl vol volume gain", "osc oscillator vco dco",
     "sub noise ring fm mod lfo env eg pwm 2 3 4 b c d", 0.5, 1, 1, 1, false,
     "the main oscillator stays audible"},
    {"mix wet drywet dry send level amount amt balance", kEffects, "time feedback fb rate speed", 0,
     0.7, 1, 1, false, "an effect stays short of fully wet"},
    {"feedback fb regen regeneration", "", "", 0, 0.7, 1, 1, false,
     "feedback stops short of runaway"},
    {"drive distortion dist overdrive fuzz saturation sat crush crunch bitcrush", "",
     "type mode select sel", 0, 0.75, 1, 1, false, "drive stops short of hard clipping"},
    {"rate speed freq frequency frq", "lfo lfos", "", 0, 0.75, 1, 1, false,
     "an LFO stays below audio rate"},
    {kModulationAmounts, "", kTimes, 0, 1, 0.5, 0.5, false,
     "a bipolar amount keeps to a window around its centre"},
};

// Fewer steps than this, and a range is a switch or a choice of shapes.
constexpr long kNarrowableSteps = 8;

// What a switch's position can send that makes the sound unusable at an end
// of its range: Velmora sends one contiguous range, so only an end can go.
const char kUnusablePositions[] =
    "noise white pink external ext input inputs off none bypass pitch octave semitone semitones "
    "note tune tuning";

const char kCentreWords[] = "center centre mid middle neutral zero flat 0";

// A whole number of at most six digits at text[at...], moving at past it.
bool ReadNumber(const std::string& text, size_t& at, long& value) {
    const size_t start = at;
    while (at < text.size() && at - start < 7 &&
           std::isdigit(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    if (at == start || at - start > 6) {
        return false;
    }
    value = std::stol(text.substr(start, at - start));
    return true;
}

void SkipSpaces(const std::string& text, size_t& at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
}

// One entry of a usage text: "0-42: Cutoff", "64 no modulation", "3~64: Wave".
struct UsageEntry {
    long first = 0;
    long last = 0;
    bool stretch = false;
    std::string label;
};

bool ReadEntry(const std::string& text, UsageEntry& entry) {
    size_t at = 0;
    SkipSpaces(text, at);
    if (!ReadNumber(text, at, entry.first)) {
        return false;
    }
    entry.last = entry.first;
    SkipSpaces(text, at);
    if (at < text.size() && (text[at] == '-' || text[at] == '~')) {
        entry.stretch = text[at] == '~';
        ++at;
        SkipSpaces(text, at);
        if (!ReadNumber(text, at, entry.last) || entry.last < entry.first) {
            return false;
        }
        SkipSpaces(text, at);
    }
    if (at < text.size() && text[at] == ':') {
        ++at;
    } else if (at >= text.size() || text[at] != ' ') {
        return false;
    }
    entry.label = text.substr(at);
    return true;
}

// The entries of a usage text, or none when any part does not read as one.
std::vector<UsageEntry> ReadEntries(const std::string& usage) {
    std::vector<UsageEntry> entries;
    std::string part;
    std::istringstream parts(usage);
    while (std::getline(parts, part, ';')) {
        std::istringstream lines(part);
        for (std::string line; std::getline(lines, line);) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) {
                continue;
            }
            UsageEntry entry;
            if (!ReadEntry(line, entry)) {
                return {};
            }
            entries.push_back(entry);
        }
    }
    return entries;
}

bool HasAny(const char* list, const Words& words) {
    static std::map<const char*, Words> lists;
    auto known = lists.find(list);
    if (known == lists.end()) {
        known = lists.emplace(list, ListOf(list)).first;
    }
    return !FirstShared(known->second, words).empty();
}

// "-24 to +24", "-64 to +63": a label that runs from below zero to above it.
bool SpansZero(const std::string& label) {
    const size_t minus = label.find('-');
    const size_t plus = label.find('+');
    return minus != std::string::npos && plus != std::string::npos && minus < plus &&
           minus + 1 < label.size() && std::isdigit(static_cast<unsigned char>(label[minus + 1]));
}

}  // namespace

bool NeedsItsSection(const std::string& section, const std::string& name) {
    static const Words plainSections = ListOf(kPlainSections);
    const Words inName = WordsOf(name);
    const auto meaningful = [](const std::string& word) {
        return word.size() > 1 && !std::isdigit(static_cast<unsigned char>(word[0]));
    };
    // "Osc" is "Oscillator" shortened, "Env" "Envelope"; a VCA's section
    // names the same part as an "Amp EG" row in it.
    static const std::vector<Words> sameParts = {
        ListOf("amp amplifier vca"), ListOf("filter filt flt vcf"),
        ListOf("osc oscillator vco dco"), ListOf("eg env envelope adsr")};
    const auto same = [](const std::string& a, const std::string& b) {
        const size_t shorter = std::min(a.size(), b.size());
        const bool shortened = shorter >= 3 && a.compare(0, shorter, b, 0, shorter) == 0;
        return a == b || shortened ||
               std::any_of(sameParts.begin(), sameParts.end(), [&](const Words& part) {
                   return part.count(a) != 0 && part.count(b) != 0;
               });
    };
    Words inSection;
    for (const std::string& word : WordsOf(section)) {
        if (!meaningful(word) || plainSections.count(word) != 0) {
            continue;
        }
        if (std::any_of(inName.begin(), inName.end(),
                        [&](const std::string& named) { return same(named, word); })) {
            return false;
        }
        inSection.insert(word);
    }
    // A name of its own part in a section of none ("Mixer", "Voice") reads on
    // its own; beside another part ("Filter amount" of an LFO) it does not.
    return !inSection.empty() && (!HasAny(kPartWords, inName) || HasAny(kPartWords, inSection));
}

ValueFacts ReadValueFacts(const std::string& usage, const std::string& orientation,
                          const std::string& defaultValue, long low, long high) {
    ValueFacts facts;
    facts.said = usage.find_first_not_of(" \t\r\n") != std::string::npos;
    const std::vector<UsageEntry> entries = ReadEntries(usage);
    bool inOrder = !entries.empty();
    for (size_t index = 0; index < entries.size(); ++index) {
        inOrder = inOrder && entries[index].first >= low && entries[index].last <= high &&
                  (index == 0 || entries[index].first > entries[index - 1].last);
    }
    const Words whole = WordsOf(usage);
    if (entries.size() == 2 && inOrder) {
        Words both = WordsOf(entries[0].label);
        const Words second = WordsOf(entries[1].label);
        both.insert(second.begin(), second.end());
        facts.onOff = both == Words{"on", "off"} && both.size() == 2 &&
                      WordsOf(entries[0].label).size() == 1 && second.size() == 1;
    }
    facts.onOff = facts.onOff || whole == Words{"on", "off"};
    if (inOrder && entries.size() >= 2) {
        for (const UsageEntry& entry : entries) {
            facts.positions.push_back({entry.first, WordsOf(entry.label), entry.stretch});
        }
    }
    for (size_t index = 0; inOrder && index < entries.size(); ++index) {
        const UsageEntry& entry = entries[index];
        const Words words = WordsOf(entry.label);
        if (entry.first == entry.last && entry.first > low && entry.first < high &&
            (HasAny(kCentreWords, words) ||
             (words.count("no") != 0 && words.count("modulation")))) {
            facts.centre = entry.first;
        } else if (entries.size() == 1 && SpansZero(entry.label)) {
            facts.centre = (entry.first + entry.last + 1) / 2;
        }
        facts.bipolar = facts.bipolar || words.count("negative") != 0;
    }
    facts.bipolar = facts.bipolar || facts.centre >= 0 || orientation == "centered";
    if (facts.bipolar) {
        // Its entries are the two sides of a centre, not a switch's positions.
        facts.positions.clear();
    }
    long given = -1;
    size_t at = 0;
    if (facts.bipolar && facts.centre < 0) {
        const bool readable = ReadNumber(defaultValue, at, given) && at == defaultValue.size();
        const long quarter = (high - low) / 4;
        facts.centre = readable && given > low + quarter && given < high - quarter
                           ? given
                           : (low + high + 1) / 2;
    }
    return facts;
}

ChosenRange ChooseRange(const std::string& section, const std::string& name,
                        const ValueFacts& facts, long low, long high) {
    ChosenRange chosen;
    chosen.low = low;
    chosen.high = high;
    if (facts.onOff) {
        chosen.off = "switch: on or off";
        return chosen;
    }
    if (!facts.positions.empty()) {
        static const Words unusable = ListOf(kUnusablePositions);
        size_t first = 0;
        size_t last = facts.positions.size() - 1;
        while (first < last && !FirstShared(unusable, facts.positions[first].words).empty()) {
            ++first;
        }
        while (last > first && !FirstShared(unusable, facts.positions[last].words).empty()) {
            --last;
        }
        if (first > 0 || last + 1 < facts.positions.size()) {
            low = first > 0 ? facts.positions[first].first : low;
            high = last + 1 < facts.positions.size() ? facts.positions[last + 1].first - 1 : high;
            chosen.low = low;
            chosen.high = high;
            chosen.narrowed = "switch: keeps off its positions of pitch, noise, an input or off";
        }
        // One position left is a pin, unless it is a stretch of its own
        // ("0: Off; 1~127: rate").
        if (first == last && !facts.positions[first].stretch) {
            chosen.off = "switch: its other positions give pitch, noise, an input or off";
            return chosen;
        }
    }
    if (high - low < kNarrowableSteps) {
        return chosen;
    }
    const Words inName = WordsOf(name);
    Words around = inName;
    const Words inSection = WordsOf(section);
    around.insert(inSection.begin(), inSection.end());
    for (const RangeRule& rule : kRangeRules) {
        if (!HasAny(rule.words, inName) || (rule.with[0] != '\0' && !HasAny(rule.with, around)) ||
            (rule.unless[0] != '\0' && HasAny(rule.unless, around))) {
            continue;
        }
        const bool centred = facts.bipolar || (rule.centredUnlessSaid && !facts.said);
        const long centre = facts.bipolar ? facts.centre : (low + high + 1) / 2;
        const bool windowed =
            centred && centre > low && centre < high && (rule.below < 1 || rule.above < 1);
        long kept[2] = {low, high};
        if (windowed) {
            kept[0] = centre - std::lround(rule.below * (centre - low));
            kept[1] = centre + std::lround(rule.above * (high - centre));
        } else if (!facts.bipolar || rule.below == 1) {
            kept[0] = low + std::lround(rule.low * (high - low));
            kept[1] = low + std::lround(rule.high * (high - low));
        }
        if (kept[0] != low || kept[1] != high) {
            chosen.low = kept[0];
            chosen.high = kept[1];
            chosen.narrowed = rule.reason;
        }
        return chosen;
    }
    return chosen;
}

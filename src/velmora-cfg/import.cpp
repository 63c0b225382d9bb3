#include "velmora-cfg/import.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <set>
#include <sstream>

#include "velmora-cfg/check.h"
#include "velmora-cfg/composed_text.h"
#include "velmora-cfg/file_names.h"
#include "velmora-cfg/output_files.h"
#include "velmora-cfg/parameter_kinds.h"

namespace {

const char kAttribution[] = "Derived from the MIDI Guide dataset by Pencil Research, CC BY-SA 4.0";
// Labels are cut so that the columns stay readable.
constexpr size_t kMaximumLabelLength = 40;
// Names from the dataset are cut in comments, which must stay one line each.
constexpr size_t kMaximumShownNameBytes = 80;
// The widest range a controller pair carries: 14 bits.
constexpr long kLargest14BitValue = 16383;

struct WrittenParameter {
    std::string section;
    std::string label;
    int controller = 0;
    int minimum = 0;
    int maximum = 0;
    // Why a playing control is written turned off; empty for a sound.
    std::string playing;
    // Why the range is narrower than the row's; empty when it is not.
    std::string narrowed;
};

// A whole decimal number of at most six digits, nothing else.
bool ReadWholeNumber(const std::string& text, long& value) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::stol(text);
    return true;
}

// A name from the dataset as it can stand in a comment: valid UTF-8, no
// control characters, bounded, cut between characters.
std::string CommentText(const std::string& text) {
    std::string shown;
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceLength(text, at);
        if (length == 0 || (length == 1 && static_cast<unsigned char>(text[at]) < 0x20) ||
            text[at] == 0x7F) {
            shown += ' ';
            at += length == 0 ? 1 : length;
            continue;
        }
        if (shown.size() + length > kMaximumShownNameBytes) {
            return shown + "...";
        }
        shown.append(text, at, length);
        at += length;
    }
    return shown;
}

// One token that the reader keeps whole: ASCII letters and digits, every
// run of anything else one '_'.
std::string LabelOf(const std::string& name, int controller) {
    std::string label;
    for (const char c : name) {
        const bool keep =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (keep) {
            label += c;
        } else if (!label.empty() && label.back() != '_') {
            label += '_';
        }
        if (label.size() == kMaximumLabelLength) {
            break;
        }
    }
    while (!label.empty() && label.back() == '_') {
        label.pop_back();
    }
    return label.empty() ? "CC" + std::to_string(controller) : label;
}

// The values a row gives, in its own units.
struct RowRange {
    long low = 0;
    long high = 127;
    // Wider than 0..127: the same share of it is taken.
    bool scaled = false;
};

// The values of a row's range, or why there are none.
Result<RowRange> RangeOfRow(const CsvRow& row) {
    RowRange range;
    if ((!row.ccMinimum.empty() && !ReadWholeNumber(row.ccMinimum, range.low)) ||
        (!row.ccMaximum.empty() && !ReadWholeNumber(row.ccMaximum, range.high)) ||
        range.high > kLargest14BitValue) {
        return Problem{"range not readable: '" + CommentText(row.ccMinimum) + "' to '" +
                       CommentText(row.ccMaximum) + "'"};
    }
    if (range.low > range.high) {
        return Problem{"range reversed: " + std::to_string(range.low) + " to " +
                       std::to_string(range.high)};
    }
    range.scaled = range.high > 127;
    return range;
}

// A value of a row's full scale (0..255, 0..1023, 0..16383...) as the same
// share of the coarse controller's 0..127, which spans it.
long ScaledValue(long value, long high) {
    long fullScale = 255;
    while (fullScale < high) {
        fullScale = fullScale * 2 + 1;
    }
    return (value * 127 + fullScale / 2) / fullScale;
}

// A value of a row's range as the coarse controller sends it.
long SentValue(long value, const RowRange& range) {
    return range.scaled ? ScaledValue(value, range.high) : value;
}

// A range as a configuration line holds it.
struct Bounds {
    int minimum = 0;
    int maximum = 0;
};

// The bounds to write for the values low..high. Velmora never sends a
// range's minimum, so a minimum above 0 is written one lower; a minimum of 0
// cannot be sent at all.
Result<Bounds> BoundsToWrite(long low, long high) {
    const Bounds bounds{low > 0 ? static_cast<int>(low) - 1 : 0, static_cast<int>(high)};
    if (SendableValues(bounds.minimum, bounds.maximum).count() < 2) {
        return Problem{"range gives fewer than two values Velmora can send: " +
                       std::to_string(low) + " to " + std::to_string(high)};
    }
    return bounds;
}

// Narrows a sound parameter's range by its meaning and the row's facts, or
// turns it off. A narrowed range that would leave fewer than two values is
// not used: a rule narrows, it never pins.
void ApplyRangeRules(const CsvRow& row, const RowRange& range, WrittenParameter& parameter) {
    ValueFacts facts =
        ReadValueFacts(row.usage, row.orientation, row.ccDefault, range.low, range.high);
    if (range.scaled) {
        facts.positions.clear();
        facts.centre = facts.centre < 0 ? -1 : ScaledValue(facts.centre, range.high);
    }
    const ChosenRange chosen =
        ChooseRange(row.section, row.parameterName, facts, SentValue(range.low, range),
                    SentValue(range.high, range));
    if (!chosen.off.empty()) {
        parameter.playing = chosen.off;
        return;
    }
    if (chosen.narrowed.empty()) {
        return;
    }
    const Result<Bounds> narrowed = BoundsToWrite(chosen.low, chosen.high);
    if (narrowed) {
        parameter.minimum = narrowed.value.minimum;
        parameter.maximum = narrowed.value.maximum;
        parameter.narrowed = chosen.narrowed;
    }
}

bool LabelTaken(const std::string& label, const std::vector<WrittenParameter>& written) {
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    return std::any_of(written.begin(), written.end(), [&](const WrittenParameter& earlier) {
        return lower(earlier.label) == lower(label);
    });
}

// A row's label: its name, with its section before it where the name alone
// does not say which part of the instrument it belongs to or reads
// otherwise (an LFO's "Reset"), since the checker and a user who moves lines
// see only the label; a number after it where an earlier line has it. A
// problem when neither reading sorts as the row does.
Result<std::string> LabelToWrite(const CsvRow& row, int controller, ParameterKind kind,
                                 const std::vector<WrittenParameter>& written) {
    const std::string bare = LabelOf(row.parameterName, controller);
    const std::string full = LabelOf(row.section + " " + row.parameterName, controller);
    const auto readsAsRow = [controller, kind](const std::string& label) {
        return SortParameter("", label, controller).kind == kind;
    };
    std::vector<std::string> choices = {bare, full};
    if (NeedsItsSection(row.section, row.parameterName) || LabelTaken(bare, written)) {
        std::swap(choices[0], choices[1]);
    }
    const auto readable = std::find_if(choices.begin(), choices.end(), readsAsRow);
    if (readable == choices.end()) {
        return Problem{"name reads otherwise without its section: '" + CommentText(row.section) +
                       "'"};
    }
    std::string label = *readable;
    for (int number = 2; LabelTaken(label, written); ++number) {
        const std::string suffix = "_" + std::to_string(number);
        std::string base = readable->substr(0, kMaximumLabelLength - suffix.size());
        while (base.back() == '_') {
            base.pop_back();
        }
        label = base + suffix;
    }
    return label;
}

// The parameter to write for a row, or why the row is left out. sorting says
// what kind of parameter the row is, once its controller is known.
Result<WrittenParameter> ParameterOfRow(const CsvRow& row,
                                        const std::vector<WrittenParameter>& written,
                                        std::optional<ParameterSorting>& sorting) {
    if (row.unreadable) {
        return Problem{"row not readable: " + row.unreadable->text};
    }
    if (row.ccNumber.empty()) {
        return Problem{"no CC number"};
    }
    long controller = 0;
    if (!ReadWholeNumber(row.ccNumber, controller) || controller > 127) {
        return Problem{"CC number not 0 to 127: '" + CommentText(row.ccNumber) + "'"};
    }
    WrittenParameter parameter;
    parameter.controller = static_cast<int>(controller);
    sorting = SortParameter(row.section, row.parameterName, parameter.controller);
    if (sorting->kind == ParameterKind::kHarmful) {
        return Problem{sorting->Explained()};
    }
    const Result<RowRange> range = RangeOfRow(row);
    if (!range) {
        return *range.problem;
    }
    const RowRange& values = range.value;
    const Result<Bounds> bounds =
        BoundsToWrite(SentValue(values.low, values), SentValue(values.high, values));
    if (!bounds) {
        return *bounds.problem;
    }
    parameter.minimum = bounds.value.minimum;
    parameter.maximum = bounds.value.maximum;
    for (const WrittenParameter& earlier : written) {
        if (earlier.controller == parameter.controller) {
            return Problem{"controller already written: " + std::to_string(controller) + " as " +
                           earlier.label};
        }
    }
    parameter.section = CommentText(row.section);
    parameter.playing = sorting->kind == ParameterKind::kPlaying ? sorting->Explained() : "";
    if (sorting->kind == ParameterKind::kSound) {
        ApplyRangeRules(row, values, parameter);
    }
    const Result<std::string> label =
        LabelToWrite(row, parameter.controller, sorting->kind, written);
    if (!label) {
        return *label.problem;
    }
    parameter.label = label.value;
    return parameter;
}

std::string SourceName(const std::string& csvPath) {
    const std::filesystem::path path = std::filesystem::u8path(csvPath);
    const std::string folder = path.parent_path().filename().u8string();
    const std::string file = path.filename().u8string();
    return folder.empty() ? file : folder + "/" + file;
}

void WriteHeader(const Instrument& instrument, const ImportOptions& options, std::ostream& out) {
    out << "# Velmora configuration for " << CommentText(instrument.manufacturer) << ' '
        << CommentText(instrument.device) << "\n"
        << "# Source: " << CommentText(instrument.source)
        << " of the MIDI Guide dataset (midi.guide)"
        << (options.snapshot.empty() ? "" : ", snapshot " + CommentText(options.snapshot)) << ".\n"
        << "# " << kAttribution << ".\n"
        << "# Changed: only Control Changes that change the sound are turned on; the\n"
        << "# playing controls follow them turned off, and what Velmora cannot send\n"
        << "# or should never send is listed at the end. A minimum above 0 is written\n"
        << "# one lower, since Velmora never sends a range's minimum; a range wider\n"
        << "# than 0 to 127 becomes the same share of its coarse controller's range.\n"
        << "# Ranges are narrowed where the whole of one rarely gives a usable sound,\n"
        << "# each with its reason above it.\n"
        << (instrument.keptAlternative.empty()
                ? ""
                : "# The device's sections share controllers between engines, algorithms\n"
                  "# or channels; a press plays one: this file keeps " +
                      instrument.keptAlternative + ".\n")
        << "# This file is licensed under CC BY-SA 4.0:\n"
        << "# https://creativecommons.org/licenses/by-sa/4.0/\n"
        << "# Made with: velmora-cfg import\n";
}

void WriteParameters(const std::vector<WrittenParameter>& parameters, std::ostream& out) {
    size_t labelWidth = 5;
    for (const WrittenParameter& parameter : parameters) {
        labelWidth = std::max(labelWidth, parameter.label.size());
    }
    const auto write = [labelWidth, &out](const WrittenParameter& parameter) {
        const std::string label = (parameter.playing.empty() ? "" : "#") + parameter.label;
        out << std::left << std::setw(labelWidth + 2) << label << std::right << std::setw(10)
            << parameter.controller << std::setw(9) << parameter.minimum << std::setw(9)
            << parameter.maximum << (parameter.playing.empty() ? "" : "  # " + parameter.playing)
            << '\n';
    };
    out << "#\n# " << std::left << std::setw(labelWidth) << "label" << std::right
        << "  controller  minimum  maximum\n";
    const std::string* section = nullptr;
    for (const WrittenParameter& parameter : parameters) {
        if (!parameter.playing.empty()) {
            continue;
        }
        if (section == nullptr || *section != parameter.section) {
            out << "\n# " << (parameter.section.empty() ? "(no section)" : parameter.section)
                << '\n';
            section = &parameter.section;
        }
        if (!parameter.narrowed.empty()) {
            out << "# narrowed: " << parameter.narrowed << '\n';
        }
        write(parameter);
    }
    bool playingHeader = false;
    for (const WrittenParameter& parameter : parameters) {
        if (parameter.playing.empty()) {
            continue;
        }
        if (!playingHeader) {
            out << "\n# Turned off: each changes how the instrument is played rather than its\n"
                << "# sound, has no known meaning or only switches something on or off.\n"
                << "# Delete the '#' before a label to randomize it.\n";
            playingHeader = true;
        }
        write(parameter);
    }
}

void WriteLeftOut(const std::vector<LeftOutRow>& rows, std::ostream& out) {
    if (rows.empty()) {
        return;
    }
    out << "\n# Rows of the source left out:\n";
    for (const LeftOutRow& row : rows) {
        out << "# line " << row.line << ", '" << row.name << "': " << row.reason << '\n';
    }
}

// The first non-empty value of a column, or the fallback.
std::string FirstOf(const std::vector<CsvRow>& rows, std::string CsvRow::*column,
                    const std::string& fallback) {
    for (const CsvRow& row : rows) {
        if (!(row.*column).empty()) {
            return row.*column;
        }
    }
    return fallback;
}

// The names written so far, by their case keys.
struct OutputNames {
    std::map<std::string, std::string> folders;
    std::set<std::string> files;
};

// Where an instrument's file goes within the output folder. Names that
// differ only in case would be one file on Windows and macOS: a later one
// gets a number, and goes into the folder of the first spelling.
std::filesystem::path OutputPath(const Instrument& instrument, OutputNames& taken) {
    const std::string manufacturer = SafeFileName(ComposedText(instrument.manufacturer));
    const std::string& folder =
        taken.folders.emplace(CaseKey(manufacturer), manufacturer).first->second;
    const std::string device = SafeFileName(ComposedText(instrument.device));
    std::string name = device;
    for (int number = 2; !taken.files.insert(CaseKey(folder + "/" + name)).second; ++number) {
        name = device + " (" + std::to_string(number) + ")";
    }
    return std::filesystem::u8path(folder) / std::filesystem::u8path(name + ".cfg");
}

// Whether Velmora would read the text with nothing to warn about.
bool PassesCheck(const Instrument& instrument) {
    std::stringbuf text(instrument.text);
    std::vector<CheckedParameter> parameters;
    std::ostringstream report;
    return CheckConfiguration(instrument.source, text, parameters, report) ==
               ExitStatus::kSuccess &&
           static_cast<int>(parameters.size()) == instrument.parameters;
}

// The parameters of one section together, the sections in the order in which
// they first appear; within a section the source's order stays.
void GroupBySection(std::vector<WrittenParameter>& parameters) {
    std::vector<std::string> sections;
    for (const WrittenParameter& parameter : parameters) {
        if (std::find(sections.begin(), sections.end(), parameter.section) == sections.end()) {
            sections.push_back(parameter.section);
        }
    }
    const auto rank = [&sections](const WrittenParameter& parameter) {
        return std::find(sections.begin(), sections.end(), parameter.section) - sections.begin();
    };
    std::stable_sort(parameters.begin(), parameters.end(),
                     [&rank](const WrittenParameter& a, const WrittenParameter& b) {
                         return rank(a) < rank(b);
                     });
}

std::string Tally(const std::string& reason) {
    return reason.substr(0, reason.find(':'));
}

// A much smaller share and a device's sections are only neighbours.
constexpr size_t kSharedControllersOfAlternatives = 3;

// Sections that are alternatives of an earlier one, by the earlier one: the
// same controllers with other parameters on them (a drum machine's engines,
// an FM synth's algorithms, the channels of a multitimbral device). A press
// can play only one of them, and a mix of their names misleads.
std::map<std::string, std::string> AlternativeSections(const std::vector<CsvRow>& rows) {
    std::vector<std::pair<std::string, std::set<long>>> sections;
    for (const CsvRow& row : rows) {
        long controller = 0;
        if (row.section.empty() || row.unreadable || !ReadWholeNumber(row.ccNumber, controller)) {
            continue;
        }
        auto known = std::find_if(sections.begin(), sections.end(), [&row](const auto& section) {
            return section.first == row.section;
        });
        if (known == sections.end()) {
            known = sections.insert(sections.end(), {row.section, {}});
        }
        known->second.insert(controller);
    }
    std::map<std::string, std::string> alternatives;
    std::vector<size_t> kept;
    for (size_t index = 0; index < sections.size(); ++index) {
        const std::set<long>& controllers = sections[index].second;
        const auto isAlternativeOf = [&](size_t earlier) {
            const std::set<long>& others = sections[earlier].second;
            const size_t shared =
                std::count_if(controllers.begin(), controllers.end(),
                              [&others](long controller) { return others.count(controller) != 0; });
            return shared >= kSharedControllersOfAlternatives &&
                   shared * 2 >= std::min(controllers.size(), others.size());
        };
        const auto earlier = std::find_if(kept.begin(), kept.end(), isAlternativeOf);
        if (earlier == kept.end()) {
            kept.push_back(index);
        } else {
            alternatives[sections[index].first] = sections[*earlier].first;
        }
    }
    return alternatives;
}

}  // namespace

Instrument MakeInstrument(const std::vector<CsvRow>& rows, const std::string& csvPath,
                          const ImportOptions& options) {
    const std::filesystem::path path = std::filesystem::u8path(csvPath);
    Instrument instrument;
    instrument.manufacturer =
        FirstOf(rows, &CsvRow::manufacturer, path.parent_path().filename().u8string());
    instrument.device = FirstOf(rows, &CsvRow::device, path.stem().u8string());
    instrument.source = SourceName(csvPath);

    const std::map<std::string, std::string> alternatives = AlternativeSections(rows);
    std::set<std::string> keptAlternatives;
    std::vector<WrittenParameter> written;
    for (const CsvRow& row : rows) {
        std::optional<ParameterSorting> sorting;
        const auto alternative = alternatives.find(row.section);
        if (alternative != alternatives.end()) {
            keptAlternatives.insert(alternative->second);
        }
        const Result<WrittenParameter> made =
            alternative != alternatives.end()
                ? Problem{"another engine, algorithm or channel on the controllers of: '" +
                          CommentText(alternative->second) + "'"}
                : ParameterOfRow(row, written, sorting);
        if (made) {
            const WrittenParameter& parameter = made.value;
            written.push_back(parameter);
            instrument.parameters += parameter.playing.empty() ? 1 : 0;
            instrument.narrowed[parameter.narrowed] += parameter.narrowed.empty() ? 0 : 1;
            if (!parameter.playing.empty()) {
                instrument.turnedOff[Tally(parameter.playing)] += 1;
            }
        } else {
            instrument.leftOut.push_back(
                {row.line, CommentText(row.parameterName), made.problem->text});
        }
        if (sorting) {
            instrument.rowsOfKind[sorting->kind] += 1;
        }
    }
    instrument.narrowed.erase("");
    for (const std::string& section : keptAlternatives) {
        instrument.keptAlternative +=
            (instrument.keptAlternative.empty() ? "'" : ", '") + CommentText(section) + "'";
    }
    GroupBySection(written);
    std::ostringstream text;
    WriteHeader(instrument, options, text);
    WriteParameters(written, text);
    WriteLeftOut(instrument.leftOut, text);
    instrument.text = text.str();
    return instrument;
}

namespace {

// What an import did over all its files, for its last lines.
struct ImportSummary {
    int instruments = 0;
    int parameters = 0;
    std::map<ParameterKind, int> rowsOfKind;
    std::map<std::string, int> leftOut;
    std::map<std::string, int> turnedOff;
    std::map<std::string, int> narrowed;
};

void AddCounts(const std::map<std::string, int>& counts, std::map<std::string, int>& totals) {
    for (const auto& count : counts) {
        totals[count.first] += count.second;
    }
}

// Reads one CSV file's rows.
Result<std::vector<CsvRow>> ReadInstrumentRows(const std::string& csvPath) {
    std::ifstream file(std::filesystem::u8path(csvPath), std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return Problem{"cannot be opened"};
    }
    Result<std::vector<CsvRow>> rows = ReadCsvRows(csvPath, file);
    if (!rows) {
        rows.problem->text = "not an instrument description: " + rows.problem->text;
    }
    return rows;
}

// Writes one instrument's file, says so in the log and adds it to the
// summary; returns the exit status it gives.
ExitStatus WriteInstrument(const std::string& csvPath, const Instrument& instrument,
                           const ImportOptions& options, OutputNames& taken, ImportSummary& summary,
                           std::ostream& log) {
    if (instrument.parameters < options.minimumParameters) {
        log << csvPath << ": not written: " << instrument.parameters
            << " sound parameters, fewer than " << options.minimumParameters << '\n';
        summary.leftOut["instruments not written, with too few sound parameters"] += 1;
        return ExitStatus::kWarnings;
    }
    if (!PassesCheck(instrument)) {
        log << csvPath << ": error: the file made from it does not pass the check\n";
        return ExitStatus::kFailed;
    }
    const std::filesystem::path output = OutputPath(instrument, taken);
    const Result<Done> written = WriteFileInFolder(std::filesystem::u8path(options.outputFolder),
                                                   output, instrument.text, options.replace);
    if (!written) {
        const Problem& problem = *written.problem;
        log << csvPath << (problem.status == ExitStatus::kFailed ? ": error: " : ": not written: ")
            << problem.text << '\n';
        return problem.status;
    }
    log << csvPath << ": " << instrument.parameters << " sound parameters, "
        << instrument.leftOut.size()
        << " rows left out: " << (std::filesystem::u8path(options.outputFolder) / output).u8string()
        << '\n';
    summary.instruments += 1;
    summary.parameters += instrument.parameters;
    for (const LeftOutRow& row : instrument.leftOut) {
        summary.leftOut[Tally(row.reason)] += 1;
    }
    AddCounts(instrument.turnedOff, summary.turnedOff);
    AddCounts(instrument.narrowed, summary.narrowed);
    return ExitStatus::kSuccess;
}

void WriteSummary(const ImportSummary& summary, std::ostream& log) {
    const auto rows = [&summary](ParameterKind kind) {
        const auto count = summary.rowsOfKind.find(kind);
        return count == summary.rowsOfKind.end() ? 0 : count->second;
    };
    log << summary.instruments << " instruments written with " << summary.parameters
        << " sound parameters\n"
        << "rows with a controller read: " << rows(ParameterKind::kSound) << " sound, "
        << rows(ParameterKind::kPlaying) << " playing controls, " << rows(ParameterKind::kHarmful)
        << " harmful\n";
    for (const auto& reason : summary.narrowed) {
        log << "  narrowed: " << reason.second << " x " << reason.first << '\n';
    }
    for (const auto& reason : summary.turnedOff) {
        log << "  turned off: " << reason.second << " x " << reason.first << '\n';
    }
    for (const auto& reason : summary.leftOut) {
        log << "  left out: " << reason.second << " x " << reason.first << '\n';
    }
}

}  // namespace

ExitStatus ImportInstruments(const std::vector<std::string>& csvPaths, const ImportOptions& options,
                             std::ostream& log) {
    ExitStatus status = ExitStatus::kSuccess;
    ImportSummary summary;
    OutputNames taken;
    for (const std::string& csvPath : csvPaths) {
        const Result<std::vector<CsvRow>> rows = ReadInstrumentRows(csvPath);
        if (!rows) {
            log << csvPath << ": error: " << rows.problem->text << '\n';
            status = Worse(status, rows.problem->status);
            continue;
        }
        const Instrument instrument = MakeInstrument(rows.value, csvPath, options);
        for (const auto& kind : instrument.rowsOfKind) {
            summary.rowsOfKind[kind.first] += kind.second;
        }
        status = Worse(status, WriteInstrument(csvPath, instrument, options, taken, summary, log));
    }
    WriteSummary(summary, log);
    return status;
}

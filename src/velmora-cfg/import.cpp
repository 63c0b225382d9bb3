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

// The bounds to write for an instrument's range, or why there are none.
// Velmora never sends a range's minimum, so a minimum above 0 is written one
// lower; a minimum of 0 cannot be sent at all.
std::string RangeToWrite(const CsvRow& row, int& minimum, int& maximum) {
    long low = 0;
    long high = 127;
    if ((!row.ccMinimum.empty() && !ReadWholeNumber(row.ccMinimum, low)) ||
        (!row.ccMaximum.empty() && !ReadWholeNumber(row.ccMaximum, high)) ||
        high > kLargest14BitValue) {
        return "range not readable: '" + CommentText(row.ccMinimum) + "' to '" +
               CommentText(row.ccMaximum) + "'";
    }
    if (low > high) {
        return "range reversed: " + std::to_string(low) + " to " + std::to_string(high);
    }
    if (high > 127) {
        // The range is a share of the parameter's full scale (0..255,
        // 0..1023, 0..16383...), which the coarse controller's 0..127 spans.
        long fullScale = 255;
        while (fullScale < high) {
            fullScale = fullScale * 2 + 1;
        }
        low = (low * 127 + fullScale / 2) / fullScale;
        high = (high * 127 + fullScale / 2) / fullScale;
    }
    minimum = low > 0 ? static_cast<int>(low) - 1 : 0;
    maximum = static_cast<int>(high);
    if (SendableValues(minimum, maximum).count() < 2) {
        return "range gives fewer than two values Velmora can send: " + std::to_string(low) +
               " to " + std::to_string(high);
    }
    return "";
}

// Why a row is left out, or empty when it is written. sorting says what
// kind of parameter the row is, once its controller is known.
std::string ReasonToLeaveOut(const CsvRow& row, const std::vector<WrittenParameter>& written,
                             WrittenParameter& parameter,
                             std::optional<ParameterSorting>& sorting) {
    if (!row.unreadable.empty()) {
        return "row not readable: " + row.unreadable;
    }
    if (row.ccNumber.empty()) {
        return "no CC number";
    }
    long controller = 0;
    if (!ReadWholeNumber(row.ccNumber, controller) || controller > 127) {
        return "CC number not 0 to 127: '" + CommentText(row.ccNumber) + "'";
    }
    parameter.controller = static_cast<int>(controller);
    sorting = SortParameter(row.section, row.parameterName, parameter.controller);
    if (sorting->kind == ParameterKind::kHarmful) {
        return sorting->Explained();
    }
    const std::string range = RangeToWrite(row, parameter.minimum, parameter.maximum);
    if (!range.empty()) {
        return range;
    }
    for (const WrittenParameter& earlier : written) {
        if (earlier.controller == parameter.controller) {
            return "controller already written: " + std::to_string(controller) + " as " +
                   earlier.label;
        }
    }
    parameter.section = CommentText(row.section);
    parameter.playing = sorting->kind == ParameterKind::kPlaying ? sorting->Explained() : "";
    // The checker sees only the label: where the name alone reads otherwise
    // (an LFO's "Reset"), the section goes into it.
    parameter.label = LabelOf(row.parameterName, parameter.controller);
    if (SortParameter("", parameter.label, parameter.controller).kind != sorting->kind) {
        parameter.label = LabelOf(row.section + " " + row.parameterName, parameter.controller);
    }
    if (SortParameter("", parameter.label, parameter.controller).kind != sorting->kind) {
        return "name reads otherwise without its section: '" + CommentText(row.section) + "'";
    }
    return "";
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
        write(parameter);
    }
    bool playingHeader = false;
    for (const WrittenParameter& parameter : parameters) {
        if (parameter.playing.empty()) {
            continue;
        }
        if (!playingHeader) {
            out << "\n# Playing controls, turned off: each changes how the instrument is played\n"
                << "# rather than its sound. Delete the '#' before a label to randomize it.\n";
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
    return CheckConfiguration(instrument.source, text, parameters, report) == kNothingToWarn &&
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

}  // namespace

Instrument MakeInstrument(const std::vector<CsvRow>& rows, const std::string& csvPath,
                          const ImportOptions& options) {
    const std::filesystem::path path = std::filesystem::u8path(csvPath);
    Instrument instrument;
    instrument.manufacturer =
        FirstOf(rows, &CsvRow::manufacturer, path.parent_path().filename().u8string());
    instrument.device = FirstOf(rows, &CsvRow::device, path.stem().u8string());
    instrument.source = SourceName(csvPath);

    std::vector<WrittenParameter> written;
    for (const CsvRow& row : rows) {
        WrittenParameter parameter;
        std::optional<ParameterSorting> sorting;
        const std::string reason = ReasonToLeaveOut(row, written, parameter, sorting);
        if (reason.empty()) {
            written.push_back(parameter);
            instrument.parameters += parameter.playing.empty() ? 1 : 0;
        } else {
            instrument.leftOut.push_back({row.line, CommentText(row.parameterName), reason});
        }
        if (sorting) {
            instrument.rowsOfKind[static_cast<int>(sorting->kind)] += 1;
        }
    }
    GroupBySection(written);
    std::ostringstream text;
    WriteHeader(instrument, options, text);
    WriteParameters(written, text);
    WriteLeftOut(instrument.leftOut, text);
    instrument.text = text.str();
    return instrument;
}

int ImportInstruments(const std::vector<std::string>& csvPaths, const ImportOptions& options,
                      std::ostream& log) {
    int status = 0;
    int instruments = 0;
    int parameters = 0;
    int rowsOfKind[3] = {0, 0, 0};
    std::map<std::string, int> leftOut;
    OutputNames taken;
    for (const std::string& csvPath : csvPaths) {
        std::ifstream file(std::filesystem::u8path(csvPath), std::ios::in | std::ios::binary);
        std::vector<CsvRow> rows;
        std::string problem;
        if (!file.is_open()) {
            problem = "cannot be opened";
        } else if (!ReadCsvRows(csvPath, file, rows, problem)) {
            problem = "not an instrument description: " + problem;
        }
        if (!problem.empty()) {
            log << csvPath << ": error: " << problem << '\n';
            status = 2;
            continue;
        }
        const Instrument instrument = MakeInstrument(rows, csvPath, options);
        for (int kind = 0; kind < 3; ++kind) {
            rowsOfKind[kind] += instrument.rowsOfKind[kind];
        }
        if (instrument.parameters < options.minimumParameters) {
            log << csvPath << ": not written: " << instrument.parameters
                << " sound parameters, fewer than " << options.minimumParameters << '\n';
            status = std::max(status, 1);
            leftOut["instruments not written, with too few sound parameters"] += 1;
            continue;
        }
        if (!PassesCheck(instrument)) {
            log << csvPath << ": error: the file made from it does not pass the check\n";
            status = 2;
            continue;
        }
        const std::filesystem::path output = OutputPath(instrument, taken);
        const WriteOutcome outcome =
            WriteFileInFolder(std::filesystem::u8path(options.outputFolder), output,
                              instrument.text, options.replace, problem);
        if (outcome != WriteOutcome::kWritten) {
            log << csvPath << (outcome == WriteOutcome::kKept ? ": not written: " : ": error: ")
                << problem << '\n';
            status = std::max(status, outcome == WriteOutcome::kKept ? 1 : 2);
            continue;
        }
        log << csvPath << ": " << instrument.parameters << " sound parameters, "
            << instrument.leftOut.size() << " rows left out: "
            << (std::filesystem::u8path(options.outputFolder) / output).u8string() << '\n';
        ++instruments;
        parameters += instrument.parameters;
        for (const LeftOutRow& row : instrument.leftOut) {
            leftOut[Tally(row.reason)] += 1;
        }
    }
    log << instruments << " instruments written with " << parameters << " sound parameters\n"
        << "rows with a controller read: " << rowsOfKind[0] << " sound, " << rowsOfKind[1]
        << " playing controls, " << rowsOfKind[2] << " harmful\n";
    for (const auto& reason : leftOut) {
        log << "  left out: " << reason.second << " x " << reason.first << '\n';
    }
    return status;
}

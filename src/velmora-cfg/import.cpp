#include "velmora-cfg/import.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <set>
#include <sstream>

#include "velmora-cfg/check.h"
#include "velmora-cfg/controller_names.h"
#include "velmora-cfg/file_names.h"

namespace {

const char kAttribution[] = "Derived from the MIDI Guide dataset by Pencil Research, CC BY-SA 4.0";
// Labels are cut so that the columns stay readable.
constexpr size_t kMaximumLabelLength = 40;
// Names from the dataset are cut in comments, which must stay one line each.
constexpr size_t kMaximumShownNameBytes = 80;
// A 14-bit pair's range (up to 16383) is sent on its coarse controller,
// which carries the value's upper 7 bits.
constexpr long kLargest14BitValue = 16383;

struct WrittenParameter {
    std::string section;
    std::string label;
    int controller = 0;
    int minimum = 0;
    int maximum = 0;
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
        low >>= 7;
        high >>= 7;
    }
    minimum = low > 0 ? static_cast<int>(low) - 1 : 0;
    maximum = static_cast<int>(high);
    if (SendableValues(minimum, maximum).count() < 2) {
        return "range gives fewer than two values Velmora can send: " + std::to_string(low) +
               " to " + std::to_string(high);
    }
    return "";
}

// Why a row is left out, or empty when it is written.
std::string ReasonToLeaveOut(const CsvRow& row, const std::vector<WrittenParameter>& written,
                             WrittenParameter& parameter) {
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
    if (const char* name = RiskyControllerName(parameter.controller)) {
        return "controller does more than change a sound: " + std::to_string(controller) + " is " +
               name;
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
    parameter.label = LabelOf(row.parameterName, parameter.controller);
    parameter.section = CommentText(row.section);
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
        << "# Changed: only Control Changes that Velmora can send safely are kept (the\n"
        << "# others are listed at the end); a minimum above 0 is written one lower,\n"
        << "# since Velmora never sends a range's minimum; a 14-bit range is reduced to\n"
        << "# its coarse controller.\n"
        << "# This file is licensed under CC BY-SA 4.0:\n"
        << "# https://creativecommons.org/licenses/by-sa/4.0/\n"
        << "# Made with: velmora-cfg import\n";
}

void WriteParameters(const std::vector<WrittenParameter>& parameters, std::ostream& out) {
    size_t labelWidth = 5;
    for (const WrittenParameter& parameter : parameters) {
        labelWidth = std::max(labelWidth, parameter.label.size());
    }
    out << "#\n# " << std::left << std::setw(labelWidth) << "label" << std::right
        << "  controller  minimum  maximum\n";
    const std::string* section = nullptr;
    for (const WrittenParameter& parameter : parameters) {
        if (section == nullptr || *section != parameter.section) {
            out << "\n# " << (parameter.section.empty() ? "(no section)" : parameter.section)
                << '\n';
            section = &parameter.section;
        }
        out << std::left << std::setw(labelWidth + 2) << parameter.label << std::right
            << std::setw(10) << parameter.controller << std::setw(9) << parameter.minimum
            << std::setw(9) << parameter.maximum << '\n';
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

// Where an instrument's file goes. Names that differ only in case would be
// one file on Windows and macOS: a later one gets a number, and goes into
// the folder of the first spelling.
std::filesystem::path OutputPath(const Instrument& instrument, const ImportOptions& options,
                                 OutputNames& taken) {
    const std::string manufacturer = SafeFileName(instrument.manufacturer);
    const std::string& folder =
        taken.folders.emplace(CaseKey(manufacturer), manufacturer).first->second;
    const std::string device = SafeFileName(instrument.device);
    std::string name = device;
    for (int number = 2; !taken.files.insert(CaseKey(folder + "/" + name)).second; ++number) {
        name = device + " (" + std::to_string(number) + ")";
    }
    return std::filesystem::u8path(options.outputFolder) / std::filesystem::u8path(folder) /
           std::filesystem::u8path(name + ".cfg");
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
        const std::string reason = ReasonToLeaveOut(row, written, parameter);
        if (reason.empty()) {
            written.push_back(parameter);
        } else {
            instrument.leftOut.push_back({row.line, CommentText(row.parameterName), reason});
        }
    }
    instrument.parameters = static_cast<int>(written.size());
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
        if (instrument.parameters < options.minimumParameters) {
            log << csvPath << ": not written: " << instrument.parameters
                << " parameters, fewer than " << options.minimumParameters << '\n';
            status = std::max(status, 1);
            leftOut["instruments not written, with too few parameters"] += 1;
            continue;
        }
        if (!PassesCheck(instrument)) {
            log << csvPath << ": error: the file made from it does not pass the check\n";
            status = 2;
            continue;
        }
        const std::filesystem::path output = OutputPath(instrument, options, taken);
        std::error_code error;
        std::filesystem::create_directories(output.parent_path(), error);
        std::ofstream out(output, std::ios::out | std::ios::binary | std::ios::trunc);
        out << instrument.text;
        out.close();
        if (error || !out) {
            log << csvPath << ": error: cannot write " << output.u8string() << '\n';
            status = 2;
            continue;
        }
        log << csvPath << ": " << instrument.parameters << " parameters, "
            << instrument.leftOut.size() << " rows left out: " << output.u8string() << '\n';
        ++instruments;
        parameters += instrument.parameters;
        for (const LeftOutRow& row : instrument.leftOut) {
            leftOut[Tally(row.reason)] += 1;
        }
    }
    log << instruments << " instruments written with " << parameters << " parameters\n";
    for (const auto& reason : leftOut) {
        log << "  left out: " << reason.second << " x " << reason.first << '\n';
    }
    return status;
}

#include "velmora-cfg/check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <system_error>
#include <utility>

#include "config/configuration.h"
#include "config/line_reader.h"
#include "config/tokenizer.h"
#include "randomize/control_change.h"
#include "randomize/random_generator.h"
#include "velmora-cfg/controller_names.h"
#include "velmora-cfg/parameter_kinds.h"

namespace {

const char kByteOrderMark[] = "\xEF\xBB\xBF";
// Longer labels and fields are shown cut, so that a report stays readable.
constexpr size_t kShownLength = 32;

// Text from the file as it can be shown on any console: printable ASCII as
// it is, every other byte as \xNN.
std::string Shown(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (size_t at = 0; at < text.size() && at < kShownLength; ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            shown += static_cast<char>(c);
        } else {
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0x0F];
        }
    }
    return text.size() > kShownLength ? shown + "..." : shown;
}

std::string Quoted(const std::string& text) {
    return "'" + Shown(text) + "'";
}

// A decimal number that reads as itself: digits only, 0 to 127.
bool IsPlainNumber(const std::string& token) {
    unsigned value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 127) {
            return false;
        }
    }
    return !token.empty();
}

// Whether a byte other than NUL follows the first NUL of the line buffer:
// text that the line's fields never see.
bool HasTextAfterNul(const char (&line)[kMaximumLineLength + 1]) {
    const size_t end = std::strlen(line);
    return std::any_of(line + end, line + kMaximumLineLength + 1, [](char c) { return c != '\0'; });
}

struct Reporter {
    const std::string& name;
    std::ostream& out;
    bool warned = false;

    void Warning(int line, const std::string& text) {
        out << name << ':' << line << ": warning: " << text << '\n';
        warned = true;
    }
    void Note(int line, const std::string& text) {
        out << name << ':' << line << ": note: " << text << '\n';
    }
};

// What one file has shown so far that later lines depend on.
struct FileState {
    bool minimumNoted = false;
    // The first line of each controller that sends.
    std::map<int, int> lineOfController;
};

void CheckFields(int line, const std::string (&fields)[5], Reporter& reporter) {
    static const char* const kFieldNames[] = {"label", "controller", "minimum", "maximum"};
    int present = 0;
    while (present < 4 && !fields[present].empty()) {
        ++present;
    }
    if (present == 0) {
        reporter.Warning(line,
                         "a line of blanks is not skipped: it is a parameter with "
                         "controller 0 and range 0 0");
    } else if (present < 4) {
        std::string missing;
        for (int field = present; field < 4; ++field) {
            missing += field == present ? "" : field == 3 ? " and " : ", ";
            missing += kFieldNames[field];
        }
        reporter.Warning(line, "missing " + missing + ": read as 0");
    }
    if (fields[4].empty()) {
        return;
    }
    if (fields[4][0] == '#') {
        reporter.Note(line, "the text from '#' on is ignored");
    } else {
        reporter.Warning(
            line, "extra field " + Quoted(fields[4]) + ": everything after the maximum is ignored");
    }
}

void CheckNumbers(int line, const std::string (&fields)[5], Reporter& reporter) {
    static const char* const kNumberNames[] = {"controller", "minimum", "maximum"};
    for (int field = 1; field <= 3; ++field) {
        const std::string& token = fields[field];
        if (token.empty() || IsPlainNumber(token)) {
            continue;
        }
        const int value = static_cast<uint8_t>(ReadInteger(token));
        std::string text = std::string(kNumberNames[field - 1]) + " " + Quoted(token) +
                           " is not a number from 0 to 127: read as " + std::to_string(value);
        if (token[0] == '#') {
            text += " ('#' starts a comment only in the first column)";
        }
        if (field == 1 && !IsControllerNumber(value)) {
            text += ", so this parameter sends nothing";
        }
        reporter.Warning(line, text);
    }
}

void CheckController(int line, const std::string& label, int controller, Reporter& reporter,
                     FileState& state) {
    if (!IsControllerNumber(controller)) {
        return;
    }
    const ParameterSorting sorting = SortParameter("", label, controller);
    const char* name = RiskyControllerName(controller);
    if (name != nullptr && !DeviceNamesItsOwn("", label, controller)) {
        reporter.Warning(line, "controller " + std::to_string(controller) + " is " + name +
                                   ": it does more than change a sound");
    } else if (sorting.kind == ParameterKind::kHarmful) {
        reporter.Warning(line, Quoted(label) + " reads as a control that " + sorting.reason + " (" +
                                   sorting.word + "): a press may do more than change the sound");
    } else if (sorting.kind == ParameterKind::kPlaying) {
        reporter.Note(line, Quoted(label) + " reads as a playing control (" + sorting.Explained() +
                                "): a press changes how the instrument plays, not its sound");
    }
    const auto first = state.lineOfController.emplace(controller, line);
    if (!first.second) {
        reporter.Warning(line, "controller " + std::to_string(controller) + " is also on line " +
                                   std::to_string(first.first->second) +
                                   ": every press sends it twice and the later value stays");
    }
}

void CheckRange(int line, int minimum, int maximum, Reporter& reporter, FileState& state) {
    const std::bitset<128> values = SendableValues(minimum, maximum);
    const std::string range = std::to_string(minimum) + " " + std::to_string(maximum);
    if (minimum > maximum) {
        reporter.Warning(line,
                         "reversed range " + range + ": a press sends " + DescribeValues(values));
    } else if (minimum < maximum && values.count() == 1) {
        reporter.Warning(line, "range " + range + " can send only " + DescribeValues(values) +
                                   ": a press never sends the minimum");
    } else if (minimum < maximum && !state.minimumNoted) {
        reporter.Note(line, "a press never sends the minimum: " + range + " sends " +
                                DescribeValues(values) +
                                "; write one below the lowest value you want");
        state.minimumNoted = true;
    }
}

void CheckParameterLine(int line, const char (&text)[kMaximumLineLength + 1], bool cut,
                        Reporter& reporter, FileState& state,
                        std::vector<CheckedParameter>& parameters) {
    // The parameter itself comes from the program's own reading of the line.
    const std::unique_ptr<Parameter> parameter(ParseParameter(text));
    std::string fields[5];
    Tokenizer tokenizer(text);
    for (std::string& field : fields) {
        field = tokenizer.NextToken(kFieldDelimiters);
    }

    const bool byteOrderMark = line == 1 && std::strncmp(text, kByteOrderMark, 3) == 0;
    if (byteOrderMark) {
        reporter.Warning(line, std::string("the file begins with a byte-order mark: it is read as "
                                           "part of this line") +
                                   (text[3] == '#' ? ", so this comment is a parameter" : "") +
                                   "; save the file without one");
    } else if (fields[0][0] == '#') {
        reporter.Warning(line,
                         "'#' is not in the first column: this line is a parameter, not a "
                         "comment");
    }
    if (std::strchr(text, '\r') != nullptr) {
        reporter.Warning(line, "a carriage return without a line feed is an ordinary character");
    }
    if (HasTextAfterNul(text)) {
        reporter.Warning(line, "a NUL byte ends the text of this line: the rest is ignored");
    }
    if (cut) {
        reporter.Warning(line, "line longer than " + std::to_string(kMaximumLineLength) +
                                   " characters: the rest of it is ignored");
    }
    CheckFields(line, fields, reporter);
    CheckNumbers(line, fields, reporter);
    CheckController(line, parameter->label, parameter->controller, reporter, state);
    CheckRange(line, parameter->minimum, parameter->maximum, reporter, state);

    CheckedParameter checked;
    checked.line = line;
    checked.label = parameter->label;
    checked.controller = parameter->controller;
    if (IsControllerNumber(parameter->controller)) {
        checked.values = SendableValues(parameter->minimum, parameter->maximum);
    }
    parameters.push_back(checked);
}

// The file as Velmora opens it: only a regular file (links followed).
Result<std::ifstream> OpenConfiguration(const std::filesystem::path& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        return Problem{"no such file"};
    }
    if (error) {
        return Problem{error.message()};
    }
    if (status.type() != std::filesystem::file_type::regular) {
        return Problem{"not a regular file"};
    }
    errno = 0;
    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return Problem{errno != 0 ? std::strerror(errno) : "it cannot be opened"};
    }
    return file;
}

}  // namespace

std::bitset<128> SendableValues(int minimum, int maximum) {
    // Every raw value is tried, so a range costs 32768 steps: each range is
    // worked out once.
    static std::map<std::pair<int, int>, std::bitset<128>> known;
    const auto found = known.find({minimum, maximum});
    if (found != known.end()) {
        return found->second;
    }
    std::bitset<128> values;
    for (int32_t raw = 0; raw <= 0x7FFF && !values.all(); ++raw) {
        const DWORD message = PackControlChange(0, 0, ValueInRange(minimum, maximum, raw));
        values.set((message >> 16) & 0x7F);
    }
    known.emplace(std::make_pair(minimum, maximum), values);
    return values;
}

std::string DescribeValues(const std::bitset<128>& values) {
    std::string text;
    for (size_t first = 0; first < values.size(); ++first) {
        if (!values[first]) {
            continue;
        }
        size_t last = first;
        while (last + 1 < values.size() && values[last + 1]) {
            ++last;
        }
        text += text.empty() ? "" : ", ";
        text += std::to_string(first);
        if (last > first) {
            text += (last == first + 1 ? ", " : "..") + std::to_string(last);
        }
        first = last;
    }
    return text;
}

ExitStatus CheckConfiguration(const std::string& name, std::streambuf& file,
                              std::vector<CheckedParameter>& parameters, std::ostream& report) {
    Reporter reporter{name, report};
    FileState state;
    const size_t parametersBefore = parameters.size();
    // Large enough to live on the heap.
    const std::unique_ptr<LineReader> lines(new LineReader(file));
    char text[kMaximumLineLength + 1];
    int line = 0;
    for (;;) {
        const bool read = lines->ReadLine(text);
        line += read ? 1 : 0;
        if (read && text[0] == '\0' && HasTextAfterNul(text)) {
            reporter.Warning(line, "the line begins with a NUL byte: all of it is skipped");
        } else if (read && IsParameterLine(text)) {
            CheckParameterLine(line, text, lines->lineCut, reporter, state, parameters);
        }
        if (lines->endedAtControlZ) {
            // A Ctrl-Z at the start of a line ends the file before that line.
            reporter.Warning(read ? line : line + 1,
                             "a Ctrl-Z (byte 1A) ends the file here: nothing after it is read");
            break;
        }
        if (!read) {
            break;
        }
    }
    if (parameters.size() == parametersBefore) {
        report << name << ": warning: no parameters: a press sends nothing\n";
        reporter.warned = true;
    }
    return reporter.warned ? ExitStatus::kWarnings : ExitStatus::kSuccess;
}

void WriteParameterTable(const std::vector<CheckedParameter>& parameters, std::ostream& report) {
    if (parameters.empty()) {
        return;
    }
    size_t labelWidth = 5;
    for (const CheckedParameter& parameter : parameters) {
        labelWidth = std::max(labelWidth, Shown(parameter.label).size());
    }
    const int lineWidth = std::max<int>(4, std::to_string(parameters.back().line).size());
    report << std::setw(lineWidth) << "line"
           << "  " << std::left << std::setw(labelWidth) << "label" << std::right
           << "  controller  values\n";
    for (const CheckedParameter& parameter : parameters) {
        report << std::setw(lineWidth) << parameter.line << "  " << std::left
               << std::setw(labelWidth) << Shown(parameter.label) << std::right << "  "
               << std::setw(10) << parameter.controller << "  "
               << (parameter.values.none() ? "sends nothing" : DescribeValues(parameter.values))
               << '\n';
    }
}

ExitStatus CheckFile(const std::string& path, std::ostream& report, std::ostream& errors) {
    Result<std::ifstream> file = OpenConfiguration(std::filesystem::u8path(path));
    if (!file) {
        errors << path << ": error: cannot read the file: " << file.problem->text << '\n';
        return file.problem->status;
    }
    std::vector<CheckedParameter> parameters;
    const ExitStatus status = CheckConfiguration(path, *file.value.rdbuf(), parameters, report);
    WriteParameterTable(parameters, report);
    return status;
}

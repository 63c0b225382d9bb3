// The checker's table against the program's own reading: for every seed of the
// fuzzer and every instrument file, the same parameters in the same order,
// each with the data bytes that the range rule and the controller rule give.
#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "config/configuration.h"
#include "randomize/control_change.h"
#include "randomize/random_generator.h"
#include "velmora-cfg/check.h"

namespace {

using Row = std::tuple<std::string, int, std::string>;

// Every raw generator value of a range, as a data byte; each range once.
std::string ValuesOfRange(int minimum, int maximum) {
    static std::map<std::pair<int, int>, std::string> known;
    std::string& values = known[{minimum, maximum}];
    if (values.empty()) {
        std::bitset<128> bytes;
        for (int32_t raw = 0; raw <= 0x7FFF; ++raw) {
            bytes.set(ValueInRange(minimum, maximum, raw) & 0x7F);
        }
        values = bytes.to_string();
    }
    return values;
}

std::vector<Row> ProgramRows(const std::list<Parameter*>& parameters) {
    std::vector<Row> rows;
    for (const Parameter* parameter : parameters) {
        rows.emplace_back(parameter->label, parameter->controller,
                          IsControllerNumber(parameter->controller)
                              ? ValuesOfRange(parameter->minimum, parameter->maximum)
                              : std::bitset<128>().to_string());
    }
    return rows;
}

std::vector<Row> CheckerRows(const std::vector<CheckedParameter>& parameters) {
    std::vector<Row> rows;
    for (const CheckedParameter& parameter : parameters) {
        rows.emplace_back(parameter.label, parameter.controller, parameter.values.to_string());
    }
    return rows;
}

std::vector<std::filesystem::path> FilesToCompare() {
    const std::filesystem::path source(VELMORA_SOURCE_DIR);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(source / "fuzz" / "corpus")) {
        files.push_back(entry.path());
    }
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(source / "instruments")) {
        if (entry.path().extension() == ".cfg") {
            files.push_back(entry.path());
        }
    }
    return files;
}

// What a library file must not have: two active lines of one label, a
// reason for a narrowed range that stands above anything but its line.
std::string LibraryFileFaults(const std::string& bytes,
                              const std::vector<CheckedParameter>& parameters) {
    std::string faults;
    std::map<std::string, int> lineOfLabel;
    std::set<int> parameterLines;
    for (const CheckedParameter& parameter : parameters) {
        std::string key = parameter.label;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (!lineOfLabel.emplace(key, parameter.line).second) {
            faults += "line " + std::to_string(parameter.line) + ": label of line " +
                      std::to_string(lineOfLabel[key]) + "\n";
        }
        parameterLines.insert(parameter.line);
    }
    std::istringstream lines(bytes);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.rfind("# narrowed: ", 0) == 0 && parameterLines.count(number + 1) == 0) {
            faults += "line " + std::to_string(number) + ": a reason without its parameter\n";
        }
    }
    return faults;
}

}  // namespace

TEST(Agreement, TheCheckersTableIsWhatTheProgramReads) {
    const std::vector<std::filesystem::path> files = FilesToCompare();
    ASSERT_GT(files.size(), 300u);
    for (const std::filesystem::path& path : files) {
        std::ifstream file(path, std::ios::in | std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        std::istringstream programInput(bytes);
        std::list<Parameter*> parameters;
        ReadConfiguration(programInput, parameters);
        std::stringbuf checkerInput(bytes);
        std::vector<CheckedParameter> checked;
        std::ostringstream report;
        const ExitStatus status = CheckConfiguration(path.string(), checkerInput, checked, report);

        EXPECT_EQ(CheckerRows(checked), ProgramRows(parameters)) << path;
        // A generated instrument file must be one with nothing to warn about.
        if (path.extension() == ".cfg" &&
            path.string().find("/instruments/") != std::string::npos) {
            EXPECT_EQ(status, ExitStatus::kSuccess) << report.str();
            EXPECT_EQ(LibraryFileFaults(bytes, checked), "") << path;
        }
        for (Parameter* parameter : parameters) {
            delete parameter;
        }
    }
}

#ifndef VELMORA_CFG_CHECK_H
#define VELMORA_CFG_CHECK_H

#include <bitset>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "velmora-cfg/result.h"

// One parameter as Velmora will use it.
struct CheckedParameter {
    int line = 0;
    std::string label;
    int controller = 0;
    // The data bytes a press can send: empty when the controller sends
    // nothing.
    std::bitset<128> values;
};

// The data bytes that a range can send, taken from the program's own range
// rule and message packing.
std::bitset<128> SendableValues(int minimum, int maximum);

// A set of data bytes in words: "1..127", "64", "0, 2..127".
std::string DescribeValues(const std::bitset<128>& values);

// Reads a configuration as Velmora does and writes what it finds, line by
// line, as "NAME:LINE: warning: ..." and "NAME:LINE: note: ...". Adds one
// entry to parameters per parameter the program makes. kSuccess when there
// is nothing to warn about, kWarnings otherwise.
ExitStatus CheckConfiguration(const std::string& name, std::streambuf& file,
                              std::vector<CheckedParameter>& parameters, std::ostream& report);

// The parameters as a table: line, label, controller, values.
void WriteParameterTable(const std::vector<CheckedParameter>& parameters, std::ostream& report);

// Checks one file: its diagnostics, then its table. A file that Velmora
// could not read is reported to errors as "PATH: error: ..." with the reason,
// and is kFailed.
ExitStatus CheckFile(const std::string& path, std::ostream& report, std::ostream& errors);

#endif

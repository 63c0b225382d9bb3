#ifndef VELMORA_CFG_CSV_ROWS_H
#define VELMORA_CFG_CSV_ROWS_H

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "velmora-cfg/result.h"

// One row of an instrument description in the MIDI Guide dataset's format,
// only the columns an import uses; every field as written, untrusted.
struct CsvRow {
    int line = 0;
    // Why the row could not be read, if it could not.
    std::optional<Problem> unreadable;
    std::string manufacturer;
    std::string device;
    std::string section;
    std::string parameterName;
    std::string ccNumber;
    std::string ccMinimum;
    std::string ccMaximum;
    std::string ccDefault;
    // "0-based" or "centered", as the contributor saw it.
    std::string orientation;
    // Free text about the values: positions, units, a centre.
    std::string usage;
};

// Reads the rows of one CSV file, finding the columns by their header names.
// A problem when the file has no usable header or a line the parser cannot
// get past.
Result<std::vector<CsvRow>> ReadCsvRows(const std::string& name, std::istream& file);

#endif

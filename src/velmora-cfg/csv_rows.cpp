#include "velmora-cfg/csv_rows.h"

// The parser's header uses std::numeric_limits without including it.
#include <algorithm>
#include <limits>

// The parser reads in the calling thread: the mingw build has no threads.
#define CSV_IO_NO_THREAD
// It copies file names with strncpy into buffers of a fixed size, cutting
// long ones on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-truncation"
#endif
#include <csv.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

using CsvReader = io::CSVReader<10, io::trim_chars<' ', '\t'>, io::double_quote_escape<',', '"'>>;

std::string ErrorText(const io::error::base& error) {
    std::string text = error.what();
    // The parser's messages name the file and line themselves; the caller
    // says both.
    return text.substr(0, std::min(text.find(" in line"), text.find(" in file")));
}

}  // namespace

Result<std::vector<CsvRow>> ReadCsvRows(const std::string& name, std::istream& file) {
    std::vector<CsvRow> rows;
    try {
        CsvReader reader(name, file);
        reader.read_header(io::ignore_extra_column | io::ignore_missing_column, "manufacturer",
                           "device", "section", "parameter_name", "cc_msb", "cc_min_value",
                           "cc_max_value", "cc_default_value", "orientation", "usage");
        if (!reader.has_column("parameter_name") || !reader.has_column("cc_msb")) {
            return Problem{"no parameter_name or no cc_msb column in the header"};
        }
        for (;;) {
            CsvRow row;
            try {
                if (!reader.read_row(row.manufacturer, row.device, row.section, row.parameterName,
                                     row.ccNumber, row.ccMinimum, row.ccMaximum, row.ccDefault,
                                     row.orientation, row.usage)) {
                    return rows;
                }
            } catch (const io::error::line_length_limit_exceeded& error) {
                // The reader cannot get past such a line.
                return Problem{ErrorText(error)};
            } catch (const io::error::base& error) {
                // The row's line is used up; the next one is read as usual.
                row = CsvRow();
                row.unreadable = Problem{ErrorText(error)};
            }
            row.line = static_cast<int>(reader.get_file_line());
            rows.push_back(row);
        }
    } catch (const io::error::base& error) {
        return Problem{ErrorText(error)};
    }
}

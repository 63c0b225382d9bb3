#ifndef VELMORA_CFG_IMPORT_H
#define VELMORA_CFG_IMPORT_H

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "velmora-cfg/csv_rows.h"
#include "velmora-cfg/parameter_kinds.h"
#include "velmora-cfg/result.h"

struct ImportOptions {
    std::string outputFolder = ".";
    // The date of the dataset's snapshot, for the files' headers.
    std::string snapshot;
    // An instrument with fewer parameters is not written.
    int minimumParameters = 1;
    // Whether a file that exists is replaced; otherwise it is kept.
    bool replace = false;
};

// A row that is not written, and why.
struct LeftOutRow {
    int line = 0;
    std::string name;
    std::string reason;
};

// What an import made of one instrument's rows.
struct Instrument {
    std::string manufacturer;
    std::string device;
    // "Manufacturer/Device.csv", where the rows came from.
    std::string source;
    // The configuration's text; its parameter lines come first, the rows
    // left out are listed at its end.
    std::string text;
    // The sound parameters, turned on.
    int parameters = 0;
    // The rows with a controller number, by their kind.
    std::map<ParameterKind, int> rowsOfKind;
    std::vector<LeftOutRow> leftOut;
    // Sound parameters written turned off, and those narrowed, by why.
    std::map<std::string, int> turnedOff;
    std::map<std::string, int> narrowed;
    // The sections kept where the device's rows hold several alternatives
    // on the same controllers (engines, algorithms, channels).
    std::string keptAlternative;
};

// Turns one instrument's rows into a configuration that Velmora can use
// safely: rows with a controller that changes the sound and a range with at
// least two values Velmora can send are turned on, playing controls follow
// turned off, harmful rows are only listed; each controller once.
Instrument MakeInstrument(const std::vector<CsvRow>& rows, const std::string& csvPath,
                          const ImportOptions& options);

// Imports every CSV file into OUTPUT/MANUFACTURER/DEVICE.cfg and writes what
// it did to log. kSuccess when every file was written, kWarnings when an
// instrument had too few sound parameters or a file that exists was kept,
// kFailed when a file could not be read or written.
ExitStatus ImportInstruments(const std::vector<std::string>& csvPaths, const ImportOptions& options,
                             std::ostream& log);

#endif

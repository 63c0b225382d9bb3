// Arbitrary bytes as a configuration file, read and then randomized into a
// recording midiOutShortMsg. Every input must keep the promises a musician
// relies on: no crash, and nothing but well-formed Control Changes on the
// chosen channel, one per parameter, each inside its parameter's range. The
// checker (velmora-cfg check) reads the same bytes and must list the same
// parameters.
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "config/configuration.h"
#include "recording_midi_out.h"
#include "settable_tick_count.h"
#include "randomize/random_generator.h"
#include "randomize/randomize.h"
#include "velmora-cfg/check.h"

namespace {

[[noreturn]] void Violated(const char* what, size_t index) {
    std::fprintf(stderr, "invariant violated: %s (parameter %zu)\n", what, index);
    std::abort();
}

// Whether some value of the range that RandomInRange draws from has these
// low 7 bits. Ranges follow the documented rule: minimum + 1 to maximum, the
// value itself when both are equal, minimum + 1 to 2 * minimum - maximum when
// reversed.
bool RangeCanGive(const Parameter& parameter, uint32_t dataByte) {
    const int minimum = parameter.minimum;
    const int maximum = parameter.maximum;
    int first = minimum + 1;
    int last = maximum;
    if (minimum == maximum) {
        first = last = minimum;
    } else if (minimum > maximum) {
        last = 2 * minimum - maximum;
    }
    for (int value = first; value <= last; ++value) {
        if ((static_cast<uint32_t>(value) & 0x7Fu) == dataByte) {
            return true;
        }
    }
    return false;
}

// A parameter written back as a configuration line reads as the same
// parameter. The leading blank keeps a label that begins with '#' from
// turning the line into a comment; the label is left out when the line would
// be longer than the reader takes.
void CheckRoundTrip(const Parameter& parameter, size_t index) {
    const std::string numbers = " " + std::to_string(parameter.controller) + " " +
                                std::to_string(parameter.minimum) + " " +
                                std::to_string(parameter.maximum) + "\n";
    // The leading blank, the label and the numbers; the line feed is not
    // counted.
    const bool withLabel =
        !parameter.label.empty() && parameter.label.size() + numbers.size() <= kMaximumLineLength;
    const std::string line = withLabel                 ? " " + parameter.label + numbers
                             : parameter.label.empty() ? std::string(" \n")
                                                       : " x" + numbers;
    std::istringstream stream(line);
    std::list<Parameter*> again;
    ReadConfiguration(stream, again);
    if (again.size() != 1) {
        Violated("a written-back parameter does not read as one line", index);
    }
    const Parameter& read = *again.front();
    if (withLabel && read.label != parameter.label) {
        Violated("label changes when written back", index);
    }
    if (read.controller != parameter.controller || read.minimum != parameter.minimum ||
        read.maximum != parameter.maximum) {
        Violated("numbers change when written back", index);
    }
    delete again.front();
}

// The checker's table lists the program's parameters, in order, each with
// the values of its own range.
void CheckCheckerAgrees(const std::string& bytes, const std::list<Parameter*>& parameters) {
    std::stringbuf file(bytes);
    std::vector<CheckedParameter> checked;
    std::ostringstream report;
    CheckConfiguration("fuzz.cfg", file, checked, report);
    if (checked.size() != parameters.size()) {
        Violated("the checker lists another number of parameters", checked.size());
    }
    size_t index = 0;
    for (const Parameter* parameter : parameters) {
        const CheckedParameter& row = checked[index];
        const std::bitset<128> values = IsControllerNumber(parameter->controller)
                                            ? SendableValues(parameter->minimum, parameter->maximum)
                                            : std::bitset<128>();
        if (row.label != parameter->label || row.controller != parameter->controller ||
            row.values != values) {
            Violated("the checker's table differs from the program's parameter", index);
        }
        if (index > 0 && row.line <= checked[index - 1].line) {
            Violated("the checker's line numbers do not increase", index);
        }
        ++index;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream stream(bytes);
    std::list<Parameter*> parameters;
    ReadConfiguration(stream, parameters);

    size_t lines = 1;
    for (const char c : bytes) {
        lines += c == '\n' ? 1 : 0;
    }
    if (parameters.size() > lines) {
        Violated("more parameters than lines", parameters.size());
    }
    CheckCheckerAgrees(bytes, parameters);

    // Labels are taken from the input in order and never hold a delimiter or
    // a NUL; a label is empty only for a line without any token.
    size_t searchFrom = 0;
    size_t index = 0;
    for (const Parameter* parameter : parameters) {
        const std::string& label = parameter->label;
        if (label.size() > static_cast<size_t>(kMaximumLineLength)) {
            Violated("label longer than a line", index);
        }
        if (label.find_first_of(std::string(" \t\n\0", 4)) != std::string::npos) {
            Violated("label holds a delimiter or NUL", index);
        }
        if (label.empty()) {
            if (parameter->controller != 0 || parameter->minimum != 0 || parameter->maximum != 0) {
                Violated("numbers without a label", index);
            }
        } else {
            const size_t at = bytes.find(label, searchFrom);
            if (at == std::string::npos) {
                Violated("label not found in the input after the previous one", index);
            }
            searchFrom = at + label.size();
        }
        CheckRoundTrip(*parameter, index);
        ++index;
    }

    // The pass reads the program-wide list; the records are put there for it
    // and taken back afterwards, so every input starts from an empty list.
    const int32_t channel = static_cast<int32_t>(size % 16);
    HMIDIOUT handle = reinterpret_cast<HMIDIOUT>(static_cast<uintptr_t>(0x1000 + size % 7));
    SentMessages().clear();
    ResetTickCountCalls();
    SetTickCountValue(static_cast<DWORD>(size * 2654435761u));
    SeedPending = true;
    ParameterList.swap(parameters);
    RandomizeAll(handle, channel);
    ParameterList.swap(parameters);

    // Only parameters with a controller number send; the others are skipped
    // in place, so the messages follow the sending parameters in order.
    std::vector<const Parameter*> sending;
    for (const Parameter* parameter : parameters) {
        if (parameter->controller <= 0x7F) {
            sending.push_back(parameter);
        }
    }
    const std::vector<SentMessage>& sent = SentMessages();
    if (sent.size() != sending.size()) {
        Violated("not one message per parameter with a controller number", sent.size());
    }
    if (TickCountCalls() != (parameters.empty() ? 0 : 1)) {
        Violated("generator not seeded exactly once for a non-empty list", parameters.size());
    }
    for (index = 0; index < sent.size(); ++index) {
        const Parameter* parameter = sending[index];
        const DWORD message = sent[index].message;
        if (sent[index].handle != handle) {
            Violated("message sent to another handle", index);
        }
        if ((message & 0xFFu) != 0xB0u + static_cast<DWORD>(channel)) {
            Violated("status is not a Control Change on the chosen channel", index);
        }
        if ((message >> 24) != 0) {
            Violated("fourth byte not zero", index);
        }
        const DWORD controller = (message >> 8) & 0xFFu;
        const DWORD value = (message >> 16) & 0xFFu;
        if (controller > 0x7F || value > 0x7F) {
            Violated("data byte above 0x7F", index);
        }
        if (controller != parameter->controller) {
            Violated("controller is not the parameter's", index);
        }
        if (!RangeCanGive(*parameter, value)) {
            Violated("value outside the parameter's range", index);
        }
    }

    for (Parameter* parameter : parameters) {
        delete parameter;
    }
    return 0;
}

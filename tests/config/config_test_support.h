// Reads byte strings as configuration files and compares the parameters.
#ifndef VELMORA_TESTS_CONFIG_TEST_SUPPORT_H
#define VELMORA_TESTS_CONFIG_TEST_SUPPORT_H

#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "config/configuration.h"

struct ParameterValues {
    std::string label;
    int controller;
    int minimum;
    int maximum;
    bool operator==(const ParameterValues& other) const {
        return label == other.label && controller == other.controller && minimum == other.minimum &&
               maximum == other.maximum;
    }
};

inline std::ostream& operator<<(std::ostream& out, const ParameterValues& p) {
    return out << "{\"" << p.label << "\" (" << p.label.size() << " chars), " << p.controller
               << ", " << p.minimum << ", " << p.maximum << "}";
}

inline std::vector<ParameterValues> ValuesOf(const std::list<Parameter*>& parameters) {
    std::vector<ParameterValues> values;
    for (const Parameter* p : parameters) {
        values.push_back({p->label, p->controller, p->minimum, p->maximum});
    }
    return values;
}

inline std::vector<ParameterValues> Read(const std::string& bytes) {
    std::istringstream file(bytes, std::ios::in | std::ios::binary);
    std::list<Parameter*> parameters;
    ReadConfiguration(file, parameters);
    std::vector<ParameterValues> values = ValuesOf(parameters);
    for (Parameter* p : parameters) {
        delete p;
    }
    return values;
}

// Printable form of a byte string for failure messages.
inline std::string Escaped(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out.size() > 120 ? out.substr(0, 60) + "..." + out.substr(out.size() - 40) : out;
}

#endif

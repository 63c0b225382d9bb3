// Loads the configuration beside this program file, as the program does at
// start, and prints what it got: "loaded" and one label per line, or
// "not loaded". The path tests copy it into folders with awkward names.
#include <cstdio>

#include "config/configuration.h"

int main() {
    if (!LoadConfiguration()) {
        std::puts("not loaded");
        return 0;
    }
    std::puts("loaded");
    for (const Parameter* parameter : ParameterList) {
        std::puts(parameter->label.c_str());
    }
    // The program keeps its records to the end; the probe frees them so that
    // the leak checker of the sanitizer build stays quiet.
    for (const Parameter* parameter : ParameterList) {
        delete parameter;
    }
    return 0;
}

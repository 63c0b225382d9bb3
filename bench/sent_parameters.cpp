// The Control Changes one press sends for a configuration file, as the
// program reads and sends them: one line per message, in file order,
// "controller minimum maximum label". bench/amsynth_presses.py waits for
// these, so that it counts by the program's own line rule.
#include <fstream>
#include <iostream>
#include <list>

#include "config/configuration.h"
#include "randomize/control_change.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: velmora_sent_parameters CONFIGURATION\n";
        return 2;
    }
    // Binary, as LoadConfiguration opens it: the reader applies the text rules.
    std::ifstream file(argv[1], std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        std::cerr << argv[1] << ": cannot be opened\n";
        return 2;
    }
    std::list<Parameter*> parameters;
    ReadConfiguration(file, parameters);
    for (const Parameter* parameter : parameters) {
        if (IsControllerNumber(parameter->controller)) {
            std::cout << int{parameter->controller} << ' ' << int{parameter->minimum} << ' '
                      << int{parameter->maximum} << ' ' << parameter->label << '\n';
        }
        delete parameter;
    }
    return 0;
}

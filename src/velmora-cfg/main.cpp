// velmora-cfg: explains a Velmora configuration before it is used, and makes
// configurations from instrument descriptions.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "config/configuration.h"
#include "velmora-cfg/check.h"
#include "velmora-cfg/import.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const char kUsage[] =
    "usage: velmora-cfg check [FILE...]\n"
    "       velmora-cfg import CSV... [-o FOLDER] [--snapshot DATE] [--at-least N]\n"
    "                                 [--force]\n"
    "\n"
    "check   tells what Velmora will do with each configuration file: warnings and\n"
    "        notes as FILE:LINE: ..., then the parameters with the values a press can\n"
    "        send. A label that reads as storing, erasing, loading, recording or\n"
    "        resetting is a warning; one that reads as a playing control (pitch,\n"
    "        level, glide, tempo...) is a note. Exit status 0: nothing to warn about,\n"
    "        1: warnings, 2: a file could not be read (the reason on stderr).\n"
    "        Without FILE: the Velmora.cfg in this folder.\n"
    "import  makes a configuration FOLDER/MANUFACTURER/DEVICE.cfg from each\n"
    "        instrument description (CSV of the MIDI Guide dataset); FOLDER is the\n"
    "        current one unless given. Sound parameters are turned on, playing\n"
    "        controls are written turned off, harmful ones are only listed. DATE\n"
    "        names the dataset's snapshot in the files; an instrument with fewer\n"
    "        than N sound parameters is not written. A file that exists is kept\n"
    "        (exit status 1) unless --force is given; symbolic links are never\n"
    "        written through.\n";

ExitStatus Usage() {
    std::cerr << kUsage;
    return ExitStatus::kFailed;
}

ExitStatus Check(const std::vector<std::string>& paths) {
    ExitStatus status = ExitStatus::kSuccess;
    for (size_t index = 0; index < paths.size(); ++index) {
        std::cout << (index == 0 ? "" : "\n");
        status = Worse(status, CheckFile(paths[index], std::cout, std::cerr));
    }
    return status;
}

ExitStatus Import(const std::vector<std::string>& arguments) {
    ImportOptions options;
    std::vector<std::string> csvPaths;
    for (size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        const bool hasValue = index + 1 < arguments.size();
        if (argument == "-o" && hasValue) {
            options.outputFolder = arguments[++index];
        } else if (argument == "--snapshot" && hasValue) {
            options.snapshot = arguments[++index];
        } else if (argument == "--force") {
            options.replace = true;
        } else if (argument == "--at-least" && hasValue) {
            options.minimumParameters = std::max(1, std::atoi(arguments[++index].c_str()));
        } else if (!argument.empty() && argument[0] == '-') {
            return Usage();
        } else {
            csvPaths.push_back(argument);
        }
    }
    if (csvPaths.empty()) {
        return Usage();
    }
    return ImportInstruments(csvPaths, options, std::cout);
}

ExitStatus Run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        // The file that Velmora would read if it lay in this folder.
        const std::string own = ConfigurationPath("Velmora.exe");
        std::error_code error;
        if (std::filesystem::exists(own, error)) {
            return CheckFile(own, std::cout, std::cerr);
        }
        return Usage();
    }
    const std::string& command = arguments[0];
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return ExitStatus::kSuccess;
    }
    if (command == "check") {
        return Check(rest.empty() ? std::vector<std::string>{"Velmora.cfg"} : rest);
    }
    if (command == "import") {
        return Import(rest);
    }
    return Usage();
}

}  // namespace

#ifdef _WIN32
// Names are UTF-8 inside. Windows gives a program its arguments whole only in
// UTF-16, to a wide main; the ANSI ones lose what the code page lacks.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index) {
        const int size =
            WideCharToMultiByte(CP_UTF8, 0, argv[index], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(static_cast<size_t>(size > 0 ? size : 1), '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[index], -1, &argument[0], size, nullptr, nullptr);
        argument.pop_back();
        arguments.push_back(argument);
    }
    // The reports name files in UTF-8; a console shows them so only in that
    // code page, which is the console's own setting and is given back.
    const UINT consoleCodePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    const ExitStatus status = Run(arguments);
    std::cout.flush();
    SetConsoleOutputCP(consoleCodePage);
    return static_cast<int>(status);
}
#else
int main(int argc, char** argv) {
    return static_cast<int>(Run(std::vector<std::string>(argv + 1, argv + argc)));
}
#endif

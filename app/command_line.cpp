#include "app/command_line.h"

#include <string_view>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

namespace velmora {

CommandLine ParseCommandLine(int argc, const char* const* argv)
{
    CommandLine line;
    bool optionsEnded = false;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        // "-" alone is a name like any other; "--" ends the options, so names may start with '-'.
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.paths.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            line.action = CommandLine::Action::Help;
            return line;
        } else if (arg == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        } else {
            line.action = CommandLine::Action::WrongUsage;
            line.unknownOption = arg;
            return line;
        }
    }
    return line;
}

std::string UsageLine()
{
    return "usage: velmora [--help] [--version] [--] [PATH...]\n";
}

std::string HelpText()
{
    return UsageLine()
        + "\n"
          "Velmora, the DICOM image preview.\n"
          "\n"
          "Each PATH that is a folder is scanned into the exam list, as Browse does; each file is\n"
          "filed as Load does. With no PATH the viewer scans the sample folder DICOM beside it.\n"
          "\n"
          "  -h, --help     show this help and exit\n"
          "  --version      show the version and exit\n"
          "  --             the arguments after it are paths, even when they start with '-'\n"
          "\n"
          "Press F1 in the window for the keyboard shortcuts.\n";
}

std::string VersionLine()
{
    return std::string("velmora ") + VELMORA_VERSION + "\n";
}

} // namespace velmora

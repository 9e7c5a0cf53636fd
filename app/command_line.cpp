#include "app/command_line.h"

#include <string_view>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "unknown"
#endif

namespace velmora {

namespace {

// Options QApplication reads itself: those followed by a value, then those alone. Qt takes them
// with one dash or two, and -style and -stylesheet also as -style=NAME.
constexpr std::string_view kQtOptionsWithValue[]
    = { "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
          "qwindowtitle", "session", "display", "style", "stylesheet", "qmljsdebugger" };
constexpr std::string_view kQtFlags[] = { "reverse", "nograb", "dograb", "sync", "widgetcount" };

// 2 for a Qt option that takes the next argument as its value, 1 for one that stands alone, 0
// for any other argument.
int QtOptionArguments(std::string_view arg)
{
    arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
    if (arg.starts_with("style=") || arg.starts_with("stylesheet="))
        return 1;
    for (std::string_view option : kQtOptionsWithValue)
        if (arg == option)
            return 2;
    for (std::string_view flag : kQtFlags)
        if (arg == flag)
            return 1;
    return 0;
}

} // namespace

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
        } else if (const int taken = QtOptionArguments(arg); taken > 0 && k + taken <= argc) {
            line.qtArguments.insert(line.qtArguments.end(), argv + k, argv + k + taken);
            k += taken - 1;
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
          "Qt's own options (-platform NAME, -style NAME, -session ID and the like) go to Qt.\n"
          "\n"
          "Press F1 in the window for the keyboard shortcuts.\n";
}

std::string VersionLine()
{
    return std::string("velmora ") + VELMORA_VERSION + "\n";
}

} // namespace velmora

// The viewer's command line, `velmora [--help] [--version] [--] [PATH...]`: the paths to open in
// place of the start-up scan, kept as the bytes the shell passed (names need not be UTF-8), and
// the options every Qt program takes (a session manager restarts a program with -session ID).
#pragma once

#include <string>
#include <vector>

namespace velmora {

struct CommandLine {
    enum class Action { Run, Help, Version, WrongUsage };
    Action action = Action::Run;
    std::vector<std::string> paths;
    // Qt's own options (-platform NAME, -session ID, -style NAME...), each with its value, in
    // their order: for QApplication, which takes them from the arguments it is given.
    std::vector<std::string> qtArguments;
    std::string unknownOption; // for WrongUsage (also a Qt option whose value is missing)
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The usage line, the help text and the version line, each ending in a newline.
std::string UsageLine();
std::string HelpText();
std::string VersionLine();

} // namespace velmora

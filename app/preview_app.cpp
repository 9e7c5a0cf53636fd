#include "app/preview_app.h"

#include "app/command_line.h"
#include "app/main_dialog.h"
#include "app/open_paths.h"
#include "canvas/annotation_install.h"
#include "platform/desktop.h"
#include "toolkit/built_in_tables.h"

#include <cstdio>
#include <vector>

namespace velmora {

void NameApplication()
{
    QApplication::setApplicationName("Velmora");
    QApplication::setDesktopFileName("velmora");
}

PreviewApp::PreviewApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    NameApplication();
}

int PreviewApp::Run(const std::vector<std::string>& paths)
{
    InstallBuiltInTables();
    InstallAnnotationCanvas();
    MainDialog dialog(ProgramFolder());
    dialog.SetStartPaths(paths);
    dialog.Run();
    return 0;
}

int RunViewer(int argc, char** argv)
{
    // Read before Qt starts, so that --help and a wrong option need no display.
    CommandLine line = ParseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::Help:
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::fputs(VersionLine().c_str(), stdout);
        return 0;
    case CommandLine::Action::WrongUsage:
        std::fprintf(
            stderr, "velmora: unknown option %s\n%s", line.unknownOption.c_str(), UsageLine().c_str());
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    for (const std::string& path : line.paths) {
        const std::string why = WhyPassedOver(path);
        if (!why.empty())
            std::fprintf(stderr, "velmora: %s: %s, passed over\n", path.c_str(), why.c_str());
    }
    // Qt sees the program name and its own options only: the paths are ours, whatever they say.
    std::vector<char*> qtArgv { argv[0] };
    for (std::string& arg : line.qtArguments)
        qtArgv.push_back(arg.data());
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgv.size()) - 1;
    PreviewApp app(qtArgc, qtArgv.data());
    return app.Run(line.paths);
}

} // namespace velmora

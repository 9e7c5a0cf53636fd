// PreviewApp: the application object. Installs the toolkit's four process-wide tables in their
// fixed order, then runs MainDialog modally; when the dialog ends, the application ends.
#pragma once

#include <QApplication>
#include <string>
#include <vector>

namespace velmora {

// Names the running application (message box captions, the desktop entry). No display name is
// set: Qt appends it to every window title, and each window's title is exactly its own text.
void NameApplication();

class PreviewApp : public QApplication {
    Q_OBJECT
public:
    PreviewApp(int& argc, char** argv);
    // The start-up: tables, then the main dialog run modally on `paths` (none: the sample
    // folder). The exit status.
    int Run(const std::vector<std::string>& paths = {});
};

// The velmora program: the command line, then the window. The exit status.
int RunViewer(int argc, char** argv);

} // namespace velmora

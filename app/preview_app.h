// PreviewApp: the application object. Installs the toolkit's four process-wide tables in their
// fixed order, then runs MainDialog modally; when the dialog ends, the application ends.
#pragma once

#include <QApplication>

namespace velmora {

class PreviewApp : public QApplication {
    Q_OBJECT
public:
    PreviewApp(int& argc, char** argv);
    // The start-up: tables, then the main dialog run modally. The exit status.
    int Run();
};

} // namespace velmora

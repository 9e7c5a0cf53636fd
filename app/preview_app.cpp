#include "app/preview_app.h"

#include "app/main_dialog.h"
#include "canvas/annotation_install.h"
#include "platform/desktop.h"
#include "toolkit/built_in_tables.h"

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

int PreviewApp::Run()
{
    InstallBuiltInTables();
    InstallAnnotationCanvas();
    MainDialog dialog(ProgramFolder());
    dialog.Run();
    return 0;
}

} // namespace velmora

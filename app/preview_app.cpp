#include "app/preview_app.h"

#include "app/main_dialog.h"
#include "canvas/annotation_install.h"
#include "toolkit/built_in_tables.h"

#include <QFileInfo>

namespace velmora {

PreviewApp::PreviewApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName("Velmora");
    setApplicationDisplayName("Velmora");
    setDesktopFileName("velmora");
}

QString PreviewApp::ProgramFolder()
{
    const QString path = QFileInfo("/proc/self/exe").canonicalFilePath();
    if (path.isEmpty())
        return {};
    const int slash = path.lastIndexOf('/');
    return slash <= 0 ? QString() : path.left(slash);
}

int PreviewApp::Run()
{
    InstallBuiltInTables();
    InstallAnnotationCanvas();
    int status = 0;
    {
        MainDialog dialog(ProgramFolder());
        dialog.Run();
    }
    return status;
}

} // namespace velmora

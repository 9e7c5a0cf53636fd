// velmora: the DICOM preview program.
#include "app/preview_app.h"

int main(int argc, char** argv)
{
    velmora::PreviewApp app(argc, argv);
    return app.Run();
}

// velmora: the DICOM preview program.
#include "app/preview_app.h"

int main(int argc, char** argv)
{
    return velmora::RunViewer(argc, argv);
}

/* Reference: libjpeg-turbo decoding every baseline JPEG stream of a stream file in memory (no
   colour conversion) into one reused buffer. Prints the frames and the wall and CPU milliseconds
   of the decoding (reading the file excluded). Usage: turbo_decode FILE.streams */
#include "stream_file.h"

#include <jpeglib.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: turbo_decode FILE.streams\n");
        return 2;
    }
    const StreamFile file = ReadStreamFile(argv[1]);
    struct jpeg_decompress_struct cinfo;
    struct jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error); /* a corrupt stream ends the program */
    jpeg_create_decompress(&cinfo);
    OutputBuffer output = { NULL, 0 };
    size_t offset = 0, length = 0;
    int frames = 0;
    const Stopwatch stopwatch = StartStopwatch();
    for (const unsigned char* frame; (frame = NextFrame(&file, &offset, &length)) != NULL; ++frames) {
        jpeg_mem_src(&cinfo, frame, (unsigned long)length);
        jpeg_read_header(&cinfo, TRUE);
        cinfo.jpeg_color_space = JCS_UNKNOWN;
        cinfo.out_color_space = JCS_UNKNOWN;
        jpeg_start_decompress(&cinfo);
        const size_t rowBytes = (size_t)cinfo.output_width * (size_t)cinfo.output_components;
        unsigned char* image = Reserve(&output, rowBytes * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = image + (size_t)cinfo.output_scanline * rowBytes;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
    }
    PrintElapsed(frames, stopwatch);
    jpeg_destroy_decompress(&cinfo);
    free(output.bytes);
    free(file.bytes);
    return 0;
}

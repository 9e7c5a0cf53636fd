// libjpeg-turbo side of the decoder benchmark.
#include "bench/imaging/bench_codecs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

namespace velmora::bench {

std::vector<uint8_t> TurboEncode(const std::vector<uint8_t>& samples, int width, int height, int components)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row
            = const_cast<JSAMPROW>(samples.data() + size_t(cinfo.next_scanline) * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

size_t TurboDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, stream.data(), static_cast<unsigned long>(stream.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.jpeg_color_space = JCS_UNKNOWN;
    cinfo.out_color_space = JCS_UNKNOWN;
    jpeg_start_decompress(&cinfo);
    const size_t rowBytes = size_t(cinfo.output_width) * cinfo.output_components;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = output.data() + cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return rowBytes * cinfo.output_height;
}

} // namespace velmora::bench

// 12-bit IJG build side of the decoder benchmark (lossless process, selection value 1).
#include "bench/imaging/bench_codecs.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include "gdcmjpeg/12/jpeglib.h"
}

namespace velmora::bench {

namespace {

// The 6b interface has no memory source or destination of its own.
struct Destination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out;
    uint8_t buffer[65536];
};

void InitDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = sizeof d->buffer;
}

boolean EmptyBuffer(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->out->insert(d->out->end(), d->buffer, d->buffer + sizeof d->buffer);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = sizeof d->buffer;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo)
{
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->out->insert(d->out->end(), d->buffer, d->buffer + (sizeof d->buffer - d->pub.free_in_buffer));
}

void InitSource(j_decompress_ptr) { }
boolean FillInput(j_decompress_ptr)
{
    return FALSE;
}
void SkipInput(j_decompress_ptr cinfo, long n)
{
    const size_t skip = std::min<size_t>(static_cast<size_t>(n), cinfo->src->bytes_in_buffer);
    cinfo->src->next_input_byte += skip;
    cinfo->src->bytes_in_buffer -= skip;
}
void TermSource(j_decompress_ptr) { }

} // namespace

std::vector<uint8_t> Ijg12EncodeLossless(const std::vector<uint16_t>& samples, int width, int height)
{
    std::vector<uint8_t> out;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    Destination* destination = new Destination;
    destination->out = &out;
    destination->pub.init_destination = InitDestination;
    destination->pub.empty_output_buffer = EmptyBuffer;
    destination->pub.term_destination = TermDestination;
    cinfo.dest = &destination->pub;
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_simple_lossless(&cinfo, 1, 0);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x)
            row[size_t(x)] = static_cast<JSAMPLE>(samples[size_t(cinfo.next_scanline) * width + x]);
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&cinfo, &pointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    delete destination;
    return out;
}

size_t Ijg12Decode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr error;
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_decompress(&cinfo);
    jpeg_source_mgr source;
    source.init_source = InitSource;
    source.fill_input_buffer = FillInput;
    source.skip_input_data = SkipInput;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = TermSource;
    source.next_input_byte = stream.data();
    source.bytes_in_buffer = stream.size();
    cinfo.src = &source;
    jpeg_read_header(&cinfo, TRUE);
    cinfo.jpeg_color_space = JCS_UNKNOWN;
    cinfo.out_color_space = JCS_UNKNOWN;
    jpeg_start_decompress(&cinfo);
    const size_t samples = size_t(cinfo.output_width) * cinfo.output_components;
    JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, static_cast<JDIMENSION>(samples), 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* out = output.data() + size_t(cinfo.output_scanline) * samples * 2;
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (size_t i = 0; i < samples; ++i) {
            const uint16_t v = static_cast<uint16_t>(rows[0][i]);
            out[2 * i] = static_cast<uint8_t>(v);
            out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return samples * 2 * cinfo.output_height;
}

} // namespace velmora::bench

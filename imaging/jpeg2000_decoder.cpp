// JPEG 2000 glue: an OpenJPEG memory stream, the code-stream (or JP2) decoder, and the
// component-after-component big-endian output layout.
#include "imaging/jpeg2000_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <openjpeg.h>

namespace velmora {

namespace {

struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t position;
};

OPJ_SIZE_T Read(void* buffer, OPJ_SIZE_T bytes, void* user)
{
    auto* source = static_cast<MemorySource*>(user);
    if (source->position >= source->size)
        return static_cast<OPJ_SIZE_T>(-1);
    const size_t n = std::min<size_t>(bytes, source->size - source->position);
    std::memcpy(buffer, source->data + source->position, n);
    source->position += n;
    return n;
}

OPJ_OFF_T Skip(OPJ_OFF_T bytes, void* user)
{
    auto* source = static_cast<MemorySource*>(user);
    if (bytes < 0) {
        const size_t back = std::min<size_t>(static_cast<size_t>(-bytes), source->position);
        source->position -= back;
        return -static_cast<OPJ_OFF_T>(back);
    }
    const size_t n = std::min<size_t>(static_cast<size_t>(bytes), source->size - source->position);
    source->position += n;
    return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL Seek(OPJ_OFF_T position, void* user)
{
    auto* source = static_cast<MemorySource*>(user);
    if (position < 0 || static_cast<uint64_t>(position) > source->size)
        return OPJ_FALSE;
    source->position = static_cast<size_t>(position);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) { }

struct CodecDeleter {
    void operator()(opj_codec_t* codec) const { opj_destroy_codec(codec); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* stream) const { opj_stream_destroy(stream); }
};
struct ImageDeleter {
    void operator()(opj_image_t* image) const { opj_image_destroy(image); }
};

bool IsJp2(std::span<const uint8_t> s)
{
    static const uint8_t signature[] = { 0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A };
    return s.size() >= sizeof signature && std::memcmp(s.data(), signature, sizeof signature) == 0;
}

// Bytes the decoded components would take, from the header alone; 0 when it is unusable.
uint64_t DecodedBytes(const opj_image_t& image)
{
    uint64_t total = 0;
    for (OPJ_UINT32 c = 0; c < image.numcomps; ++c) {
        const opj_image_comp_t& comp = image.comps[c];
        if (comp.dx == 0 || comp.dy == 0 || comp.prec == 0 || comp.prec > 32 || image.x1 <= image.x0
            || image.y1 <= image.y0)
            return 0;
        const uint64_t w
            = (uint64_t(image.x1) + comp.dx - 1) / comp.dx - (uint64_t(image.x0) + comp.dx - 1) / comp.dx;
        const uint64_t h
            = (uint64_t(image.y1) + comp.dy - 1) / comp.dy - (uint64_t(image.y0) + comp.dy - 1) / comp.dy;
        total += w * h * ((comp.prec + 7) / 8);
    }
    return total;
}

} // namespace

Jpeg2000Result DecodeJpeg2000(std::span<const uint8_t> stream, std::span<uint8_t> output)
{
    Jpeg2000Result result;
    if (stream.empty() || output.empty())
        return result;
    MemorySource source { stream.data(), stream.size(), 0 };
    std::unique_ptr<opj_stream_t, StreamDeleter> input(
        opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE));
    if (!input)
        return result;
    opj_stream_set_user_data(input.get(), &source, nullptr);
    opj_stream_set_user_data_length(input.get(), stream.size());
    opj_stream_set_read_function(input.get(), Read);
    opj_stream_set_skip_function(input.get(), Skip);
    opj_stream_set_seek_function(input.get(), Seek);

    std::unique_ptr<opj_codec_t, CodecDeleter> codec(
        opj_create_decompress(IsJp2(stream) ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!codec)
        return result;
    opj_set_info_handler(codec.get(), Quiet, nullptr);
    opj_set_warning_handler(codec.get(), Quiet, nullptr);
    opj_set_error_handler(codec.get(), Quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters))
        return result;

    opj_image_t* raw = nullptr;
    if (!opj_read_header(input.get(), codec.get(), &raw)) {
        opj_image_destroy(raw);
        return result;
    }
    std::unique_ptr<opj_image_t, ImageDeleter> image(raw);
    const uint64_t needed = DecodedBytes(*image);
    // A frame may hold fewer bytes than the image; refuse only images far beyond it.
    if (needed == 0 || needed > uint64_t(output.size()) * 4 + 4096)
        return result;
    if (!opj_decode(codec.get(), input.get(), image.get()) || !opj_end_decompress(codec.get(), input.get()))
        return result;

    uint8_t* out = output.data();
    const size_t limit = output.size();
    size_t written = 0;
    for (OPJ_UINT32 c = 0; c < image->numcomps && written < limit; ++c) {
        const opj_image_comp_t& comp = image->comps[c];
        if (!comp.data)
            return result;
        const size_t bytes = (comp.prec + 7) / 8;
        const size_t samples = size_t(comp.w) * comp.h;
        for (size_t i = 0; i < samples && written < limit; ++i) {
            const uint32_t value = static_cast<uint32_t>(comp.data[i]);
            for (size_t b = bytes; b-- > 0 && written < limit;)
                out[written++] = static_cast<uint8_t>(value >> (8 * b));
        }
    }
    result.result = SUCCESS;
    result.written = written;
    return result;
}

} // namespace velmora

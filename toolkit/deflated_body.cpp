#include "toolkit/deflated_body.h"

#include <algorithm>
#include <array>
#include <vector>
#include <zlib.h>

namespace velmora {

namespace {

constexpr uint64_t kMaxInflated = 1ull << 32;
constexpr uint32_t kChunk = 64 * 1024;

bool CopyHead(DiskFile& source, uint64_t bodyStart, DiskFile& target)
{
    std::array<uint8_t, 4096> buffer;
    if (source.Seek(0, 0) != 0)
        return false;
    for (uint64_t left = bodyStart; left > 0;) {
        const uint64_t got = source.Read(buffer.data(), std::min<uint64_t>(left, buffer.size()));
        if (got == 0 || !target.Write(buffer.data(), got))
            return false;
        left -= got;
    }
    return true;
}

// Some writers wrap the stream in a zlib header (RFC 1950) although the syntax asks for raw
// deflate; those two bytes are recognisable by their check value.
bool HasZlibHeader(const uint8_t* p, uint64_t length)
{
    return length >= 2 && (p[0] & 0x0F) == 8 && (p[0] >> 4) <= 7 && ((p[0] << 8) | p[1]) % 31 == 0;
}

struct InflateStream {
    z_stream z {};
    bool ready = false;
    explicit InflateStream(int windowBits) { ready = inflateInit2(&z, windowBits) == Z_OK; }
    ~InflateStream()
    {
        if (ready)
            inflateEnd(&z);
    }
};

// The most the body may inflate to.
uint64_t InflationLimit(DiskFile& source, uint64_t bodyStart)
{
    const int64_t size = source.Size();
    const uint64_t compressed = size > 0 && static_cast<uint64_t>(size) > bodyStart ? size - bodyStart : 0;
    return std::min(kMaxInflated, std::max(MIN_INFLATION_ALLOWANCE, compressed * MAX_INFLATION_RATIO));
}

} // namespace

ResultCode InflateBody(DiskFile& source, uint64_t bodyStart, const InflatedSink& sink)
{
    const uint64_t limit = InflationLimit(source, bodyStart);
    if (source.Seek(0, static_cast<int64_t>(bodyStart)) != static_cast<int64_t>(bodyStart))
        return ERROR_FILE_FORMAT;
    std::vector<uint8_t> in(kChunk);
    std::vector<uint8_t> out(kChunk);
    uint64_t got = source.Read(in.data(), in.size());
    InflateStream stream(HasZlibHeader(in.data(), got) ? 15 : -15);
    if (!stream.ready)
        return ERROR_MEMORY_ALLOC;
    z_stream& z = stream.z;
    uint64_t written = 0;
    for (;;) {
        if (z.avail_in == 0) {
            if (got == 0)
                return SUCCESS; // the body ends early: keep what it held
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(got);
            got = 0;
        }
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int result = inflate(&z, Z_NO_FLUSH);
        const uint32_t produced = static_cast<uint32_t>(out.size() - z.avail_out);
        if (result != Z_OK && result != Z_STREAM_END && !(result == Z_BUF_ERROR && z.avail_in == 0))
            return ERROR_FILE_FORMAT;
        if (written + produced > limit)
            return ERROR_MEMORY_FULL;
        if (!sink(out.data(), produced))
            return SUCCESS;
        written += produced;
        if (result == Z_STREAM_END)
            return SUCCESS;
        if (z.avail_in == 0)
            got = source.Read(in.data(), in.size());
    }
}

ResultCode InflateBodyToFile(DiskFile& source, uint64_t bodyStart, DiskFile& target)
{
    if (!CopyHead(source, bodyStart, target))
        return ERROR_FILE_WRITE;
    bool written = true;
    const ResultCode result = InflateBody(source, bodyStart, [&](const uint8_t* bytes, uint32_t length) {
        written = target.Write(bytes, length);
        return written;
    });
    return written ? result : ERROR_FILE_WRITE;
}

} // namespace velmora

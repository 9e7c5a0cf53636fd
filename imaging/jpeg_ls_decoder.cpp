// JPEG-LS decoding, ITU-T T.87 (ISO/IEC 14495-1). Section numbers below are T.87's.
#include "imaging/jpeg_ls_decoder.h"

#include "imaging/jpeg_ls_bit_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <new>

namespace velmora {

namespace {

using jpegls::BitReader;

// Run-length order table J (A.2.1).
constexpr std::array<int, 32> kJ = { 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7,
    8, 9, 10, 11, 12, 13, 14, 15 };

constexpr int kMinC = -128;
constexpr int kMaxC = 127;

enum Marker : uint8_t {
    SOF55 = 0xF7,
    LSE = 0xF8,
    SOI = 0xD8,
    EOI = 0xD9,
    SOS = 0xDA,
    DRI = 0xDD,
    RST0 = 0xD0,
};

// Ceiling of log2(n) for n >= 1: the bits needed for values below n.
int CeilLog2(int n)
{
    int bits = 0;
    while ((1 << bits) < n)
        ++bits;
    return bits;
}

// A sums error magnitudes over up to RESET (at most 65535) samples, so it needs 64 bits.
struct RegularContext {
    int64_t a;
    int b, c, n;
};

struct RunContext {
    int64_t a;
    int n, nn;
};

// The Golomb parameter k of A.5.1 and A.7.2.1: the least k with n * 2^k >= a, at most 24 (a
// bound only corrupt data reaches). k is the bit-width difference of a and n or one more.
int GolombParameter(int n, int64_t a)
{
    const uint64_t un = static_cast<uint32_t>(n);
    const uint64_t ua = static_cast<uint64_t>(a);
    const int width = std::bit_width(ua) - std::bit_width(un);
    int k = width > 0 ? width : 0;
    k += (un << k) < ua ? 1 : 0;
    return std::min(k, 24);
}

// Parameters of one scan (A.2.1, C.2.4.1.1).
struct ScanParameters {
    int maxValue = 0;
    int nearLossless = 0;
    int range = 0;
    int qbpp = 0;
    int limit = 0;
    int t1 = 0, t2 = 0, t3 = 0;
    int reset = 64;
};

// LSE type 1 values; 0 means "the default".
struct Presets {
    int maxValue = 0, t1 = 0, t2 = 0, t3 = 0, reset = 0;
};

int ClampThreshold(int value, int low, int maxValue)
{
    return value > maxValue || value < low ? low : value;
}

void DefaultThresholds(int maxValue, int nearLossless, int& t1, int& t2, int& t3)
{
    if (maxValue >= 128) {
        const int factor = (std::min(maxValue, 4095) + 128) / 256;
        t1 = ClampThreshold(factor * (3 - 2) + 2 + 3 * nearLossless, nearLossless + 1, maxValue);
        t2 = ClampThreshold(factor * (7 - 3) + 3 + 5 * nearLossless, t1, maxValue);
        t3 = ClampThreshold(factor * (21 - 4) + 4 + 7 * nearLossless, t2, maxValue);
    } else {
        const int factor = 256 / (maxValue + 1);
        t1 = ClampThreshold(std::max(2, 3 / factor + 3 * nearLossless), nearLossless + 1, maxValue);
        t2 = ClampThreshold(std::max(3, 7 / factor + 5 * nearLossless), t1, maxValue);
        t3 = ClampThreshold(std::max(4, 21 / factor + 7 * nearLossless), t2, maxValue);
    }
}

// Decodes the sample data of one scan, line by line.
class ScanDecoder {
public:
    ScanDecoder(const ScanParameters& p, int width, int componentsInScan, int interleave)
        : m_p(p)
        , m_width(width)
        , m_components(componentsInScan)
        , m_interleave(interleave)
        , m_stride(width + 2)
        , m_lines(size_t(componentsInScan) * 2 * size_t(width + 2), 0)
        , m_runIndex(componentsInScan, 0)
    {
        BuildQuantizer();
        ResetContexts();
    }

    BitReader& Reader() { return m_reader; }

    // After a restart marker the coder starts afresh (A.2.1, D.2.5): contexts, run indices and
    // the neighbourhood of the first line.
    void Restart()
    {
        ResetContexts();
        std::fill(m_lines.begin(), m_lines.end(), 0);
        std::fill(m_runIndex.begin(), m_runIndex.end(), 0);
        m_line = 0;
    }

    // Decodes the next line of every component of the scan. False on corrupt data.
    bool DecodeLine()
    {
        const bool odd = (m_line & 1) != 0;
        ++m_line;
        if (m_interleave == 2) {
            for (int c = 0; c < m_components; ++c)
                PrepareEdges(c, odd);
            return DecodeSampleInterleavedLine(odd);
        }
        for (int c = 0; c < m_components; ++c) {
            PrepareEdges(c, odd);
            m_runIndexCurrent = m_runIndex[c];
            if (!DecodeComponentLine(Previous(c, odd), Current(c, odd)))
                return false;
            m_runIndex[c] = m_runIndexCurrent;
        }
        return true;
    }

    // The samples of the last decoded line of component c of the scan (x = 0 .. width - 1).
    const int32_t* LastLine(int c) const { return CurrentConst(c, ((m_line - 1) & 1) != 0); }

private:
    int32_t* Current(int c, bool odd) { return &m_lines[(size_t(c) * 2 + (odd ? 0 : 1)) * m_stride + 1]; }
    int32_t* Previous(int c, bool odd) { return &m_lines[(size_t(c) * 2 + (odd ? 1 : 0)) * m_stride + 1]; }
    const int32_t* CurrentConst(int c, bool odd) const
    {
        return &m_lines[(size_t(c) * 2 + (odd ? 0 : 1)) * m_stride + 1];
    }

    // Neighbours beyond the line's ends (A.2.1): Rd at the last column repeats the sample above;
    // Ra at the first column is the sample above, Rc the first sample of the line before that.
    void PrepareEdges(int c, bool odd)
    {
        int32_t* previous = Previous(c, odd);
        int32_t* current = Current(c, odd);
        previous[m_width] = previous[m_width - 1];
        current[-1] = previous[0];
    }

    void BuildQuantizer()
    {
        // Gradients run from -maxValue to maxValue; a table maps each to its region (A.3.3).
        m_quantizerOffset = m_p.maxValue;
        m_quantizer.resize(size_t(2 * m_p.maxValue + 1));
        for (int d = -m_p.maxValue; d <= m_p.maxValue; ++d)
            m_quantizer[size_t(d + m_quantizerOffset)] = static_cast<int8_t>(QuantizeGradient(d));
    }

    int QuantizeGradient(int d) const
    {
        if (d <= -m_p.t3)
            return -4;
        if (d <= -m_p.t2)
            return -3;
        if (d <= -m_p.t1)
            return -2;
        if (d < -m_p.nearLossless)
            return -1;
        if (d <= m_p.nearLossless)
            return 0;
        if (d < m_p.t1)
            return 1;
        if (d < m_p.t2)
            return 2;
        if (d < m_p.t3)
            return 3;
        return 4;
    }

    int Quantize(int d) const { return m_quantizer[size_t(d + m_quantizerOffset)]; }

    int ContextId(int ra, int rb, int rc, int rd) const
    {
        return (Quantize(rd - rb) * 9 + Quantize(rb - rc)) * 9 + Quantize(rc - ra);
    }

    void ResetContexts()
    {
        const int a = std::max(2, (m_p.range + 32) / 64);
        for (auto& context : m_regular)
            context = { a, 0, 0, 1 };
        m_run[0] = { a, 1, 0 };
        m_run[1] = { a, 1, 0 };
        m_runIndexCurrent = 0;
    }

    static int Predict(int ra, int rb, int rc)
    {
        // Median edge detector (A.4.1), as selects rather than branches: on noisy images the
        // choice is a coin toss for the branch predictor.
        const int swap = (ra - rb) & ((ra - rb) >> 31); // ra - rb when ra < rb, else 0
        const int low = rb + swap;
        const int high = ra - swap;
        int predicted = ra + rb - rc;
        predicted = rc <= low ? high : predicted;
        predicted = rc >= high ? low : predicted;
        return predicted;
    }

    int Clamp(int value) const { return value < 0 ? 0 : (value > m_p.maxValue ? m_p.maxValue : value); }

    // Modulo reduction of the reconstructed value, then clamping (A.4.5).
    int Reconstruct(int predicted, int error) const
    {
        const int step = 2 * m_p.nearLossless + 1;
        int value = predicted + error * step;
        if (value < -m_p.nearLossless)
            value += m_p.range * step;
        else if (value > m_p.maxValue + m_p.nearLossless)
            value -= m_p.range * step;
        return Clamp(value);
    }

    // Golomb-coded mapped error with length limit (A.5.3).
    int DecodeValue(int k, int limit)
    {
        const int escape = limit - m_p.qbpp - 1;
        const int value = m_reader.ReadGolombInCache(k, escape);
        if (value >= 0)
            return value;
        const int high = m_reader.ReadHighBits(escape);
        if (high < 0) {
            m_bad = true;
            return 0;
        }
        if (high == escape)
            return static_cast<int>(m_reader.ReadBits(m_p.qbpp)) + 1;
        if (k == 0)
            return high;
        return (high << k) + static_cast<int>(m_reader.ReadBits(k));
    }

    // A valid stream's errors are reduced modulo RANGE (A.4.5), so a larger one is corrupt data;
    // it would also run the context sums out of range.
    bool OutOfRange(int error)
    {
        if (error <= m_p.range && error >= -m_p.range)
            return false;
        m_bad = true;
        return true;
    }

    // One sample in regular mode (A.4 to A.6).
    int DecodeRegular(int context, int predicted)
    {
        const int sign = context < 0 ? -1 : 1;
        RegularContext& ctx = m_regular[size_t(context < 0 ? -context : context)];
        const int k = GolombParameter(ctx.n, ctx.a);
        const int px = Clamp(predicted + sign * ctx.c);
        const int mapped = DecodeValue(k, m_p.limit);
        // Mapped values 0, 1, 2, 3 ... are errors 0, -1, 1, -2 ...; for k = 0 with a negative
        // bias the mapping is inverted (A.5.2).
        const bool inverted = k == 0 && m_p.nearLossless == 0 && 2 * ctx.b + ctx.n - 1 < 0;
        const int error = (mapped >> 1) ^ -((mapped & 1) ^ (inverted ? 1 : 0));
        if (OutOfRange(error))
            return 0;
        // Context update and bias correction (A.6).
        ctx.b += error * (2 * m_p.nearLossless + 1);
        ctx.a += error < 0 ? -error : error;
        if (ctx.n == m_p.reset) {
            ctx.a >>= 1;
            ctx.b >>= 1;
            ctx.n >>= 1;
        }
        ++ctx.n;
        if (ctx.b + ctx.n <= 0) {
            ctx.b += ctx.n;
            if (ctx.b <= -ctx.n)
                ctx.b = -ctx.n + 1;
            if (ctx.c > kMinC)
                --ctx.c;
        } else if (ctx.b > 0) {
            ctx.b -= ctx.n;
            if (ctx.b > 0)
                ctx.b = 0;
            if (ctx.c < kMaxC)
                ++ctx.c;
        }
        return Reconstruct(px, sign * error);
    }

    // Run length (A.7.1.2); returns the samples the run covers, -1 on corrupt data.
    int DecodeRunLength(int remaining)
    {
        int length = 0;
        while (m_reader.ReadBit()) {
            const int count = std::min(1 << kJ[size_t(m_runIndexCurrent)], remaining - length);
            length += count;
            if (count == (1 << kJ[size_t(m_runIndexCurrent)]) && m_runIndexCurrent < 31)
                ++m_runIndexCurrent;
            if (length == remaining)
                return length;
            if (m_reader.Overrun())
                return -1;
        }
        if (kJ[size_t(m_runIndexCurrent)] > 0)
            length += static_cast<int>(m_reader.ReadBits(kJ[size_t(m_runIndexCurrent)]));
        return length > remaining ? -1 : length;
    }

    // Error of a run-interruption sample (A.7.2).
    int DecodeRunInterruptionError(int type)
    {
        RunContext& ctx = m_run[type];
        const int k = GolombParameter(ctx.n, ctx.a + (ctx.n >> 1) * type);
        const int mapped = DecodeValue(k, m_p.limit - kJ[size_t(m_runIndexCurrent)] - 1);
        const int value = mapped + type;
        const bool map = (value & 1) != 0;
        const int magnitude = (value + (map ? 1 : 0)) / 2;
        const int error = ((k != 0 || 2 * ctx.nn >= ctx.n) == map) ? -magnitude : magnitude;
        if (OutOfRange(error))
            return 0;
        if (error < 0)
            ++ctx.nn;
        ctx.a += (mapped + 1 - type) >> 1;
        if (ctx.n == m_p.reset) {
            ctx.a >>= 1;
            ctx.n >>= 1;
            ctx.nn >>= 1;
        }
        ++ctx.n;
        return error;
    }

    void DecrementRunIndex()
    {
        if (m_runIndexCurrent > 0)
            --m_runIndexCurrent;
    }

    bool DecodeComponentLine(const int32_t* previous, int32_t* current)
    {
        int x = 0;
        while (x < m_width) {
            const int ra = current[x - 1];
            const int rb = previous[x];
            const int rc = previous[x - 1];
            const int rd = previous[x + 1];
            const int context = ContextId(ra, rb, rc, rd);
            if (context != 0) {
                current[x] = DecodeRegular(context, Predict(ra, rb, rc));
                ++x;
                continue;
            }
            // Run mode (A.7).
            const int length = DecodeRunLength(m_width - x);
            if (length < 0)
                return false;
            std::fill(current + x, current + x + length, ra);
            x += length;
            if (x == m_width)
                break;
            const int above = previous[x];
            if (std::abs(ra - above) <= m_p.nearLossless) {
                current[x] = Reconstruct(ra, DecodeRunInterruptionError(1));
            } else {
                const int error = DecodeRunInterruptionError(0);
                current[x] = Reconstruct(above, above < ra ? -error : error);
            }
            DecrementRunIndex();
            ++x;
        }
        return !m_bad;
    }

    // Sample-interleaved line: the components of a pixel follow each other; run mode only when
    // every component's gradients are flat, and interruption samples use run context 0.
    bool DecodeSampleInterleavedLine(bool odd)
    {
        std::array<int32_t*, 4> current {};
        std::array<const int32_t*, 4> previous {};
        for (int c = 0; c < m_components; ++c) {
            current[size_t(c)] = Current(c, odd);
            previous[size_t(c)] = Previous(c, odd);
        }
        m_runIndexCurrent = m_runIndex[0];
        std::array<int, 4> contexts {};
        int x = 0;
        while (x < m_width) {
            bool flat = true;
            for (int c = 0; c < m_components; ++c) {
                const int32_t* p = previous[size_t(c)];
                contexts[size_t(c)] = ContextId(current[size_t(c)][x - 1], p[x], p[x - 1], p[x + 1]);
                flat = flat && contexts[size_t(c)] == 0;
            }
            if (!flat) {
                for (int c = 0; c < m_components; ++c) {
                    const int32_t* p = previous[size_t(c)];
                    current[size_t(c)][x] = DecodeRegular(
                        contexts[size_t(c)], Predict(current[size_t(c)][x - 1], p[x], p[x - 1]));
                }
                ++x;
                continue;
            }
            const int length = DecodeRunLength(m_width - x);
            if (length < 0)
                return false;
            for (int c = 0; c < m_components; ++c) {
                int32_t* line = current[size_t(c)];
                std::fill(line + x, line + x + length, line[x - 1]);
            }
            x += length;
            if (x == m_width)
                break;
            for (int c = 0; c < m_components; ++c) {
                const int ra = current[size_t(c)][x - 1];
                const int rb = previous[size_t(c)][x];
                const int error = DecodeRunInterruptionError(0);
                current[size_t(c)][x] = Reconstruct(rb, rb < ra ? -error : error);
            }
            DecrementRunIndex();
            ++x;
        }
        m_runIndex[0] = m_runIndexCurrent;
        return !m_bad;
    }

    ScanParameters m_p;
    int m_width;
    int m_components;
    int m_interleave;
    size_t m_stride;
    std::vector<int32_t> m_lines;
    std::vector<int> m_runIndex;
    int m_runIndexCurrent = 0;
    std::array<RegularContext, 365> m_regular {};
    std::array<RunContext, 2> m_run {};
    std::vector<int8_t> m_quantizer;
    int m_quantizerOffset = 0;
    uint32_t m_line = 0;
    bool m_bad = false;
    BitReader m_reader;
};

struct FrameComponent {
    uint8_t id = 0;
    uint8_t sampling = 0;
};

// Parses markers and runs the scans of one stream held in memory.
class StreamDecoder {
public:
    StreamDecoder(std::span<const uint8_t> stream, std::vector<uint8_t>& output, uint32_t planar,
        size_t maxOutput, JpegLsFrameInfo& info)
        : m_data(stream.data())
        , m_size(stream.size())
        , m_output(output)
        , m_planar(planar)
        , m_maxOutput(maxOutput)
        , m_info(info)
    {
    }

    ResultCode Run();
    size_t Written() const { return m_written; }

private:
    // Marker segment helpers: true when the segment is complete in what is held.
    bool Need(size_t bytes) const { return m_pos + bytes <= m_size; }
    uint32_t U8(size_t at) const { return m_data[at]; }
    uint32_t U16(size_t at) const { return uint32_t(m_data[at]) << 8 | m_data[at + 1]; }

    ResultCode ReadFrameHeader(size_t segment, size_t length);
    ResultCode ReadPresets(size_t segment, size_t length);
    ResultCode ReadScan(size_t segment, size_t length);
    ResultCode DecodeScan(const std::vector<int>& components, int nearLossless, int interleave);
    void StoreLine(int component, uint32_t line, const int32_t* samples);

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    std::vector<uint8_t>& m_output;
    uint32_t m_planar;
    size_t m_maxOutput;
    JpegLsFrameInfo& m_info;

    bool m_haveFrame = false;
    std::vector<FrameComponent> m_components;
    std::vector<bool> m_componentDone;
    Presets m_presets;
    uint32_t m_restartInterval = 0;
    int m_scanNear = -1;
    size_t m_written = 0;
    bool m_bytes = true;
};

ResultCode StreamDecoder::ReadFrameHeader(size_t segment, size_t length)
{
    if (m_haveFrame || length < 6)
        return ERROR_GENERAL_FAILURE;
    const uint32_t precision = U8(segment);
    const uint32_t lines = U16(segment + 1);
    const uint32_t columns = U16(segment + 3);
    const uint32_t count = U8(segment + 5);
    if (precision < 2 || precision > 16 || lines == 0 || columns == 0 || count == 0
        || length != 6 + 3 * count)
        return ERROR_GENERAL_FAILURE;
    uint8_t firstSampling = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = segment + 6 + 3 * i;
        const uint8_t sampling = m_data[at + 1];
        const uint32_t h = sampling >> 4, v = sampling & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4 || m_data[at + 2] != 0)
            return ERROR_GENERAL_FAILURE;
        // Subsampled components would need their own sizes; equal factors mean none.
        if (i == 0)
            firstSampling = sampling;
        else if (sampling != firstSampling)
            return ERROR_GENERAL_FAILURE;
        for (const FrameComponent& other : m_components) {
            if (other.id == m_data[at])
                return ERROR_GENERAL_FAILURE;
        }
        m_components.push_back({ m_data[at], sampling });
    }
    m_bytes = precision <= 8;
    const uint64_t total = uint64_t(lines) * columns * count * (m_bytes ? 1 : 2);
    if (total > m_maxOutput)
        return ERROR_MEMORY_ALLOC;
    try {
        if (m_output.size() < total)
            m_output.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        return ERROR_MEMORY_ALLOC;
    }
    m_componentDone.assign(count, false);
    m_info.precision = precision;
    m_info.lines = lines;
    m_info.columns = columns;
    m_info.components = count;
    m_haveFrame = true;
    return SUCCESS;
}

ResultCode StreamDecoder::ReadPresets(size_t segment, size_t length)
{
    if (length < 1)
        return ERROR_GENERAL_FAILURE;
    const uint32_t id = U8(segment);
    if (id == 1) {
        if (length != 11)
            return ERROR_GENERAL_FAILURE;
        m_presets.maxValue = static_cast<int>(U16(segment + 1));
        m_presets.t1 = static_cast<int>(U16(segment + 3));
        m_presets.t2 = static_cast<int>(U16(segment + 5));
        m_presets.t3 = static_cast<int>(U16(segment + 7));
        m_presets.reset = static_cast<int>(U16(segment + 9));
        return SUCCESS;
    }
    // Mapping tables (2, 3) are read past: a scan that selects one is refused. Oversize image
    // dimensions (4) are not supported.
    if (id == 2 || id == 3)
        return SUCCESS;
    return ERROR_GENERAL_FAILURE;
}

ResultCode StreamDecoder::ReadScan(size_t segment, size_t length)
{
    if (!m_haveFrame || length < 1)
        return ERROR_GENERAL_FAILURE;
    const uint32_t count = U8(segment);
    if (count < 1 || count > 4 || length != 1 + 2 * count + 3)
        return ERROR_GENERAL_FAILURE;
    std::vector<int> components;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t id = m_data[segment + 1 + 2 * i];
        const uint8_t table = m_data[segment + 2 + 2 * i];
        if (table != 0)
            return ERROR_GENERAL_FAILURE; // mapping tables are not applied
        int index = -1;
        for (size_t c = 0; c < m_components.size(); ++c) {
            if (m_components[c].id == id)
                index = static_cast<int>(c);
        }
        if (index < 0 || m_componentDone[size_t(index)])
            return ERROR_GENERAL_FAILURE;
        for (int other : components) {
            if (other == index)
                return ERROR_GENERAL_FAILURE;
        }
        components.push_back(index);
    }
    const size_t tail = segment + 1 + 2 * count;
    const int nearLossless = static_cast<int>(U8(tail));
    int interleave = static_cast<int>(U8(tail + 1));
    const uint32_t pointTransform = U8(tail + 2);
    if (interleave > 2 || pointTransform != 0)
        return ERROR_GENERAL_FAILURE;
    if (count == 1)
        interleave = 0;
    else if (interleave == 0)
        return ERROR_GENERAL_FAILURE;
    if (m_scanNear >= 0 && nearLossless != m_scanNear)
        return ERROR_GENERAL_FAILURE;
    if (m_scanNear < 0) {
        m_info.nearLossless = static_cast<uint32_t>(nearLossless);
        m_info.interleaveMode = static_cast<uint32_t>(interleave);
    }
    m_scanNear = nearLossless;
    return DecodeScan(components, nearLossless, interleave);
}

void StreamDecoder::StoreLine(int component, uint32_t line, const int32_t* samples)
{
    const size_t width = m_info.columns;
    const size_t count = m_info.components;
    size_t index;
    size_t step;
    if (m_planar == 1) {
        index = (size_t(component) * m_info.lines + line) * width;
        step = 1;
    } else {
        index = size_t(line) * width * count + size_t(component);
        step = count;
    }
    if (step == 1) {
        // One component in a row of its own: a plain loop the compiler vectorises.
        uint8_t* out = m_output.data() + (m_bytes ? index : 2 * index);
        if (m_bytes) {
            for (size_t x = 0; x < width; ++x)
                out[x] = static_cast<uint8_t>(samples[x]);
        } else {
            for (size_t x = 0; x < width; ++x) {
                out[2 * x] = static_cast<uint8_t>(samples[x]);
                out[2 * x + 1] = static_cast<uint8_t>(samples[x] >> 8);
            }
        }
    } else if (m_bytes) {
        uint8_t* out = m_output.data() + index;
        for (size_t x = 0; x < width; ++x, out += step)
            *out = static_cast<uint8_t>(samples[x]);
    } else {
        uint8_t* out = m_output.data() + 2 * index;
        for (size_t x = 0; x < width; ++x, out += 2 * step) {
            out[0] = static_cast<uint8_t>(samples[x]);
            out[1] = static_cast<uint8_t>(samples[x] >> 8);
        }
    }
    m_written += width * (m_bytes ? 1 : 2);
}

ResultCode StreamDecoder::DecodeScan(const std::vector<int>& components, int nearLossless, int interleave)
{
    ScanParameters p;
    const int defaultMax = (1 << m_info.precision) - 1;
    p.maxValue = m_presets.maxValue != 0 ? m_presets.maxValue : defaultMax;
    // Byte output cannot hold values of more than eight bits.
    if (p.maxValue < 1 || p.maxValue > 65535 || (m_bytes && p.maxValue > 255))
        return ERROR_GENERAL_FAILURE;
    if (nearLossless > std::min(255, p.maxValue / 2))
        return ERROR_GENERAL_FAILURE;
    p.nearLossless = nearLossless;
    p.range = (p.maxValue + 2 * nearLossless) / (2 * nearLossless + 1) + 1;
    p.qbpp = CeilLog2(p.range);
    const int bpp = std::max(2, CeilLog2(p.maxValue + 1));
    p.limit = 2 * (bpp + std::max(8, bpp));
    DefaultThresholds(p.maxValue, nearLossless, p.t1, p.t2, p.t3);
    if (m_presets.t1 != 0)
        p.t1 = m_presets.t1;
    if (m_presets.t2 != 0)
        p.t2 = m_presets.t2;
    if (m_presets.t3 != 0)
        p.t3 = m_presets.t3;
    p.reset = m_presets.reset != 0 ? m_presets.reset : 64;
    // C.2.4.1.1: thresholds must be ordered within the sample range.
    if (p.t1 < nearLossless + 1 || p.t2 < p.t1 || p.t3 < p.t2 || p.t3 > p.maxValue || p.reset < 3)
        return ERROR_GENERAL_FAILURE;
    if (m_scanNear >= 0 && m_info.maximumValue == 0)
        m_info.maximumValue = static_cast<uint32_t>(p.maxValue);

    const int width = static_cast<int>(m_info.columns);
    const int count = static_cast<int>(components.size());
    ScanDecoder scan(p, width, count, interleave);
    scan.Reader().Start(m_data, m_pos, m_size);
    const uint32_t interval = m_restartInterval != 0 ? m_restartInterval : m_info.lines;
    uint32_t restartIndex = 0;
    for (uint32_t line = 0; line < m_info.lines; ++line) {
        if (line > 0 && line % interval == 0) {
            // RSTm after every `interval` lines, m counting 0 to 7 (T.81 B.2.1).
            size_t at = scan.Reader().Position();
            while (at < m_size && m_data[at] != 0xFF)
                ++at;
            while (at + 1 < m_size && m_data[at + 1] == 0xFF)
                ++at;
            if (at + 1 >= m_size)
                return PENDING;
            if (m_data[at + 1] != RST0 + restartIndex)
                return ERROR_GENERAL_FAILURE;
            restartIndex = (restartIndex + 1) % 8;
            scan.Restart();
            scan.Reader().Start(m_data, at + 2, m_size);
        }
        const bool ok = scan.DecodeLine();
        if (scan.Reader().Overrun())
            return scan.Reader().StoppedAtMarker() ? ERROR_GENERAL_FAILURE : PENDING;
        if (!ok)
            return ERROR_GENERAL_FAILURE;
        for (int c = 0; c < count; ++c)
            StoreLine(components[size_t(c)], line, scan.LastLine(c));
    }
    for (int c : components)
        m_componentDone[size_t(c)] = true;
    // The scan's data ends at the next marker; padding bits and bytes before it are ignored.
    size_t at = scan.Reader().Position();
    while (at + 1 < m_size && !(m_data[at] == 0xFF && m_data[at + 1] >= 0x80 && m_data[at + 1] != 0xFF))
        ++at;
    if (at + 1 >= m_size)
        return PENDING;
    m_pos = at;
    return SUCCESS;
}

ResultCode StreamDecoder::Run()
{
    if (m_size < 2)
        return PENDING;
    if (m_data[0] != 0xFF || m_data[1] != SOI)
        return ERROR_GENERAL_FAILURE;
    m_pos = 2;
    for (;;) {
        if (!Need(2))
            return PENDING;
        if (m_data[m_pos] != 0xFF)
            return ERROR_GENERAL_FAILURE;
        const uint8_t marker = m_data[m_pos + 1];
        if (marker == 0xFF) { // fill byte
            ++m_pos;
            continue;
        }
        if (marker == EOI) {
            for (bool done : m_componentDone) {
                if (!done)
                    return ERROR_GENERAL_FAILURE; // a component never had a scan
            }
            return m_haveFrame ? SUCCESS : ERROR_GENERAL_FAILURE;
        }
        if (marker == SOI || (marker >= RST0 && marker <= RST0 + 7))
            return ERROR_GENERAL_FAILURE;
        if (!Need(4))
            return PENDING;
        const size_t length = U16(m_pos + 2);
        if (length < 2)
            return ERROR_GENERAL_FAILURE;
        if (!Need(2 + length))
            return PENDING;
        const size_t segment = m_pos + 4;
        const size_t payload = length - 2;
        m_pos += 2 + length;
        ResultCode result = SUCCESS;
        if (marker == SOF55) {
            result = ReadFrameHeader(segment, payload);
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            result = ERROR_GENERAL_FAILURE; // a JPEG process other than JPEG-LS
        } else if (!m_haveFrame && marker != LSE && marker != DRI && !(marker >= 0xE0 && marker <= 0xEF)
            && marker != 0xFE) {
            result = ERROR_GENERAL_FAILURE; // only application data and presets before the frame
        } else if (marker == LSE) {
            result = ReadPresets(segment, payload);
        } else if (marker == DRI) {
            if (payload != 2 && payload != 3 && payload != 4)
                return ERROR_GENERAL_FAILURE;
            m_restartInterval = payload == 2 ? U16(segment)
                : payload == 3               ? (U16(segment) << 8 | U8(segment + 2))
                                             : (U16(segment) << 16 | U16(segment + 2));
        } else if (marker == SOS) {
            result = ReadScan(segment, payload);
        }
        if (result != SUCCESS)
            return result;
    }
}

} // namespace

JpegLsDecoder::JpegLsDecoder() = default;
JpegLsDecoder::~JpegLsDecoder() = default;
JpegLsDecoder::JpegLsDecoder(JpegLsDecoder&&) noexcept = default;
JpegLsDecoder& JpegLsDecoder::operator=(JpegLsDecoder&&) noexcept = default;

void JpegLsDecoder::Reset()
{
    m_stream.clear();
    m_stream.shrink_to_fit();
    m_info = {};
}

ResultCode JpegLsDecoder::Decode(std::span<const uint8_t> bytes, std::vector<uint8_t>& output,
    uint32_t planarConfiguration, uint32_t& decodedLength)
{
    decodedLength = 0;
    // A stream that comes whole is decoded where it lies; the decoder keeps a copy only of a
    // stream that ends early, to add the rest to.
    std::span<const uint8_t> stream = bytes;
    if (!m_stream.empty()) {
        try {
            m_stream.insert(m_stream.end(), bytes.begin(), bytes.end());
        } catch (const std::bad_alloc&) {
            Reset();
            return ERROR_MEMORY_ALLOC;
        }
        stream = m_stream;
    }
    // The held stream is decoded from its start each time: a call after PENDING redoes the
    // lines it had and continues past them, giving exactly the bytes a single call would.
    m_info = {};
    StreamDecoder decoder(stream, output, planarConfiguration, m_maxOutputBytes, m_info);
    ResultCode result;
    try {
        result = decoder.Run();
    } catch (const std::bad_alloc&) {
        result = ERROR_MEMORY_ALLOC;
    }
    if (result == SUCCESS) {
        decodedLength = static_cast<uint32_t>(std::min<size_t>(
            size_t(m_info.lines) * m_info.columns * m_info.components * (m_info.precision <= 8 ? 1 : 2),
            UINT32_MAX));
        m_stream.clear();
    } else if (result == PENDING) {
        decodedLength = static_cast<uint32_t>(std::min<size_t>(decoder.Written(), UINT32_MAX));
        if (m_stream.empty()) {
            try {
                m_stream.assign(bytes.begin(), bytes.end());
            } catch (const std::bad_alloc&) {
                Reset();
                return ERROR_MEMORY_ALLOC;
            }
        }
    } else {
        const JpegLsFrameInfo info = m_info;
        Reset();
        m_info = info;
    }
    return result;
}

ResultCode DecodeJpegLs(std::span<const uint8_t> stream, std::vector<uint8_t>& output,
    uint32_t planarConfiguration, uint32_t& decodedLength, JpegLsFrameInfo* info)
{
    JpegLsDecoder decoder;
    const ResultCode result = decoder.Decode(stream, output, planarConfiguration, decodedLength);
    if (info)
        *info = decoder.FrameInfo();
    return result;
}

} // namespace velmora

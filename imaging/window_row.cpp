// The window ramp on sixteen 16-bit samples at a time, where the processor has AVX2 (chosen
// when the program runs: the build itself targets every x86-64 processor).
#include "imaging/window_row.h"

#include "imaging/pixel_layout.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace velmora {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

bool PortablePixelsAsked()
{
    const char* value = std::getenv("VELMORA_PORTABLE_PIXELS");
    return value != nullptr && std::string_view(value) == "1";
}

} // namespace

bool WindowRowVectorised(const WindowRamp& ramp)
{
    // VELMORA_PORTABLE_PIXELS=1 keeps to the look-up table, so that tests and benchmarks can
    // run the path of processors without AVX2 on one that has it.
    static const bool avx2 = __builtin_cpu_supports("avx2") && !PortablePixelsAsked();
    const int64_t span = static_cast<int64_t>(ramp.hi) - ramp.lo;
    return avx2 && span >= 1 && span <= 65536;
}

namespace {

#define VELMORA_AVX2 __attribute__((target("avx2")))

class RampKernel {
public:
    VELMORA_AVX2 RampKernel(const SampleReader& reader, const WindowRamp& ramp)
        : m_shift(_mm_cvtsi32_si128(static_cast<int>(reader.Shift())))
        , m_extend(_mm_cvtsi32_si128(static_cast<int>(16 - reader.BitsStored())))
        , m_mask(_mm256_set1_epi16(static_cast<int16_t>(reader.Mask())))
        , m_signed(reader.Signed())
        , m_lo(_mm256_set1_epi32(ramp.lo))
        , m_span(_mm256_set1_ps(static_cast<float>(static_cast<int64_t>(ramp.hi) - ramp.lo)))
        , m_reciprocal(_mm256_set1_ps(1.0f / static_cast<float>(static_cast<int64_t>(ramp.hi) - ramp.lo)))
        , m_flip(ramp.invert ? _mm_set1_epi8(-1) : _mm_setzero_si128())
    {
    }

    // Sixteen words at `src` to sixteen bytes at `out`.
    VELMORA_AVX2 void Sixteen(const uint8_t* src, uint8_t* out) const
    {
        __m256i words = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
        words = _mm256_and_si256(_mm256_srl_epi16(words, m_shift), m_mask);
        __m256i low, high;
        if (m_signed) {
            words = _mm256_sra_epi16(_mm256_sll_epi16(words, m_extend), m_extend);
            low = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(words));
            high = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(words, 1));
        } else {
            low = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(words));
            high = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(words, 1));
        }
        // packs works within 128-bit halves: put the eight levels of each half back in order.
        const __m256i levels = _mm256_permute4x64_epi64(_mm256_packs_epi32(Levels(low), Levels(high)), 0xD8);
        const __m128i bytes
            = _mm_packus_epi16(_mm256_castsi256_si128(levels), _mm256_extracti128_si256(levels, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_xor_si128(bytes, m_flip));
    }

private:
    // Eight samples to their grey levels. Every operand is an integer below 2^24, so the float
    // products are exact; only the quotient is rounded, and it lands within one of the floor,
    // which the two comparisons put right.
    VELMORA_AVX2 __m256i Levels(__m256i samples) const
    {
        __m256 x = _mm256_cvtepi32_ps(_mm256_sub_epi32(samples, m_lo));
        x = _mm256_min_ps(_mm256_max_ps(x, _mm256_setzero_ps()), m_span);
        const __m256 n = _mm256_mul_ps(x, _mm256_set1_ps(255.0f));
        __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(n, m_reciprocal));
        const __m256 product = _mm256_mul_ps(_mm256_cvtepi32_ps(q), m_span);
        const __m256i tooMany = _mm256_castps_si256(_mm256_cmp_ps(product, n, _CMP_GT_OQ));
        const __m256i tooFew
            = _mm256_castps_si256(_mm256_cmp_ps(_mm256_add_ps(product, m_span), n, _CMP_LE_OQ));
        return _mm256_sub_epi32(_mm256_add_epi32(q, tooMany), tooFew); // masks are -1 where true
    }

    __m128i m_shift, m_extend;
    __m256i m_mask;
    bool m_signed;
    __m256i m_lo;
    __m256 m_span, m_reciprocal;
    __m128i m_flip;
};

} // namespace

VELMORA_AVX2 void WindowRow16(
    const uint8_t* src, uint8_t* out, uint32_t columns, const SampleReader& reader, const WindowRamp& ramp)
{
    const RampKernel kernel(reader, ramp);
    uint32_t c = 0;
    for (; c + 16 <= columns; c += 16)
        kernel.Sixteen(src + 2 * static_cast<size_t>(c), out + c);
    if (c == columns)
        return;
    // The last one to fifteen words, through a zero-filled block of sixteen.
    uint8_t words[32] = {}, bytes[16];
    const uint32_t rest = columns - c;
    std::memcpy(words, src + 2 * static_cast<size_t>(c), 2 * static_cast<size_t>(rest));
    kernel.Sixteen(words, bytes);
    std::memcpy(out + c, bytes, rest);
}

#else

bool WindowRowVectorised(const WindowRamp&)
{
    return false;
}

void WindowRow16(const uint8_t*, uint8_t*, uint32_t, const SampleReader&, const WindowRamp&) { }

#endif

} // namespace velmora

// Bit reader for JPEG-LS scan data (ITU-T T.87 A.1 and D.1): after a 0xFF byte the next byte
// carries only seven bits; 0xFF followed by a byte with its high bit set is a marker and ends
// the scan's data. Past the end (or a marker) it reads zero bits and remembers that it did,
// so a decoder can tell a truncated scan from a complete one. Internal to jpeg_ls_decoder.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmora::jpegls {

class BitReader {
public:
    void Start(const uint8_t* data, size_t position, size_t end)
    {
        m_data = data;
        m_position = position;
        m_end = end;
        m_cache = 0;
        m_valid = 0;
        m_phantom = 0;
        m_lastFF = false;
        m_stopped = false;
        m_overrun = false;
        m_atMarker = false;
    }

    // True once a read went beyond the data (or into a marker).
    bool Overrun() const { return m_overrun || m_valid < m_phantom; }
    // True when the data stopped at a marker rather than at the end of what is held.
    bool StoppedAtMarker() const { return m_atMarker; }
    // Next byte not yet taken into the cache; a following marker is at or after it.
    size_t Position() const { return m_position; }

    uint32_t ReadBit()
    {
        if (m_valid < 1)
            Fill();
        const uint32_t bit = static_cast<uint32_t>(m_cache >> 63);
        m_cache <<= 1;
        --m_valid;
        return bit;
    }

    // n from 1 to 32.
    uint32_t ReadBits(int n)
    {
        if (m_valid < n)
            Fill();
        const uint32_t value = static_cast<uint32_t>(m_cache >> (64 - n));
        Skip(n);
        return value;
    }

    // A Golomb code (A.5.3) of fewer than `maxZeros` zero bits, a 1 bit and `k` bits (k below 32),
    // taken in one step when all of it is in the cache: returns (zeros << k) + the k bits. -1
    // when it is not (or is the escape code); nothing is consumed then.
    int ReadGolombInCache(int k, int maxZeros)
    {
        if (m_valid < 32)
            Fill();
        const int zeros = m_cache != 0 ? std::countl_zero(m_cache) : 64;
        const int length = zeros + 1 + k;
        if (zeros >= maxZeros || length > m_valid || length >= 64)
            return -1;
        // The 1 bit and the k bits after it: 2^k + the remainder.
        const uint64_t tail = (m_cache << zeros) >> (63 - k);
        m_cache <<= length;
        m_valid -= length;
        return static_cast<int>((static_cast<uint64_t>(zeros) << k) + tail - (uint64_t(1) << k));
    }

    // Counts zero bits up to and including the next 1 bit; -1 when more than `maxZeros`.
    int ReadHighBits(int maxZeros)
    {
        int zeros = 0;
        for (;;) {
            if (m_valid < 32)
                Fill();
            if (m_cache != 0) {
                const int lead = __builtin_clzll(m_cache);
                if (lead < m_valid) {
                    zeros += lead;
                    Skip(lead + 1);
                    return zeros <= maxZeros ? zeros : -1;
                }
            }
            zeros += m_valid;
            Skip(m_valid);
            if (zeros > maxZeros)
                return -1;
        }
    }

private:
    void Skip(int n)
    {
        m_cache = n >= 64 ? 0 : m_cache << n;
        m_valid -= n;
    }

    void Fill()
    {
        if (m_valid < m_phantom) {
            m_overrun = true;
            m_phantom = m_valid;
        }
        // Fast path: when none of the next eight bytes is 0xFF, take as many whole bytes as fit
        // in one load.
        if (!m_stopped && !m_lastFF && m_valid <= 56 && m_position + 8 <= m_end) {
            uint64_t word;
            std::memcpy(&word, m_data + m_position, 8);
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word);
            if (((~word - 0x0101010101010101ull) & word & 0x8080808080808080ull) == 0) {
                const int bytes = (64 - m_valid) >> 3;
                m_cache |= (word & (~uint64_t(0) << (64 - 8 * bytes))) >> m_valid;
                m_valid += 8 * bytes;
                m_position += static_cast<size_t>(bytes);
                return;
            }
        }
        while (m_valid <= 56) {
            if (m_stopped || m_position >= m_end) {
                m_valid += 8;
                m_phantom += 8;
                continue;
            }
            const uint8_t byte = m_data[m_position];
            if (byte == 0xFF) {
                if (m_position + 1 >= m_end) {
                    m_valid += 8; // the rest of the stream is still to come
                    m_phantom += 8;
                    continue;
                }
                if (m_data[m_position + 1] & 0x80) {
                    m_stopped = true;
                    m_atMarker = true;
                    continue;
                }
            }
            const int bits = m_lastFF ? 7 : 8;
            m_cache |= uint64_t(byte) << (64 - m_valid - bits);
            m_valid += bits;
            m_lastFF = byte == 0xFF;
            ++m_position;
        }
    }

    const uint8_t* m_data = nullptr;
    size_t m_position = 0;
    size_t m_end = 0;
    uint64_t m_cache = 0;
    int m_valid = 0;
    int m_phantom = 0;
    bool m_lastFF = false;
    bool m_stopped = false;
    bool m_overrun = false;
    bool m_atMarker = false;
};

} // namespace velmora::jpegls

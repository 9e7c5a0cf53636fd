// UidDictionary: the known unique identifiers with their names, what they identify and, for
// transfer syntaxes, the byte order, VR encoding and compression they stand for. Found by text
// through a 256-bucket table keyed by the CRC-8 of the UID (see digest.h).
// One process-wide instance, empty until the start-up installs the built-in rows.
#pragma once

#include "toolkit/result_code.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {

enum class UidKind : int32_t {
    NONE = 0,
    TRANSFER = 1, // transfer syntax
    CLASS = 2, // SOP class
    CLASS_META = 3, // meta SOP class
    CLASS_STORE = 4, // storage SOP class
    CLASS_COMMAND = 5, // service class used by commands: verification, query/retrieve
    INSTANCE = 6, // well-known SOP instance
    APPLICATION = 7, // application context name
};

// Bits of the properties of a TRANSFER row; bits 20-31 hold the compression kind.
namespace transfer_property {
inline constexpr uint32_t BIG = 0x02; // big-endian
inline constexpr uint32_t EXPLICIT = 0x04; // explicit VR
inline constexpr uint32_t DEFLATE = 0x08; // deflated
inline constexpr uint32_t COMPRESSION_MASK = 0xFFF00000u;
} // namespace transfer_property

// The compression of pixel data, kept in bits 20-31 (still shifted); NONE is native pixel data.
enum class CompressionKind : uint32_t {
    NONE = 0,
    JPEG_LOSSY_1 = 1u << 20,
    JPEG_LOSSY_2_4 = 2u << 20,
    JPEG_LOSSY_3_5 = 3u << 20,
    JPEG_LOSSY_6_8 = 4u << 20,
    JPEG_LOSSY_7_9 = 5u << 20,
    JPEG_LOSSY_10_12 = 6u << 20,
    JPEG_LOSSY_11_13 = 7u << 20,
    JPEG_LOSSLESS_14 = 8u << 20,
    JPEG_LOSSLESS_15 = 9u << 20,
    JPEG_LOSSY_16_18 = 10u << 20,
    JPEG_LOSSY_17_19 = 11u << 20,
    JPEG_LOSSY_20_22 = 12u << 20,
    JPEG_LOSSY_21_23 = 13u << 20,
    JPEG_LOSSY_24_26 = 14u << 20,
    JPEG_LOSSY_25_27 = 15u << 20,
    JPEG_LOSSLESS_28 = 16u << 20,
    JPEG_LOSSLESS_29 = 17u << 20,
    JPEG_LOSSLESS = 18u << 20,
    JPEG_LS_LOSSY = 19u << 20,
    JPEG_LS_LOSSLESS = 20u << 20,
    RLE_LOSSLESS = 21u << 20,
    JPEG_2000_LOSSLESS = 22u << 20,
    JPEG_2000_ANY = 23u << 20,
};

// The enumerator's name ("JPEG_LOSSY_1", "NONE"); "" for a value that is no kind.
std::string_view CompressionKindName(CompressionKind kind);

struct UidRow {
    const char* uid; // "1.2.840.10008.1.2.1"
    const char* name; // "Explicit VR Little Endian"
    UidKind kind;
    // TRANSFER: transfer properties; CLASS..CLASS_COMMAND: the row's position among the class
    // rows in table order, from 0; otherwise 0.
    uint32_t properties;
};

class UidDictionary {
public:
    UidDictionary() { m_buckets.fill(-1); }

    // Points the dictionary at caller-owned rows and builds the hash chains (rows with equal
    // UIDs are found in table order). The chain links live in the dictionary, so the rows stay
    // constant. ERROR_MEMORY_ALLOC when the chains cannot be allocated, ERROR_GENERAL_PARAMETER
    // for a negative count, a null array with rows or a row without a UID; the dictionary is
    // empty after a failure.
    ResultCode Install(const UidRow* rows, int32_t count);

    int32_t Count() const { return m_count; }
    const UidRow* Row(int32_t index) const; // null for an index without a row

    // Row of a UID: exact, case-sensitive match of the whole text; -1 when none.
    int32_t Find(std::string_view uid) const;
    // The first TRANSFER row in table order with exactly these properties, or -1.
    int32_t FindTransferSyntax(
        bool littleEndian, bool explicitVr, bool deflated, CompressionKind compression) const;

    // Queries by row index; -1 gives the neutral answer noted.
    std::string_view UidText(int32_t index) const; // ""
    std::string_view NameOf(int32_t index) const; // ""
    UidKind KindOf(int32_t index) const; // NONE
    bool IsLittleEndian(int32_t index) const; // false only for a TRANSFER row with BIG
    bool IsExplicit(int32_t index) const; // EXPLICIT of a TRANSFER row, else false
    bool IsDeflated(int32_t index) const; // DEFLATE of a TRANSFER row, else false
    CompressionKind CompressionOf(int32_t index) const; // bits 20-31 of a TRANSFER row, else NONE

    // The bucket of a UID (the CRC-8 of its text) and the chain walk, for tests and diagnostics.
    static uint8_t BucketOf(std::string_view uid);
    int32_t BucketHead(uint8_t bucket) const { return m_buckets[bucket]; }
    int32_t NextInChain(int32_t index) const;

private:
    bool IsTransfer(int32_t index) const;

    const UidRow* m_rows = nullptr;
    int32_t m_count = 0;
    std::array<int32_t, 256> m_buckets;
    std::vector<int32_t> m_links; // next row in the same bucket, -1 at the end of a chain
};

// The process-wide dictionary.
UidDictionary& GlobalUidDictionary();

} // namespace velmora

// UidDictionary: 256 buckets chosen by the CRC-8 of the UID text, each a chain of rows in table
// order, linked through an array beside the (constant) rows.
#include "toolkit/uid_dictionary.h"

#include "toolkit/digest.h"

#include <cstring>
#include <new>

namespace velmora {

std::string_view CompressionKindName(CompressionKind kind)
{
    static constexpr std::string_view kNames[] = {
        "NONE",
        "JPEG_LOSSY_1",
        "JPEG_LOSSY_2_4",
        "JPEG_LOSSY_3_5",
        "JPEG_LOSSY_6_8",
        "JPEG_LOSSY_7_9",
        "JPEG_LOSSY_10_12",
        "JPEG_LOSSY_11_13",
        "JPEG_LOSSLESS_14",
        "JPEG_LOSSLESS_15",
        "JPEG_LOSSY_16_18",
        "JPEG_LOSSY_17_19",
        "JPEG_LOSSY_20_22",
        "JPEG_LOSSY_21_23",
        "JPEG_LOSSY_24_26",
        "JPEG_LOSSY_25_27",
        "JPEG_LOSSLESS_28",
        "JPEG_LOSSLESS_29",
        "JPEG_LOSSLESS",
        "JPEG_LS_LOSSY",
        "JPEG_LS_LOSSLESS",
        "RLE_LOSSLESS",
        "JPEG_2000_LOSSLESS",
        "JPEG_2000_ANY",
    };
    const uint32_t value = static_cast<uint32_t>(kind);
    if ((value & ~transfer_property::COMPRESSION_MASK) != 0)
        return {};
    const uint32_t number = value >> 20;
    return number < std::size(kNames) ? kNames[number] : std::string_view();
}

uint8_t UidDictionary::BucketOf(std::string_view uid)
{
    return Digest::Crc8({ reinterpret_cast<const uint8_t*>(uid.data()), uid.size() });
}

ResultCode UidDictionary::Install(const UidRow* rows, int32_t count)
{
    m_rows = nullptr;
    m_count = 0;
    m_buckets.fill(-1);
    m_links.clear();
    if (count < 0 || (rows == nullptr && count > 0))
        return ERROR_GENERAL_PARAMETER;
    for (int32_t i = 0; i < count; ++i) {
        if (rows[i].uid == nullptr)
            return ERROR_GENERAL_PARAMETER;
    }
    try {
        m_links.assign(static_cast<size_t>(count), -1);
    } catch (const std::bad_alloc&) {
        m_links.clear();
        return ERROR_MEMORY_ALLOC;
    }
    // Each chain keeps its tail so that appending stays cheap; equal keys stay in table order.
    std::array<int32_t, 256> tails;
    tails.fill(-1);
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t bucket = BucketOf(rows[i].uid);
        if (m_buckets[bucket] < 0)
            m_buckets[bucket] = i;
        else
            m_links[static_cast<size_t>(tails[bucket])] = i;
        tails[bucket] = i;
    }
    m_rows = rows;
    m_count = count;
    return SUCCESS;
}

const UidRow* UidDictionary::Row(int32_t index) const
{
    return (index >= 0 && index < m_count) ? &m_rows[index] : nullptr;
}

int32_t UidDictionary::NextInChain(int32_t index) const
{
    return (index >= 0 && index < m_count) ? m_links[static_cast<size_t>(index)] : -1;
}

int32_t UidDictionary::Find(std::string_view uid) const
{
    // The bucket is computed without shared state, so look-ups may run on several threads at once.
    for (int32_t i = m_buckets[BucketOf(uid)]; i >= 0; i = m_links[static_cast<size_t>(i)]) {
        if (uid == m_rows[i].uid)
            return i;
    }
    return -1;
}

int32_t UidDictionary::FindTransferSyntax(
    bool littleEndian, bool explicitVr, bool deflated, CompressionKind compression) const
{
    for (int32_t i = 0; i < m_count; ++i) {
        if (IsTransfer(i) && IsLittleEndian(i) == littleEndian && IsExplicit(i) == explicitVr
            && IsDeflated(i) == deflated && CompressionOf(i) == compression)
            return i;
    }
    return -1;
}

bool UidDictionary::IsTransfer(int32_t index) const
{
    const UidRow* row = Row(index);
    return row && row->kind == UidKind::TRANSFER;
}

std::string_view UidDictionary::UidText(int32_t index) const
{
    const UidRow* row = Row(index);
    return row ? std::string_view(row->uid) : std::string_view();
}

std::string_view UidDictionary::NameOf(int32_t index) const
{
    const UidRow* row = Row(index);
    return (row && row->name) ? std::string_view(row->name) : std::string_view();
}

UidKind UidDictionary::KindOf(int32_t index) const
{
    const UidRow* row = Row(index);
    return row ? row->kind : UidKind::NONE;
}

bool UidDictionary::IsLittleEndian(int32_t index) const
{
    return !(IsTransfer(index) && (m_rows[index].properties & transfer_property::BIG));
}

bool UidDictionary::IsExplicit(int32_t index) const
{
    return IsTransfer(index) && (m_rows[index].properties & transfer_property::EXPLICIT);
}

bool UidDictionary::IsDeflated(int32_t index) const
{
    return IsTransfer(index) && (m_rows[index].properties & transfer_property::DEFLATE);
}

CompressionKind UidDictionary::CompressionOf(int32_t index) const
{
    if (!IsTransfer(index))
        return CompressionKind::NONE;
    return static_cast<CompressionKind>(m_rows[index].properties & transfer_property::COMPRESSION_MASK);
}

UidDictionary& GlobalUidDictionary()
{
    static UidDictionary dictionary;
    return dictionary;
}

} // namespace velmora

// Fuzzes the data set writer with trees the reader builds from arbitrary bytes. The first byte
// picks the parse encoding and the write options, the second the piece size of WriteBytes; the
// rest is a data set stream, parsed with every value in memory. The tree is written twice with
// the same options: both passes must give the same bytes, the tree's links must hold, and the
// output must parse again.
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace velmora;

std::vector<uint8_t> Write(DataSet& ds, uint32_t options, uint32_t piece)
{
    std::vector<uint8_t> out;
    std::vector<uint8_t> buffer(piece);
    ds.BeginWrite(0, options);
    for (int32_t result = PENDING; result == PENDING && out.size() < (8u << 20);) {
        uint32_t produced = 0;
        result = ds.WriteBytes(buffer.data(), piece, produced);
        if (produced > piece)
            std::abort();
        out.insert(out.end(), buffer.begin(), buffer.begin() + produced);
    }
    ds.EndParse();
    if (ds.VerifyLinks() != SUCCESS)
        std::abort();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool installed = InstallBuiltInTables() == SUCCESS;
    if (!installed || size < 2 || size > (1 << 20))
        return 0;
    const uint8_t control = data[0];
    const uint32_t piece = 1 + data[1] * 41u;
    static const uint32_t encodings[] = { DS_META_GROUP, DS_META_GROUP | DS_EXPLICIT_VR,
        DS_META_GROUP | DS_EXPLICIT_VR | DS_BIG_ENDIAN, 0 };
    // Bits 2-7 select the write options: byte order, VR, deflate UID, memory mode, meta group,
    // all group lengths and defined lengths (0x0002 to 0x0080 shifted into place).
    const uint32_t options = static_cast<uint32_t>(control & 0xFC) >> 1
        | ((control & 0x80) ? uint32_t { DS_DEFINED_LENGTHS } : 0u);

    DataSet ds;
    ds.BeginParse(0, encodings[control & 3] | DS_VALUES_IN_MEMORY);
    ds.PushBytes(data + 2, static_cast<uint32_t>(size - 2));
    ds.EndParse();
    const std::vector<uint8_t> first = Write(ds, options, piece);
    const std::vector<uint8_t> second = Write(ds, options, piece);
    if (first != second)
        std::abort();

    DataSet again;
    const uint32_t written = options & DS_MEMORY_MODE ? 0 : options & (DS_EXPLICIT_VR | DS_BIG_ENDIAN);
    again.BeginParse(
        0, written | ((options & DS_META_GROUP) ? uint32_t { DS_META_GROUP } : 0u) | DS_VALUES_IN_MEMORY);
    again.PushBytes(first.data(), static_cast<uint32_t>(first.size()));
    again.EndParse();
    if (again.VerifyLinks() != SUCCESS)
        std::abort();
    return 0;
}

// Fuzzes the DICOM reader. The first byte picks the parse options and the piece sizes; the rest
// is a data set stream. It is pushed through BeginParse / PushBytes in pieces of varying size,
// then loaded from a file as a whole; after each, every element is walked, read and described as
// a dump line.
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/element_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace velmora;

uint32_t Touch(DataSet& ds)
{
    uint32_t sum = 0;
    std::vector<uint8_t> buffer;
    CharacterSetLookup lookup(ds);
    int32_t steps = 0;
    for (ElementId id = ds.FirstTopLevel(); id >= 0 && steps < 100000; id = ds.NextInPreOrder(id), ++steps) {
        sum += ds.GetTag(id) + ds.GetVr(id);
        sum += ds.IsContainer(id);
        sum += static_cast<uint32_t>(FormatElementLine(DescribeElement(ds, id, lookup)).size());
        const uint32_t length = ds.GetValueLength(id);
        if (!ds.IsContainer(id) && length > 0 && length != 0xFFFFFFFFu) {
            buffer.resize(std::min<uint32_t>(length, 4096));
            if (ds.ReadValue(id, buffer.data(), 0, static_cast<uint32_t>(buffer.size())) == SUCCESS)
                for (uint8_t b : buffer)
                    sum += b;
            if (char* text = ds.GetString(id, 1)) {
                sum += static_cast<uint8_t>(text[0]);
                DataSet::FreeString(text);
            }
            sum += ds.GetUnsigned(id, 0) + static_cast<uint32_t>(ds.GetUnsigned64(id, 1));
            sum += static_cast<uint32_t>(ds.GetReal(id, 0) != 0.0);
        }
    }
    if (ds.VerifyLinks() != SUCCESS)
        std::abort();
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool installed = InstallBuiltInTables() == SUCCESS;
    if (!installed || size < 1 || size > (1 << 20))
        return 0;
    const uint8_t control = data[0];
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;
    volatile uint32_t sink = 0;

    {
        static const uint32_t options[] = { DS_META_GROUP, DS_META_GROUP | DS_EXPLICIT_VR,
            DS_META_GROUP | DS_EXPLICIT_VR | DS_BIG_ENDIAN, DS_MEMORY_MODE };
        static const uint32_t storage[]
            = { DS_VALUES_IN_MEMORY, DS_SMALL_VALUES_IN_MEMORY, DS_SPOOL_VALUES, 0 };
        DataSet ds;
        ds.BeginParse(0, options[control & 3] | storage[(control >> 2) & 3]);
        size_t piece = 1 + (control >> 4);
        for (size_t at = 0; at < length;) {
            const size_t n = std::min(piece, length - at);
            if (ds.PushBytes(stream + at, static_cast<uint32_t>(n)) != SUCCESS)
                break;
            at += n;
            piece = piece * 3 % 61 + 1;
        }
        ds.EndParse();
        sink = sink + Touch(ds);
    }
    {
        char path[] = "/tmp/velmora-fuzz-dsXXXXXX";
        const int fd = ::mkstemp(path);
        if (fd < 0)
            return 0;
        const bool written = ::write(fd, stream, length) == static_cast<ssize_t>(length);
        ::close(fd);
        if (written) {
            DataSet ds;
            if (ds.Load(path) == SUCCESS || ds.FirstTopLevel() >= 0)
                sink = sink + Touch(ds);
        }
        ::unlink(path);
    }
    return 0;
}

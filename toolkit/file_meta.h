// The file meta information (group 0002, PS3.10 section 7.1) that a save writes in front of the
// data set: the transfer syntax of the chosen encoding, the version, the SOP Class and Instance
// UIDs of the body, and this toolkit as the implementation that wrote the file.
#pragma once

#include "toolkit/result_code.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

class DataSet;

// Identifies this toolkit as the writer of a file: a UUID-derived UID (PS3.5 Annex B.2).
inline constexpr std::string_view kImplementationClassUid = "2.25.117578851852726843287105105285141863905";

// The Transfer Syntax UID that says how `ds` is encoded when written with the DS_* `options`:
// the data set's own (0002,0010) when it says the same (so that, say, a retired JPEG process
// keeps its UID), else the dictionary's first syntax with that byte order, VR encoding, deflation
// and the data set's compression. Empty when no transfer syntax can carry the data set so (no
// compressed syntax is big-endian, implicit or deflated).
std::string OutputTransferSyntax(DataSet& ds, uint32_t options);

// Sets up group 0002 for a write with `options`: (0002,0010) as OutputTransferSyntax says,
// (0002,0001) when absent, (0002,0002) and (0002,0003) from the body's (0008,0016) and
// (0008,0018), and (0002,0012) and (0002,0013) naming this toolkit. ERROR_DS_TRANSFER_SYNTAX,
// with the tree unchanged, when there is no transfer syntax for the encoding.
ResultCode PrepareMetaGroup(DataSet& ds, uint32_t options);

} // namespace velmora

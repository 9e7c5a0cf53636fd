// The built-in rows of the toolkit's four process-wide tables and the start-up step that
// installs them: result codes, VR dictionary, UID dictionary, tag dictionary, in that order.
#pragma once

#include "toolkit/result_code.h"
#include "toolkit/result_code_table.h"
#include "toolkit/tag_dictionary.h"
#include "toolkit/uid_dictionary.h"
#include "toolkit/vr_dictionary.h"

#include <span>

namespace velmora {

std::span<const ResultCodeRow> BuiltInResultCodeRows();
std::span<const VrRow> BuiltInVrRows();
std::span<const UidRow> BuiltInUidRows();
// The tag dictionary of the edition the toolkit was written for.
std::span<const TagRow> BuiltInTagRows();
// The attributes later editions added (tag-dictionary-newer.tsv), so that dumps name them and
// implicit-VR files read them with their VR. Installed after BuiltInTagRows(), which they follow
// in one array: AllTagRows() is both. No newer row matches a tag an edition row matches.
std::span<const TagRow> NewerTagRows();
std::span<const TagRow> AllTagRows();

// Installs the built-in rows into the four global tables in order; stops at the first failure
// and returns its code, SUCCESS otherwise. Safe to call again (reinstalls the same rows).
ResultCode InstallBuiltInTables();

} // namespace velmora

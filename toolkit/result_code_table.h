// ResultCodeTable: the name and message of every result code, one row per code, indexed by code.
// One process-wide instance, empty until the start-up installs the built-in rows.
#pragma once

#include "toolkit/result_code.h"

#include <cstdint>
#include <string_view>

namespace velmora {

struct ResultCodeRow {
    const char* name; // symbolic name, "ERROR_FILE_FORMAT"; null for a code without a row
    const char* message; // one-line message, "Error File Format: Invalid format."
};

class ResultCodeTable {
public:
    // Points the table at a caller-owned array of rows (row index = code); the strings are
    // neither copied nor freed. ERROR_GENERAL_PARAMETER (table left empty) for a negative count
    // or a null array with rows.
    ResultCode Install(const ResultCodeRow* rows, int32_t count);

    int32_t Count() const { return m_count; }
    // True when the code has a row with a name.
    bool HasRow(int32_t code) const;
    // The row's name and message; empty views for a code without a row.
    std::string_view NameOf(int32_t code) const;
    std::string_view MessageOf(int32_t code) const;

private:
    const ResultCodeRow* m_rows = nullptr;
    int32_t m_count = 0;
};

// The process-wide table.
ResultCodeTable& GlobalResultCodeTable();

// Name and message of a code from the process-wide table ("" when it has no row), so that a
// caller can report "NAME: message".
std::string_view ResultCodeName(int32_t code);
std::string_view ResultCodeMessage(int32_t code);

} // namespace velmora

// ResultCodeTable: rows indexed by code, pointing at caller-owned strings.
#include "toolkit/result_code_table.h"

namespace velmora {

ResultCode ResultCodeTable::Install(const ResultCodeRow* rows, int32_t count)
{
    if (count < 0 || (rows == nullptr && count > 0)) {
        m_rows = nullptr;
        m_count = 0;
        return ERROR_GENERAL_PARAMETER;
    }
    m_rows = rows;
    m_count = count;
    return SUCCESS;
}

bool ResultCodeTable::HasRow(int32_t code) const
{
    return code >= 0 && code < m_count && m_rows[code].name != nullptr;
}

std::string_view ResultCodeTable::NameOf(int32_t code) const
{
    return HasRow(code) ? std::string_view(m_rows[code].name) : std::string_view();
}

std::string_view ResultCodeTable::MessageOf(int32_t code) const
{
    if (!HasRow(code) || m_rows[code].message == nullptr)
        return {};
    return m_rows[code].message;
}

ResultCodeTable& GlobalResultCodeTable()
{
    static ResultCodeTable table;
    return table;
}

std::string_view ResultCodeName(int32_t code)
{
    return GlobalResultCodeTable().NameOf(code);
}

std::string_view ResultCodeMessage(int32_t code)
{
    return GlobalResultCodeTable().MessageOf(code);
}

} // namespace velmora

// The data set writer. Not available yet: every entry point reports that.
#include "toolkit/data_set.h"

namespace velmora {

struct DataSet::WriteState {
};

void DataSet::WriteStateDeleter::operator()(WriteState* state) const
{
    delete state;
}

ResultCode DataSet::Save(const char*, uint32_t)
{
    return ERROR_GENERAL_NOT_IMPLEMENTED;
}

ResultCode DataSet::BeginWrite(uint64_t, uint32_t)
{
    return ERROR_GENERAL_NOT_IMPLEMENTED;
}

int32_t DataSet::WriteBytes(uint8_t*, uint32_t, uint32_t& produced)
{
    produced = 0;
    return ERROR_GENERAL_NOT_IMPLEMENTED;
}

} // namespace velmora

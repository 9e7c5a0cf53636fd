// velmora-tool info: not built yet.
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunInfo(Args)
{
    std::fputs("velmora-tool info: not available yet\n", stderr);
    return 1;
}

} // namespace velmora::tool

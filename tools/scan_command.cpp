// velmora-tool scan: not built yet.
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunScan(Args)
{
    std::fputs("velmora-tool scan: not available yet\n", stderr);
    return 1;
}

} // namespace velmora::tool

// velmora-tool dump: not built yet.
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunDump(Args)
{
    std::fputs("velmora-tool dump: not available yet\n", stderr);
    return 1;
}

} // namespace velmora::tool

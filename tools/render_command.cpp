// velmora-tool render: not built yet.
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunRender(Args)
{
    std::fputs("velmora-tool render: not available yet\n", stderr);
    return 1;
}

} // namespace velmora::tool

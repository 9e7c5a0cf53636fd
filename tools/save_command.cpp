// velmora-tool save: not built yet.
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunSave(Args)
{
    std::fputs("velmora-tool save: not available yet\n", stderr);
    return 1;
}

} // namespace velmora::tool

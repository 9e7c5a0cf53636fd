// How long a GUI test waits for what the event loop brings: a window shown or made active, a menu
// opened or closed, a timer's tick. Generous, for a loaded machine running sanitizer builds; a
// wait ends as soon as its condition holds, so a passing test never waits this long.
#pragma once

namespace velmora::testing {

constexpr int kEventWaitMs = 30000;

} // namespace velmora::testing

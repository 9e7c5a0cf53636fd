#include "app/wheel_steps.h"

namespace velmora {

namespace {

constexpr int kNotch = 120;

} // namespace

int WheelSteps::Add(int verticalDelta)
{
    if ((verticalDelta > 0 && m_pending < 0) || (verticalDelta < 0 && m_pending > 0))
        m_pending = 0;
    const long long pending = static_cast<long long>(m_pending) + verticalDelta;
    const long long notches = pending / kNotch;
    m_pending = static_cast<int>(pending - notches * kNotch);
    return static_cast<int>(notches);
}

} // namespace velmora

// WheelSteps: turns the vertical movement of a mouse wheel into image steps. A notch of an
// ordinary wheel (120 units of angle) is one step; finer wheels and touchpads send smaller
// amounts, which add up to a notch before they step, so one swipe is not dozens of loads.
#pragma once

namespace velmora {

class WheelSteps {
public:
    // Adds one event's vertical angle delta (positive: away from the user) and returns the
    // whole notches completed, positive away from the user. Reversing drops what had added up.
    int Add(int verticalDelta);

private:
    int m_pending = 0;
};

} // namespace velmora

// SPDX-License-Identifier: GPL-2.0-or-later
#include "double_tap.h"

#include <cmath>

bool register_press(PressHistory& history, const PointerPress& press) {
    const double dx = press.x - history.last.x;
    const double dy = press.y - history.last.y;
    const bool doubled = history.pending && press.time - history.last.time <= DOUBLE_TAP_SECONDS &&
                         std::hypot(dx, dy) <= DOUBLE_TAP_DISTANCE;
    history.last = press;
    history.pending = !doubled;
    return doubled;
}

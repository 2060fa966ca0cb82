// SPDX-License-Identifier: GPL-2.0-or-later
// Telling a double tap (or double click) from two single ones.
#pragma once

// X11 offers no double-click time that every client can read (desktops
// publish theirs through a settings daemon, if at all); this is the common
// default of desktop toolkits.
inline constexpr double DOUBLE_TAP_SECONDS = 0.4;
// A finger's two taps land further apart than a mouse's two clicks, which
// toolkits allow a few pixels; both stay well inside this.
inline constexpr double DOUBLE_TAP_DISTANCE = 24.0; // window pixels

struct PointerPress {
    double time; // seconds, on the windowing library's clock
    double x;    // window pixels from the left
    double y;    // window pixels from the top
};

struct PressHistory {
    PointerPress last{};
    bool pending = false; // `last` may still become the first of a double tap
};

// Records a press of the primary button. True when it completes a double
// tap: the previous press came at most DOUBLE_TAP_SECONDS earlier, within
// DOUBLE_TAP_DISTANCE of it, and was not itself the second of a double tap
// (so a triple tap toggles once).
bool register_press(PressHistory& history, const PointerPress& press);

// SPDX-License-Identifier: GPL-2.0-or-later
// The per-frame renderer: owns the scene clock, the starfield's motion and the
// colours of the bars and the scroller, and draws one complete frame. Main
// thread only; the state is process-wide and lives for the whole run.
#pragma once

#include <cstdint>

inline constexpr int VIRTUAL_WIDTH = 1024; // virtual screen, one unit per pixel in the window
inline constexpr int VIRTUAL_HEIGHT = 768;
inline constexpr int STAR_COUNT = 512;
inline constexpr float STEP_INTERVAL =
    0.02f; // s; star and typewriter steps are strictly further apart

struct Star {
    int32_t x; // 0..1023, drifts left and wraps
    int32_t y; // 161..613, fixed at setup
};

// Scene clock, seconds of the windowing library's timer.
extern float frame_time;          // taken once at the start of each frame
extern float previous_frame_time; // the previous frame's frame_time, 0 before the first
extern float frame_delta;         // frame_time - previous_frame_time

extern Star stars[STAR_COUNT]; // placed by scene setup
extern float star_step_time;   // s, when the stars last stepped

// Per-vertex colours of the unit quad (bottom-left, bottom-right, top-right,
// top-left), RGB 0..1, packed for glColorPointer.
extern float bar_colors[4][3];
extern float scroller_colors[4][3];

extern uint32_t logo_list; // display list recorded by scene setup, 0 before

// Draws one complete frame: clock, stars, logo, bars, page text, scroller.
// Needs the window's context current and the scene set up.
void render_frame();

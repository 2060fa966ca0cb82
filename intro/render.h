// The per-frame renderer: owns the scene clock and all per-frame state.
#pragma once

// Draws one complete frame. The window's context must be current.
void render_frame();

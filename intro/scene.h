// One-time scene setup: the window, the fixed GL state and everything the
// renderer needs before its first frame.
#pragma once

#include <cstdint>

struct GLFWwindow;

// Returns the window, or null when none could be created.
GLFWwindow* setup_scene();

// Records the logo into the display list `list` for the current viewport,
// drawing nothing now. The list keeps that viewport on every replay.
void record_logo(uint32_t list);

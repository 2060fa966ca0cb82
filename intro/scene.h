// SPDX-License-Identifier: GPL-2.0-or-later
// One-time scene setup: the window, the fixed GL state and everything the
// renderer needs before its first frame.
#pragma once

struct GLFWwindow;

// Returns the window, or null when none could be created.
GLFWwindow* setup_scene();

// SPDX-License-Identifier: GPL-2.0-or-later
// The window, its OpenGL context and the two keys the user has.
// Main thread only: GLFW calls and the key callback run there.
#pragma once

struct GLFWwindow;
struct GLFWmonitor;
struct GLFWvidmode;

inline constexpr int WINDOW_WIDTH = 1024; // client size, and the full-screen mode asked for
inline constexpr int WINDOW_HEIGHT = 768;
inline constexpr const char* WINDOW_TITLE = "Quillrun - Skylet2 Factory Image";

extern GLFWwindow* window;
extern bool fullscreen_enabled;
extern GLFWmonitor* primary_monitor;
extern const GLFWvidmode* primary_mode; // desktop mode at creation, used for centring

// Creates the window with an OpenGL 1.2 context, installs the key callback and
// makes the context current. Returns null when no window could be made.
GLFWwindow* create_window();

// Full screen on the primary monitor, or a 1024x768 window centred on it.
void apply_window_mode();

void key_callback(GLFWwindow* w, int key, int scancode, int action, int mods);
void ignore_glfw_error(int code, const char* description);

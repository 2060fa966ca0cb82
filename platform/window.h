// SPDX-License-Identifier: GPL-2.0-or-later
// The window, its OpenGL context and the two keys the user has.
// Main thread only: GLFW calls and the key callback run there.
#pragma once

#include "double_tap.h"

struct GLFWwindow;
struct GLFWmonitor;
struct GLFWvidmode;

inline constexpr int WINDOW_WIDTH = 1024; // client size, and the full-screen mode asked for
inline constexpr int WINDOW_HEIGHT = 768;
inline constexpr const char* WINDOW_TITLE = "Quillrun - Skylet2 Factory Image";

// A rectangle of framebuffer pixels, its corner at the lower left as OpenGL counts.
struct PixelRect {
    int x;
    int y;
    int width;
    int height;
    bool operator==(const PixelRect&) const = default;
};

// The window's whole client area: where the scene is drawn when not full screen.
inline constexpr PixelRect WINDOW_VIEWPORT = {0, 0, WINDOW_WIDTH, WINDOW_HEIGHT};

extern GLFWwindow* window;
extern bool fullscreen_enabled;
extern GLFWmonitor* primary_monitor;
extern const GLFWvidmode* primary_mode; // desktop mode at creation, used for centring
// Where the 1024x768 scene goes in the framebuffer; follows its size.
extern PixelRect scene_viewport;
extern PressHistory pointer_presses; // the primary button's presses, for double taps

// Creates the window with an OpenGL 1.2 context, installs the key callback and
// makes the context current. Returns null when no window could be made.
GLFWwindow* create_window();

// Full screen on the primary monitor, or a 1024x768 window centred on it; sets
// scene_viewport to match.
void apply_window_mode();

// Flips fullscreen_enabled and applies it: what F11 and a double tap do.
void toggle_full_screen();

// Fits scene_viewport to the framebuffer as it is now. Called every frame: a
// window manager resizes a full-screen window some time after the switch, not
// during it, and a compositor may size even the window as it likes (a kiosk
// shell fills the output with it). A 1024x768 framebuffer is the whole scene.
void follow_framebuffer();

// The largest rectangle of the window's 4:3 shape that fits a framebuffer of
// this size, centred in it: the bands left over stay black.
PixelRect fit_scene(int framebuffer_width, int framebuffer_height);

void key_callback(GLFWwindow* w, int key, int scancode, int action, int mods);
// A double click of the primary button, or a double tap on a touch screen
// (which reaches an X11 program as pointer presses), toggles full screen like
// F11: a tablet may have no keyboard. A single press does nothing.
void mouse_button_callback(GLFWwindow* w, int button, int action, int mods);
void ignore_glfw_error(int code, const char* description);

// The window, its OpenGL context and the two keys the user has.
// Main thread only: GLFW calls and the key callback run there.
#pragma once

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
// Where the 1024x768 scene goes in the framebuffer; follows the window mode.
extern PixelRect scene_viewport;

// Creates the window with an OpenGL 1.2 context, installs the key callback and
// makes the context current. Returns null when no window could be made.
GLFWwindow* create_window();

// Full screen on the primary monitor, or a 1024x768 window centred on it; sets
// scene_viewport to match.
void apply_window_mode();

// In full screen, fits scene_viewport to the framebuffer as it is now: a
// window manager resizes a full-screen window some time after the switch, not
// during it. Does nothing in the window, whose size never changes.
void follow_framebuffer();

// The largest rectangle of the window's 4:3 shape that fits a framebuffer of
// this size, centred in it: the bands left over stay black.
PixelRect fit_scene(int framebuffer_width, int framebuffer_height);

void key_callback(GLFWwindow* w, int key, int scancode, int action, int mods);
void ignore_glfw_error(int code, const char* description);

// SPDX-License-Identifier: GPL-2.0-or-later
#include "window.h"

#include <GLFW/glfw3.h>

GLFWwindow* window = nullptr;
bool fullscreen_enabled = false;
GLFWmonitor* primary_monitor = nullptr;
const GLFWvidmode* primary_mode = nullptr;
PixelRect scene_viewport = WINDOW_VIEWPORT;
PressHistory pointer_presses;

GLFWwindow* create_window() {
    primary_monitor = glfwGetPrimaryMonitor();
    primary_mode = primary_monitor ? glfwGetVideoMode(primary_monitor) : nullptr;

    glfwWindowHint(GLFW_CLIENT_API, GLFW_OPENGL_API);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 1);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);

    window = glfwCreateWindow(WINDOW_WIDTH, WINDOW_HEIGHT, WINDOW_TITLE,
                              fullscreen_enabled ? primary_monitor : nullptr, nullptr);
    if (!window) return nullptr;
    glfwSetKeyCallback(window, key_callback);
    glfwSetMouseButtonCallback(window, mouse_button_callback);
    glfwMakeContextCurrent(window);
    return window;
}

void apply_window_mode() {
    if (fullscreen_enabled) {
        // Without a primary monitor there is nothing to go full screen on.
        if (!primary_monitor) return;
        glfwSetWindowMonitor(window, primary_monitor, 0, 0, WINDOW_WIDTH, WINDOW_HEIGHT,
                             GLFW_DONT_CARE);
        follow_framebuffer();
        return;
    }
    glfwSetWindowMonitor(window, nullptr, 0, 0, WINDOW_WIDTH, WINDOW_HEIGHT, GLFW_DONT_CARE);
    follow_framebuffer();
    // Centre on the desktop mode as it was when the window was made; with no
    // readable mode the window stays where the library put it.
    if (!glfwGetWindowMonitor(window) && primary_mode)
        glfwSetWindowPos(window, (primary_mode->width - WINDOW_WIDTH) / 2,
                         (primary_mode->height - WINDOW_HEIGHT) / 2);
}

void toggle_full_screen() {
    fullscreen_enabled = !fullscreen_enabled;
    apply_window_mode();
}

void follow_framebuffer() {
    // Few monitors have a 1024x768 mode, the framebuffer need not match the
    // mode chosen, and a compositor may give even the window another size (a
    // kiosk shell makes it fill the output): scale the scene to what is
    // really there. At 1024x768 this is the whole window, as always.
    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    scene_viewport = fit_scene(width, height);
}

PixelRect fit_scene(int framebuffer_width, int framebuffer_height) {
    // Compare the two aspect ratios by cross-multiplying: no rounding decides
    // which side is the limit.
    const bool wider = framebuffer_width * WINDOW_HEIGHT >= framebuffer_height * WINDOW_WIDTH;
    const int width = wider ? framebuffer_height * WINDOW_WIDTH / WINDOW_HEIGHT : framebuffer_width;
    const int height =
        wider ? framebuffer_height : framebuffer_width * WINDOW_HEIGHT / WINDOW_WIDTH;
    return {(framebuffer_width - width) / 2, (framebuffer_height - height) / 2, width, height};
}

void key_callback(GLFWwindow* w, int key, int, int action, int) {
    if (action != GLFW_PRESS) return;
    if (key == GLFW_KEY_ESCAPE) {
        glfwSetWindowShouldClose(w, GLFW_TRUE);
    } else if (key == GLFW_KEY_F11) {
        toggle_full_screen();
    }
}

void mouse_button_callback(GLFWwindow* w, int button, int action, int) {
    if (button != GLFW_MOUSE_BUTTON_LEFT || action != GLFW_PRESS) return;
    PointerPress press{glfwGetTime(), 0.0, 0.0};
    glfwGetCursorPos(w, &press.x, &press.y);
    if (register_press(pointer_presses, press)) toggle_full_screen();
}

void ignore_glfw_error(int, const char*) {}

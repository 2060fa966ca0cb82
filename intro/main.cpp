// SPDX-License-Identifier: GPL-2.0-or-later
// The intro's entry: start-up in its fixed order, then the frame loop.
// The program prints nothing on any path; every end is an exit status.
#include <GLFW/glfw3.h>

#include <cstdlib>

#include "assets.h"
#include "audio.h"
#include "render.h"
#include "quillrun/replayer.h"
#include "scene.h"
#include "window.h"

namespace {
constexpr int EXIT_NORMAL = 0;
constexpr int EXIT_FATAL = 1;
} // namespace

int main() {
    if (!glfwInit()) std::exit(EXIT_FATAL);
    glfwSetErrorCallback(ignore_glfw_error);

    // No window (or no context of the kind asked for) is a quiet, normal end.
    if (!setup_scene()) std::exit(EXIT_NORMAL);
    apply_window_mode();
    // A missing sound server only means silence.
    open_audio_device();

    // The embedded module: any failure ends the program with status 1, after
    // the window has appeared. The song plays for as long as the intro runs.
    replayer::ReplayContext* module = replayer::load_module(module_data, module_data_size);
    replayer::set_repeat_count(module, replayer::REPEAT_FOREVER);
    replay_context = module;

    // The gain is set only once the module is loaded and published.
    apply_master_gain();

    while (!glfwWindowShouldClose(window)) {
        render_frame();
        glfwSwapBuffers(window);
        glfwPollEvents();
    }
    std::exit(EXIT_NORMAL);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Renders the real intro scene off-screen at chosen scene times and writes one
// PNG per time, so the picture can be looked at without a display of one's own
// (run it under Xvfb).
//
// usage: intro_screenshots OUT_DIR [TIME_SECONDS...]
//
// Frames are stepped from 0 at a fixed interval up to each time, so the
// typewriter and the stars advance as they would at that frame rate. The scene
// reads its clock through glfwGetTime; this program defines that function
// itself, so every frame sees exactly its stepped time. The library's timer
// would add the real time spent since it was set, which differs from run to
// run and from machine to machine, and the pictures would too.
#include <GL/gl.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "render.h"
#include "scene.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {
constexpr int EXIT_REJECTED = 1;
constexpr int EXIT_USAGE = 2;
constexpr double FRAME_INTERVAL = 1.0 / 100.0; // s between stepped frames
constexpr int RGB = 3;
const std::vector<double> DEFAULT_TIMES = {0.5, 3.5, 8.0, 16.0, 19.0, 40.0};

double scene_clock = 0.0;

[[noreturn]] void fail(int status, const std::string& message) {
    std::fprintf(stderr, "intro_screenshots: %s\n", message.c_str());
    std::exit(status);
}

bool parse_time(const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    seconds = std::strtod(text, &end);
    return errno == 0 && end != text && *end == '\0' && seconds >= 0.0 && seconds < 3600.0;
}

// The frame as drawn, top row first.
std::vector<unsigned char> read_frame() {
    std::vector<unsigned char> bottom_up(VIRTUAL_WIDTH * VIRTUAL_HEIGHT * RGB);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, VIRTUAL_WIDTH, VIRTUAL_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    std::vector<unsigned char> top_down(bottom_up.size());
    const std::size_t row = VIRTUAL_WIDTH * RGB;
    for (int y = 0; y < VIRTUAL_HEIGHT; ++y)
        std::copy_n(bottom_up.begin() + (VIRTUAL_HEIGHT - 1 - y) * row, row,
                    top_down.begin() + y * row);
    return top_down;
}
} // namespace

// Takes the place of the windowing library's timer for the scene code linked
// into this program.
extern "C" double glfwGetTime() {
    return scene_clock;
}

int main(int argc, char** argv) {
    if (argc < 2) fail(EXIT_USAGE, "usage: intro_screenshots OUT_DIR [TIME_SECONDS...]");
    const std::string out_dir = argv[1];
    std::vector<double> times;
    for (int i = 2; i < argc; ++i) {
        double t = 0.0;
        if (!parse_time(argv[i], t)) fail(EXIT_USAGE, std::string("bad time: ") + argv[i]);
        if (!times.empty() && t <= times.back()) fail(EXIT_USAGE, "times must increase");
        times.push_back(t);
    }
    if (times.empty()) times = DEFAULT_TIMES;

    if (!glfwInit()) fail(EXIT_REJECTED, "cannot start the windowing library (no display?)");
    GLFWwindow* const shown = setup_scene();
    if (!shown) fail(EXIT_REJECTED, "cannot create the window");

    std::size_t frame = 0;
    for (double wanted : times) {
        double t = 0.0;
        do {
            t = static_cast<double>(++frame) * FRAME_INTERVAL;
            scene_clock = t < wanted ? t : wanted;
            render_frame();
        } while (t < wanted);

        char name[64];
        std::snprintf(name, sizeof name, "/scene-%07.2fs.png", wanted);
        const std::string path = out_dir + name;
        const std::vector<unsigned char> pixels = read_frame();
        if (!stbi_write_png(path.c_str(), VIRTUAL_WIDTH, VIRTUAL_HEIGHT, RGB, pixels.data(),
                            VIRTUAL_WIDTH * RGB))
            fail(EXIT_REJECTED, "cannot write " + path);
        std::printf("%s\n", path.c_str());
        glfwSwapBuffers(shown);
        glfwPollEvents();
    }
    return 0;
}

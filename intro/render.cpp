#include "render.h"

#include <GLFW/glfw3.h>

#include <algorithm>
#include <cmath>

#include "audio.h"
#include "font.h"
#include "scene.h"
#include "scroller.h"
#include "typewriter.h"
#include "window.h"

float frame_time = 0.0f;
float previous_frame_time = 0.0f;
float frame_delta = 0.0f;
Star stars[STAR_COUNT];
float star_step_time = 0.0f;
float bar_colors[4][3];
float scroller_colors[4][3];
uint32_t logo_list = 0;

namespace {
constexpr float STAR_POINT_SIZE = 2.0f;
constexpr int32_t STAR_X_MASK = VIRTUAL_WIDTH - 1; // wraps x within 0..1023
constexpr int FAST_STAR_EVERY = 3;                 // stars 0, 3, 6, ... move twice as far
constexpr int32_t FAST_STAR_STEP = 2;
constexpr int32_t SLOW_STAR_STEP = 1;
constexpr int BAR_HEIGHT = 7;
constexpr float UPPER_BAR_Y = 153.6f;
constexpr float LOWER_BAR_Y = 614.4f;

uint32_t scaled_logo_list = 0;    // the logo for a viewport other than the window's
PixelRect scaled_logo_viewport{}; // the viewport that list was recorded for

void advance_clock() {
    previous_frame_time = frame_time;
    frame_time = static_cast<float>(glfwGetTime());
    frame_delta = frame_time - previous_frame_time;
}

// Points keep their size in pixels whatever the viewport: scale them with the
// scene so the stars stay in proportion and all of one size.
float star_point_size() {
    const float scale = static_cast<float>(scene_viewport.height) / VIRTUAL_HEIGHT;
    return std::max(1.0f, std::round(STAR_POINT_SIZE * scale));
}

// Either every star steps in a frame or none does.
void step_and_draw_stars() {
    const bool step = frame_time - star_step_time > STEP_INTERVAL;
    // A wide point is drawn whole once its centre is inside: a star at the
    // scene's edge would spill into the black band beside a scaled scene.
    const bool clip = scene_viewport != WINDOW_VIEWPORT;
    if (clip) {
        glScissor(scene_viewport.x, scene_viewport.y, scene_viewport.width, scene_viewport.height);
        glEnable(GL_SCISSOR_TEST);
    }
    glDisable(GL_TEXTURE_2D);
    glPointSize(star_point_size());
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_POINTS);
    for (int i = 0; i < STAR_COUNT; ++i) {
        Star& star = stars[i];
        if (step) {
            const int32_t distance = i % FAST_STAR_EVERY == 0 ? FAST_STAR_STEP : SLOW_STAR_STEP;
            star.x = (star.x - distance) & STAR_X_MASK;
        }
        glVertex2i(star.x, star.y);
    }
    glEnd();
    if (clip) glDisable(GL_SCISSOR_TEST);
    if (step) star_step_time = frame_time;
}

// The colours swim slowly with time; each vertex has its own frequency.
void update_colors(float t) {
    for (int k = 0; k < 4; ++k) {
        const float n = static_cast<float>(k);
        bar_colors[k][0] = std::fabs(sinf((n + 1.0f) * (0.1f * t)) * 0.7f) + 0.3f;
        bar_colors[k][1] = std::fabs(cosf((n + 2.0f) * (0.07f * t)) * 0.8f) + 0.2f;
        bar_colors[k][2] = std::fabs(sinf((n + 3.0f) * (0.05f * t)) * 0.5f) + 0.5f;
        scroller_colors[k][0] = std::fabs(sinf((n + 1.0f) * (0.1f * t)) * 0.4f) + 0.6f;
        scroller_colors[k][1] = std::fabs(cosf((n + 2.0f) * (0.05f * t)) * 0.6f) + 0.4f;
        scroller_colors[k][2] = std::fabs(cosf((n + 3.0f) * (0.15f * t)) * 0.8f) + 0.2f;
    }
}

// A display list keeps the viewport it was recorded under. The window keeps
// the list made at setup; any other viewport gets a list of its own, recorded
// on the first frame drawn there.
uint32_t logo_list_for_viewport() {
    if (scene_viewport == WINDOW_VIEWPORT) return logo_list;
    if (scaled_logo_list == 0) scaled_logo_list = glGenLists(1);
    if (scaled_logo_viewport != scene_viewport) {
        record_logo(scaled_logo_list);
        scaled_logo_viewport = scene_viewport;
    }
    return scaled_logo_list;
}

void draw_bars() {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, bar_colors);
    draw_quad(VIRTUAL_WIDTH, BAR_HEIGHT, UPPER_BAR_Y);
    draw_quad(VIRTUAL_WIDTH, BAR_HEIGHT, LOWER_BAR_Y);
    glDisableClientState(GL_COLOR_ARRAY);
}
} // namespace

void render_frame() {
    advance_clock();

    // Music and picture begin together: the device starts on the first frame,
    // once, whether or not it could be opened.
    if (!audio_started.load(std::memory_order_acquire) && replay_context) {
        start_audio_once();
        audio_started.store(true, std::memory_order_release);
    }

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    select_page();
    glClear(GL_COLOR_BUFFER_BIT);
    follow_framebuffer();
    set_projection(VIRTUAL_WIDTH, VIRTUAL_HEIGHT);

    step_and_draw_stars();
    glCallList(logo_list_for_viewport()); // drawn in the stars' white
    update_colors(frame_time);
    draw_bars();

    // The current colour is undefined after a colour-array draw; the page text
    // keeps the white of the stars and the logo on every driver.
    glColor3f(1.0f, 1.0f, 1.0f);
    step_and_draw_page();
    advance_page_timer();

    draw_scroller();
}

// SPDX-License-Identifier: GPL-2.0-or-later
// The real scene (setup_scene, render_frame) under a real OpenGL context: the
// scene clock is set through the windowing library's timer and every check is
// made on pixels read back from the framebuffer, or on the typewriter's and
// scroller's state where timing alone is the question.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "picture_support.h"
#include "render.h"
#include "scene.h"
#include "scroller.h"
#include "texts.h"
#include "typewriter.h"

namespace {

constexpr double FIRST_FRAME_TIME = 1.0;
constexpr double STEP = 0.03125; // s, exact in float and more than 0.02
constexpr double HALF_STEP = STEP / 2;
constexpr int STAR_BAND_TOP = 162, STAR_BAND_BOTTOM = 612; // rows clear of both bars

std::vector<Star> initial_stars; // where rand() put them, before any step
Picture first_frame;
Typewriter typewriter_after_first_frame;
double scene_clock = 100.0; // each test starts its own stretch of scene time

void frame_at(double t) {
    glfwSetTime(t);
    render_frame();
}

double fresh_time() {
    return scene_clock += 200.0;
}

class SceneEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // Nothing in this process calls rand() before the scene is set up.
        ASSERT_TRUE(glfwInit());
        ASSERT_NE(setup_scene(), nullptr);
        std::srand(1); // an unseeded generator runs as if seeded with 1
        for (int i = 0; i < STAR_COUNT; ++i) {
            const int x = std::rand() % 1024;
            initial_stars.push_back({x, std::rand() % 453 + 161});
        }
        frame_at(FIRST_FRAME_TIME);
        first_frame = read_picture();
        typewriter_after_first_frame = typewriter;
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new SceneEnvironment);

int32_t star_x_after(int i, int steps) {
    return (initial_stars[i].x - steps * (i % 3 == 0 ? 2 : 1)) & 1023;
}

// A size-2 point at (x, y) lights the pixels left of and above that corner.
std::vector<std::pair<int, int>> footprint(int x, int y) {
    std::vector<std::pair<int, int>> pixels;
    for (int px : {x - 1, x})
        for (int py : {y - 1, y})
            if (px >= 0) pixels.push_back({px, py});
    return pixels;
}

std::vector<bool> star_mask() {
    std::vector<bool> mask(VIRTUAL_WIDTH * VIRTUAL_HEIGHT);
    for (const Star& s : stars)
        for (auto [px, py] : footprint(s.x, s.y)) mask[py * VIRTUAL_WIDTH + px] = true;
    return mask;
}

// Every star lit where the step rule puts it after `steps` steps, and nothing
// else lit in the band between the bars except inside `skip` (the page block).
void expect_stars(const Picture& picture, int steps, int skip_x0 = 0, int skip_x1 = 0,
                  int skip_y0 = 0, int skip_y1 = 0) {
    std::vector<bool> expected(VIRTUAL_WIDTH * VIRTUAL_HEIGHT);
    int missing = 0;
    for (int i = 0; i < STAR_COUNT; ++i)
        for (auto [px, py] : footprint(star_x_after(i, steps), initial_stars[i].y)) {
            expected[py * VIRTUAL_WIDTH + px] = true;
            if (py >= STAR_BAND_TOP && py <= STAR_BAND_BOTTOM && !picture.white(px, py)) ++missing;
        }
    int stray = 0;
    for (int py = STAR_BAND_TOP; py <= STAR_BAND_BOTTOM; ++py)
        for (int px = 0; px < VIRTUAL_WIDTH; ++px) {
            const bool skipped = px >= skip_x0 && px < skip_x1 && py >= skip_y0 && py < skip_y1;
            if (!skipped && picture.lit(px, py) && !expected[py * VIRTUAL_WIDTH + px]) ++stray;
        }
    EXPECT_EQ(missing, 0) << "after " << steps << " steps";
    EXPECT_EQ(stray, 0) << "after " << steps << " steps";
}

// The page block as the typewriter should show it: white glyphs at size 2 for
// the visible bytes, black elsewhere; star pixels are not judged.
int page_mismatches(const Picture& picture) {
    const Typewriter& tw = typewriter;
    const int x0 = static_cast<int>(tw.page_origin.x), y0 = static_cast<int>(tw.page_origin.y);
    std::vector<bool> ink(VIRTUAL_WIDTH * VIRTUAL_HEIGHT);
    int pen_x = 0, pen_y = 0, right = x0, bottom = y0 + 32;
    for (uint32_t j = 0; tw.page_on_screen[j]; ++j) {
        const auto byte = static_cast<uint8_t>(tw.page_on_screen[j]);
        if (byte == '\n') {
            pen_x = 0;
            pen_y += 32;
            continue;
        }
        if (byte != ' ' && j >= tw.reveal_first && j <= tw.reveal_last)
            for (int py = 0; py < 32; ++py)
                for (int px = 0; px < 16; ++px)
                    if (font_ink(byte, px / 2, py / 2))
                        ink[(y0 + pen_y + py) * VIRTUAL_WIDTH + x0 + pen_x + px] = true;
        pen_x += 16;
        right = std::max(right, x0 + pen_x);
        bottom = std::max(bottom, y0 + pen_y + 32);
    }
    const std::vector<bool> stars_here = star_mask();
    int mismatches = 0;
    for (int py = y0 - 8; py < bottom + 8; ++py)
        for (int px = x0 - 8; px < right + 8; ++px) {
            const std::size_t i = py * VIRTUAL_WIDTH + px;
            if (stars_here[i]) continue;
            if (ink[i] ? !picture.white(px, py) : picture.lit(px, py)) ++mismatches;
        }
    return mismatches;
}

// The current state drawn by a frame at the time of the last one: no step, no motion.
Picture redrawn(double t) {
    frame_at(t);
    return read_picture();
}

void start_page(int index, double t) {
    frame_at(t);
    typewriter.page_index = typewriter.page_index_shown = index;
    typewriter.page_selected = page_texts[index];
    reset_page();
}

// Frames STEP apart until the condition holds; returns the frames drawn.
template <typename Done> int frames_until(double& t, Done done, int limit = 1000) {
    int frames = 0;
    while (!done() && frames < limit) {
        t += STEP;
        frame_at(t);
        ++frames;
    }
    return frames;
}

TEST(Scene, FirstFrameShowsStarsLogoAndOnlyTheFirstPageByte) {
    // The first frame comes long after the stars' last step time (0): one step.
    expect_stars(first_frame, 1);

    // Page 0 at (296, 288) with only byte 0 visible, and byte 0 is a space.
    EXPECT_EQ(typewriter_after_first_frame.page_on_screen, page_texts[0]);
    EXPECT_EQ(typewriter_after_first_frame.page_origin.x, 296.0f);
    EXPECT_EQ(typewriter_after_first_frame.page_origin.y, 288.0f);
    EXPECT_EQ(typewriter_after_first_frame.reveal_first, 0u);
    // The first typing step came at the end of the first frame, after drawing.
    EXPECT_EQ(typewriter_after_first_frame.reveal_last, 1u);

    // The logo at (252, 36.8): cell rows start at pixel row 37, each byte drawn
    // from the font, 0xDB cells completely filled.
    int mismatches = 0, full_cells = 0;
    int line = 0, column = 0;
    for (const char* p = logo_text; *p; ++p) {
        if (*p == '\n') {
            ++line;
            column = 0;
            continue;
        }
        const auto code = static_cast<uint8_t>(*p);
        const int x = 252 + column * 8, y = 37 + line * 16;
        int lit = 0;
        for (int gy = 0; gy < 16; ++gy)
            for (int gx = 0; gx < 8; ++gx) {
                const bool on = first_frame.white(x + gx, y + gy);
                lit += on;
                if (on != font_ink(code, gx, gy)) ++mismatches;
            }
        if (code == 0xDB) {
            ++full_cells;
            EXPECT_EQ(lit, 8 * 16);
        }
        ++column;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(full_cells, 0);
    for (int x = 0; x < VIRTUAL_WIDTH; ++x) { // nothing above or below the logo
        EXPECT_FALSE(first_frame.lit(x, 36));
        EXPECT_FALSE(first_frame.lit(x, 37 + 5 * 16));
    }
}

// Colour of the bar quad at pixel (px, py): the four vertex colours blended
// over its two triangles (bottom-left, bottom-right, top-right) and
// (top-right, top-left, bottom-left).
Rgb expected_bar_color(float t, float bar_y, int px, int py) {
    float colors[4][3];
    for (int k = 0; k < 4; ++k) {
        colors[k][0] = std::fabs(sinf((k + 1) * (0.1f * t)) * 0.7f) + 0.3f;
        colors[k][1] = std::fabs(cosf((k + 2) * (0.07f * t)) * 0.8f) + 0.2f;
        colors[k][2] = std::fabs(sinf((k + 3) * (0.05f * t)) * 0.5f) + 0.5f;
    }
    const double u = (px + 0.5) / 1024.0;          // 0 left .. 1 right
    const double v = (bar_y + 7 - (py + 0.5)) / 7; // 0 bottom .. 1 top
    double w[4] = {0, 0, 0, 0};
    if (u >= v) {
        w[0] = 1 - u, w[1] = u - v, w[2] = v; // lower-right triangle
    } else {
        w[2] = u, w[3] = v - u, w[0] = 1 - v; // upper-left triangle
    }
    double rgb[3] = {0, 0, 0};
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 3; ++c) rgb[c] += w[k] * colors[k][c];
    return {int(std::lround(rgb[0] * 255)), int(std::lround(rgb[1] * 255)),
            int(std::lround(rgb[2] * 255))};
}

TEST(Scene, BarsCoverTheirRowsInTheirSwimmingColours) {
    struct Bar {
        float y;
        int first_row, last_row;
    };
    for (double t : {FIRST_FRAME_TIME, fresh_time() + 0.4}) {
        const Picture picture = t == FIRST_FRAME_TIME ? first_frame : (frame_at(t), read_picture());
        for (const Bar& bar : {Bar{153.6f, 154, 160}, Bar{614.4f, 614, 620}}) {
            int off = 0;
            for (int py = bar.first_row; py <= bar.last_row; ++py)
                for (int px = 0; px < VIRTUAL_WIDTH; ++px) {
                    const Rgb want = expected_bar_color(static_cast<float>(t), bar.y, px, py);
                    const Rgb got = picture.at(px, py);
                    off += std::abs(got.r - want.r) > 2 || std::abs(got.g - want.g) > 2 ||
                           std::abs(got.b - want.b) > 2;
                }
            EXPECT_EQ(off, 0) << "bar at " << bar.y << ", t " << t;
            // The rows just outside hold no bar colour: black, or a white star.
            for (int px = 0; px < VIRTUAL_WIDTH; ++px)
                for (int py : {bar.first_row - 1, bar.last_row + 1})
                    EXPECT_TRUE(!picture.lit(px, py) || picture.white(px, py)) << px << "," << py;
        }
    }
}

// A frame `after` seconds past the last step, and the steps taken by then.
struct TimedFrame {
    double after;
    int steps;
};
const TimedFrame STEP_FRAMES[] = {{HALF_STEP, 0}, {0.019, 0}, {STEP, 1},
                                  {HALF_STEP, 1}, {5.0, 2},   {STEP, 3}};

TEST(Scene, StarsStepAllOrNoneStrictlyAfterTheInterval) {
    // Frames of the other tests have moved the stars; restart them from rand().
    for (int i = 0; i < STAR_COUNT; ++i) stars[i] = initial_stars[i];
    double last_step = fresh_time(), t = last_step;
    star_step_time = static_cast<float>(last_step);
    int steps = 0;
    for (const TimedFrame& f : STEP_FRAMES) {
        frame_at(t = last_step + f.after);
        if (f.steps > steps) last_step = t;
        steps = f.steps;
        expect_stars(read_picture(), steps, 200, 830, 280, 540);
    }

    // Wrapping at the left edge: step 1 from 0, step 2 from 1 and from 0.
    stars[1].x = 0;
    stars[3].x = 1;
    stars[6].x = 0;
    frame_at(t + STEP);
    EXPECT_EQ(stars[1].x, 1023);
    EXPECT_EQ(stars[3].x, 1023);
    EXPECT_EQ(stars[6].x, 1022);
    const Picture picture = read_picture();
    for (int i : {1, 3, 6})
        for (auto [px, py] : footprint(stars[i].x, stars[i].y))
            EXPECT_TRUE(picture.white(px, py)) << "star " << i;
}

TEST(Scene, TypewriterTypesOneByteAStepAndStandsTenSeconds) {
    const double start = fresh_time();
    start_page(0, start);
    double t = start, last_step = start;
    int steps = 0;
    // Steps come strictly more than 0.02 s apart and at most once a frame.
    for (const TimedFrame& f : STEP_FRAMES) {
        if (f.steps > 2) break; // a third step would show more than "  Q"
        frame_at(t = last_step + f.after);
        if (f.steps > steps) last_step = t;
        steps = f.steps;
        EXPECT_EQ(typewriter.reveal_last, static_cast<uint32_t>(f.steps)) << "+" << f.after;
    }
    // A step acts after the frame's drawing; a second frame at the same time
    // shows it. Bytes 0..2 are "  Q": only the Q, in the third cell.
    Picture picture = redrawn(t);
    EXPECT_EQ(page_mismatches(picture), 0);
    EXPECT_TRUE(picture.white(328 + 2, 288 + 8)); // left stroke of the Q

    EXPECT_EQ(frames_until(t, [] { return typewriter.reveal_last == 129; }), 127);
    EXPECT_EQ(page_mismatches(redrawn(t)), 0);

    // Fully typed, it stands: not at 10 s after the last step, just after.
    const double typed = typewriter.text_step_time;
    frame_at(typed + 10.0);
    EXPECT_EQ(typewriter.page_index, 0);
    frame_at(t = typed + 10.0 + STEP);
    EXPECT_EQ(typewriter.page_index, 1);
    EXPECT_EQ(page_mismatches(redrawn(t)), 0);

    // Erasing starts from the first byte: after three steps the Q is gone.
    EXPECT_EQ(frames_until(t, [] { return typewriter.reveal_first == 3; }), 3);
    EXPECT_EQ(typewriter.page_on_screen, page_texts[0]);
    picture = redrawn(t);
    EXPECT_EQ(page_mismatches(picture), 0);
    EXPECT_FALSE(picture.white(328 + 2, 288 + 8));

    // 126 more erase steps, then page 1 replaces it with its first byte shown.
    EXPECT_EQ(frames_until(t, [] { return typewriter.page_on_screen != page_texts[0]; }), 127);
    EXPECT_EQ(typewriter.page_on_screen, page_texts[1]);
    EXPECT_EQ(typewriter.reveal_first, 0u);
    EXPECT_EQ(typewriter.reveal_last, 0u);
    picture = redrawn(t);
    EXPECT_EQ(page_mismatches(picture), 0); // the '-' at (240, 336)
    int lit = 0;
    for (int y = 336; y < 336 + 32; ++y)
        for (int x = 240; x < 240 + 16; ++x) lit += picture.white(x, y);
    EXPECT_GT(lit, 0);
}

TEST(Scene, PageAfterTheLastIsTheFirst) {
    double t = fresh_time();
    start_page(5, t);
    frames_until(t, [] { return typewriter.reveal_last == 43; });
    frame_at(t = typewriter.text_step_time + 10.0 + STEP);
    EXPECT_EQ(typewriter.page_index, 6);
    frames_until(t, [] { return typewriter.page_on_screen != page_texts[5]; });
    EXPECT_EQ(typewriter.page_index, 0);
    EXPECT_EQ(typewriter.page_on_screen, page_texts[0]);
    EXPECT_EQ(typewriter.page_origin.x, 296.0f);
}

// The glyph cell the scroller should ink at pixel (px, py), for a glyph at (x, y).
bool scroller_inks(uint8_t code, float x, float y, int px, int py) {
    const double gx = std::floor((px + 0.5 - x) / 3), gy = std::floor((py + 0.5 - y) / 3);
    return gx >= 0 && gx < 8 && gy >= 0 && gy < 16 && font_ink(code, int(gx), int(gy));
}

TEST(Scene, ScrollerEntersAtTheRightAndMovesByElapsedTime) {
    double t = fresh_time();
    frame_at(t);
    reset_scroller();
    EXPECT_EQ(scroller.scroll_pos.x, 1024.0f);
    // The baseline is the float just below the one nearest 675.84: the wave's
    // pixel rows depend on that last bit.
    EXPECT_EQ(std::bit_cast<uint32_t>(scroller.scroll_pos.y), 0x4428F5C2u);
    frame_at(t += 2.0); // drawn at 1024, just out of sight; then 180 units left
    EXPECT_EQ(scroller.scroll_pos.x, 844.0f);
    frame_at(t += 0.5);
    EXPECT_EQ(scroller.scroll_pos.x, 799.0f);

    // The frame just drawn put 'W' (column 1) at x 844 on the wave.
    const float y =
        scroller.scroll_pos.y + sinf((1 * 0.05f + static_cast<float>(t)) * 4.0f) * 48.0f;
    const Picture picture = read_picture();
    int ink = 0, mismatches = 0;
    for (int py = int(y) - 4; py < int(y) + 52; ++py)
        for (int px = 840; px < 868; ++px) {
            const bool want = scroller_inks('W', 844.0f, y, px, py);
            ink += want;
            if (want != picture.lit(px, py)) ++mismatches;
        }
    EXPECT_GT(ink, 100);
    EXPECT_LE(mismatches, 6); // rounding where the wave puts a texel edge on a pixel centre

    // Past -24 per byte the text starts over at the right edge.
    const float end = -24.0f * 370;
    struct Case {
        float x_before;
        float x_after;
    };
    for (const Case& c : {Case{end + 12, end + 0.75f}, Case{end + 11, 1024.0f}}) {
        scroller.scroll_pos.x = c.x_before;
        frame_at(t += 4 * STEP); // 11.25 units
        EXPECT_EQ(scroller.scroll_pos.x, c.x_after) << c.x_before;
    }
}

// Glyphs entirely off screen still count: a glyph whose left edge is at -24 or
// 1024 is drawn, one at -24.5 or 1024.5 is not. Counted as primitives that
// reach the rasteriser's input, which sees them before clipping.
TEST(Scene, ScrollerDrawsGlyphsFromMinus24To1024) {
    auto gen_queries = reinterpret_cast<PFNGLGENQUERIESPROC>(glfwGetProcAddress("glGenQueries"));
    auto begin_query = reinterpret_cast<PFNGLBEGINQUERYPROC>(glfwGetProcAddress("glBeginQuery"));
    auto end_query = reinterpret_cast<PFNGLENDQUERYPROC>(glfwGetProcAddress("glEndQuery"));
    auto query_result =
        reinterpret_cast<PFNGLGETQUERYOBJECTUIVPROC>(glfwGetProcAddress("glGetQueryObjectuiv"));
    if (!gen_queries || !begin_query || !end_query || !query_result)
        GTEST_SKIP() << "no primitive queries in this OpenGL";
    GLuint query = 0;
    gen_queries(1, &query);

    const double t = fresh_time();
    auto primitives_with_scroller_at = [&](float x) {
        scroller.scroll_pos.x = x;
        begin_query(GL_PRIMITIVES_GENERATED, query);
        frame_at(t); // same time: nothing steps or moves between these frames
        end_query(GL_PRIMITIVES_GENERATED);
        GLuint count = 0;
        query_result(query, GL_QUERY_RESULT, &count);
        return static_cast<int>(count);
    };
    const char* const text = scroller.scroller_text;
    scroller.scroller_text = "A";
    reset_scroller();
    frame_at(t);
    const int none = primitives_with_scroller_at(-1000.0f);
    struct Case {
        float x;
        int triangles;
    };
    for (const Case& c :
         {Case{-24.0f, 2}, Case{1024.0f, 2}, Case{-24.5f, 0}, Case{1024.5f, 0}, Case{500.0f, 2}})
        EXPECT_EQ(primitives_with_scroller_at(c.x) - none, c.triangles) << "x " << c.x;
    scroller.scroller_text = text;
    reset_scroller();
}

} // namespace

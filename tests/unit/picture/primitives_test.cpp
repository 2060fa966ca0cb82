// SPDX-License-Identifier: GPL-2.0-or-later
// The drawing primitives against a real OpenGL context (run under Xvfb): glyphs
// compared pixel by pixel with the font bitmap, rectangles, text layout and the
// additive blend.
#include <GL/gl.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "assets.h"
#include "font.h"
#include "picture_support.h"
#include "window.h"

namespace {

class Primitives : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(glfwInit());
        ASSERT_NE(create_window(), nullptr);
        // The intro culls back faces: a quad wound the wrong way would vanish.
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GL_CCW);
    }
    void SetUp() override {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        set_projection(VIRTUAL_WIDTH, VIRTUAL_HEIGHT);
        glColor3f(1.0f, 1.0f, 1.0f);
    }
};

// All 256 codes in the atlas's own 32x8 layout reproduce the font bitmap
// exactly at every size: upright, unsigned codes, hard edges, no bleeding from
// neighbouring cells, and code 32 empty.
TEST_F(Primitives, GlyphsMatchTheFontBitmapAtEverySize) {
    for (int size : {1, 2, 3}) {
        SCOPED_TRACE(size);
        SetUp();
        for (int code = 0; code < 256; ++code)
            draw_glyph(static_cast<uint8_t>(code), size, static_cast<float>(code % 32 * 8 * size),
                       static_cast<float>(code / 32 * 16 * size));
        const Picture picture = read_picture();
        int mismatches = 0;
        for (int py = 0; py < 128 * size; ++py)
            for (int px = 0; px < 256 * size; ++px) {
                const int cell = 8 * size, row = 16 * size;
                const auto code = static_cast<uint8_t>(py / row * 32 + px / cell);
                const bool ink = glyph_inks(code, size, px / cell * cell, py / row * row, px, py);
                if (ink ? !picture.white(px, py) : picture.lit(px, py)) ++mismatches;
            }
        EXPECT_EQ(mismatches, 0);
        // Nothing outside the grid.
        for (int px = 0; px < VIRTUAL_WIDTH; ++px) EXPECT_FALSE(picture.lit(px, 128 * size));
    }
}

TEST_F(Primitives, FullBlockFillsItsCellAndSpaceDrawsNothing) {
    struct Case {
        uint8_t code;
        int size;
        int lit_pixels;
    };
    for (const Case& c :
         {Case{0xDB, 1, 8 * 16}, Case{0xDB, 2, 16 * 32}, Case{0xDB, 3, 24 * 48}, Case{32, 3, 0}}) {
        SetUp();
        draw_glyph(c.code, c.size, 100.0f, 200.0f);
        const Picture picture = read_picture();
        int lit = 0, outside = 0;
        for (int y = 0; y < VIRTUAL_HEIGHT; ++y)
            for (int x = 0; x < VIRTUAL_WIDTH; ++x) {
                if (!picture.lit(x, y)) continue;
                ++lit;
                if (x < 100 || x >= 100 + 8 * c.size || y < 200 || y >= 200 + 16 * c.size)
                    ++outside;
            }
        EXPECT_EQ(lit, c.lit_pixels) << int(c.code) << " size " << c.size;
        EXPECT_EQ(outside, 0);
    }
}

// With a context that hands out texture names, only the decoder can refuse a
// font: data it cannot read ends the process with status 1, the real font
// becomes a 256x128 texture.
TEST_F(Primitives, UndecodableFontEndsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // the child makes its own context
    const unsigned char not_a_bitmap[] = {'B', 'M', 0, 0, 1, 2, 3};
    EXPECT_EXIT(create_font_atlas(not_a_bitmap, sizeof not_a_bitmap), ::testing::ExitedWithCode(1),
                "");
    EXPECT_EXIT(create_font_atlas(font_image + 2, font_image_size - 2),
                ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(create_font_atlas(nullptr, 0), ::testing::ExitedWithCode(1), "");

    FontAtlas* atlas = create_font_atlas(font_image, font_image_size);
    ASSERT_NE(atlas, nullptr);
    EXPECT_EQ(atlas->width, 256);
    EXPECT_EQ(atlas->height, 128);
    EXPECT_NE(atlas->texture, 0u);
    std::free(atlas); // a second record, not the one the glyphs use
}

// Size-1 text: a space advances one cell, a line feed starts the next line,
// a carriage return goes back to the line start (so E lands on C).
TEST_F(Primitives, StringLaysOutLinesAndReturns) {
    draw_string("AB\nC D\rE", 40.0f, 500.0f);
    const Picture picture = read_picture();
    struct Placed {
        uint8_t code;
        int x, y;
    };
    const std::vector<Placed> expected = {
        {'A', 40, 500}, {'B', 48, 500}, {'C', 40, 516}, {'D', 56, 516}, {'E', 40, 516}};
    int mismatches = 0;
    for (int py = 480; py < 560; ++py)
        for (int px = 0; px < 120; ++px) {
            bool ink = false;
            for (const Placed& p : expected) ink = ink || glyph_inks(p.code, 1, p.x, p.y, px, py);
            if (ink ? !picture.white(px, py) : picture.lit(px, py)) ++mismatches;
        }
    EXPECT_EQ(mismatches, 0);
}

// Glyph ink adds to what is under it and saturates at white.
TEST_F(Primitives, GlyphsBlendAdditivelyAndSaturate) {
    glColor3f(0.5f, 0.25f, 0.0f);
    draw_quad(1024, 16, 300.0f);
    glColor3f(0.6f, 0.6f, 0.6f);
    draw_glyph(0xDB, 1, 10.0f, 100.0f);
    draw_glyph(0xDB, 1, 30.0f, 100.0f);
    draw_glyph(0xDB, 1, 30.0f, 100.0f);
    draw_glyph(0xDB, 1, 50.0f, 300.0f);
    const Picture picture = read_picture();
    const Rgb once = picture.at(12, 104), twice = picture.at(32, 104), over = picture.at(52, 304);
    EXPECT_NEAR(once.r, 153, 1);
    EXPECT_EQ(twice.r, 255);
    EXPECT_EQ(twice.b, 255);
    EXPECT_EQ(over.r, 255);           // 0.5 + 0.6 saturates
    EXPECT_NEAR(over.g, 64 + 153, 2); // 0.25 + 0.6
    EXPECT_NEAR(over.b, 153, 1);      // 0 + 0.6
}

} // namespace

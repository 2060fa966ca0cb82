// SPDX-License-Identifier: GPL-2.0-or-later
// Font atlas failures end the process with status 1. No OpenGL context is made
// here, so OpenGL hands out no texture name.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "assets.h"
#include "font.h"

namespace {

TEST(FontAtlasDeathTest, UnusableFontEndsWithStatusOne) {
    const std::vector<unsigned char> not_a_bitmap = {'B', 'M', 0, 0, 1, 2, 3};
    std::vector<unsigned char> truncated(font_image, font_image + 100);
    EXPECT_EXIT(create_font_atlas(not_a_bitmap.data(), not_a_bitmap.size()),
                ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(create_font_atlas(truncated.data(), truncated.size()), ::testing::ExitedWithCode(1),
                "");
    EXPECT_EXIT(create_font_atlas(nullptr, 0), ::testing::ExitedWithCode(1), "");
}

TEST(FontAtlasDeathTest, NoTextureNameEndsWithStatusOne) {
    EXPECT_EXIT(draw_glyph('A', 1, 0.0f, 0.0f), ::testing::ExitedWithCode(1), "");
}

} // namespace

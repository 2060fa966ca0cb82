// SPDX-License-Identifier: GPL-2.0-or-later
// The texts' layouts, and where the typewriter places each page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "texts.h"
#include "typewriter.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::size_t leading_spaces(const std::string& line) {
    return std::min(line.find_first_not_of(' '), line.size());
}

TEST(Texts, PagesHaveTheirLengthsLinesAndOrigins) {
    struct Page {
        std::size_t bytes;
        std::vector<std::size_t> line_lengths;
        bool final_line_feed;
        float origin_x, origin_y;
    };
    const Page pages[PAGE_COUNT] = {
        {129, {24, 26, 0, 26, 23, 0, 24}, false, 296, 288},
        {135, {33, 33, 33, 33}, false, 240, 336},
        {143, {35, 35, 35, 35}, false, 224, 336},
        {230, {32, 43, 28, 43, 45, 33}, true, 144, 288},
        {62, {34, 27}, false, 232, 368},
        {43, {43}, false, 168, 384},
    };
    for (int i = 0; i < PAGE_COUNT; ++i) {
        SCOPED_TRACE(i);
        const std::string text = page_texts[i];
        EXPECT_EQ(text.size(), pages[i].bytes);
        EXPECT_EQ(text.find('\r'), std::string::npos);
        std::vector<std::size_t> lengths;
        for (const std::string& line : lines_of(text)) lengths.push_back(line.size());
        EXPECT_EQ(lengths, pages[i].line_lengths);
        EXPECT_EQ(text.back() == '\n', pages[i].final_line_feed);

        typewriter.page_selected = page_texts[i];
        reset_page();
        EXPECT_EQ(typewriter.page_on_screen, page_texts[i]);
        EXPECT_EQ(typewriter.page_length, static_cast<int>(pages[i].bytes));
        EXPECT_EQ(typewriter.page_origin.x, pages[i].origin_x);
        EXPECT_EQ(typewriter.page_origin.y, pages[i].origin_y);
        EXPECT_EQ(typewriter.reveal_first, 0u);
        EXPECT_EQ(typewriter.reveal_last, 0u);
    }
}

TEST(Texts, EmptyPageSitsInTheMiddle) {
    typewriter.page_selected = "";
    reset_page();
    EXPECT_EQ(typewriter.page_length, 0);
    EXPECT_EQ(typewriter.page_origin.x, 512.0f);
    EXPECT_EQ(typewriter.page_origin.y, 384.0f);
}

TEST(Texts, GreetingsAndScrollerFollowTheirLayouts) {
    const std::vector<std::string> p1 = lines_of(page_texts[1]);
    // Greetings: 16 names over five centred lines, continued lines end with a comma.
    const std::vector<std::string> p3 = lines_of(page_texts[3]);
    EXPECT_EQ(p3[0], "           -= STARSHININGS TO =-");
    const std::size_t spaces[] = {2, 15, 2, 0, 10}, names[] = {4, 2, 3, 5, 2};
    const bool comma[] = {true, false, true, true, false};
    for (int i = 0; i < 5; ++i) {
        const std::string& line = p3[i + 1];
        EXPECT_EQ(leading_spaces(line), spaces[i]) << line;
        const auto separators = static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
        EXPECT_EQ(separators, names[i] - 1 + comma[i]) << line;
        EXPECT_EQ(line.back() == ',', comma[i]) << line;
    }

    // The OS name of page 1 closes segment 4 of the scroller.
    const std::string scroller = scroller_text;
    EXPECT_EQ(scroller.size(), 370u);
    EXPECT_EQ(scroller.find('\n'), std::string::npos);
    const std::string os_name = p1[1].substr(19);
    EXPECT_NE(scroller.find("THAT DOESN'T USE " + os_name + " - ALSO DON'T"), std::string::npos);
    EXPECT_EQ(scroller.substr(scroller.size() - 35), " - DRAGGING YOUR DEVICES SINCE 2018");
    EXPECT_NE(scroller.find(" - COMPLETE WITH WORKING WIFI AND BLUETOOTH SUPPORT - "),
              std::string::npos);
}

// Five lines of block bytes, at most 64 cells, no trailing space, and eight
// letters three blank columns apart.
TEST(Texts, LogoIsFiveLinesOfBlocksSpellingEightLetters) {
    const std::vector<std::string> lines = lines_of(logo_text);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(std::string(logo_text).back(), '\n');
    std::size_t width = 0;
    for (const std::string& line : lines) {
        EXPECT_LE(line.size(), 64u);
        EXPECT_NE(line.back(), ' ');
        for (unsigned char byte : line)
            EXPECT_TRUE(byte == 32 || byte == 0xDB || byte == 0xDC || byte == 0xDF);
        width = std::max(width, line.size());
    }
    int letters = 0;
    std::size_t blank_run = 0;
    for (std::size_t column = 0; column < width; ++column) {
        const bool blank = std::all_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return column >= l.size() || l[column] == ' ';
        });
        if (!blank && (column == 0 || blank_run > 0)) {
            if (column > 0) {
                EXPECT_EQ(blank_run, 3u) << "gap before column " << column;
            }
            ++letters;
        }
        blank_run = blank ? blank_run + 1 : 0;
    }
    EXPECT_EQ(letters, 8);
}

} // namespace

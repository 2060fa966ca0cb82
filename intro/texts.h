// SPDX-License-Identifier: GPL-2.0-or-later
// Every text the intro shows: six typewriter pages, the scroller line and the
// block-letter logo. Constant data, never changed or freed.
#pragma once

inline constexpr int PAGE_COUNT = 6;

// The bytes the text walkers treat specially; every other byte is a glyph.
inline constexpr char CARRIAGE_RETURN = '\r';
inline constexpr char LINE_FEED = '\n';
inline constexpr char SPACE = ' ';

// Zero-terminated pages in showing order; lines end with a line feed (10).
extern const char* const page_texts[PAGE_COUNT];

// The sine scroller's single line (no line feed).
extern const char scroller_text[];

// QUILLRUN in block letters five cells high: code page 437 bytes 0xDB (full
// block), 0xDC (lower half), 0xDF (upper half) and spaces, five lines.
extern const char* const logo_text;

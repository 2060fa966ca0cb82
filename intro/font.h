// The drawing primitives and the font atlas: the virtual-screen projection, a
// filled rectangle and a font glyph, both drawn from one static unit quad, and a
// text at size 1. Main thread only, with the window's context current.
#pragma once

#include <cstddef>
#include <cstdint>

// The one texture made from the embedded font image; made on the first glyph
// and never freed.
struct FontAtlas {
    int32_t width;    // decoded picture width in pixels (256)
    int32_t height;   // decoded picture height in pixels (128)
    int32_t channels; // channel count the decoder reports for the file
    uint32_t texture; // OpenGL texture name, never 0 once made
};

inline constexpr int GLYPH_WIDTH = 8; // font cell size in atlas pixels
inline constexpr int GLYPH_HEIGHT = 16;
inline constexpr int ATLAS_COLUMNS = 32; // cells per atlas row

extern int32_t viewport_width; // units given to the last set_projection
extern int32_t viewport_height;
extern const float quad_vertices[4]
                                [2]; // unit square: bottom-left, bottom-right, top-right, top-left
extern const uint16_t quad_indices[6]; // two counter-clockwise triangles
extern FontAtlas* font_atlas;          // null until the first draw_glyph

// Maps width x height units onto scene_viewport (the whole 1024x768 window,
// or the scaled rectangle in full screen): orthographic projection with the
// origin at the top-left corner and y growing downwards; modelview identity,
// current.
void set_projection(int width, int height);

// Rectangle from (0, y) to (width, y + height) in the caller's colour or
// colour array.
void draw_quad(int width, int height, float y);

// One font cell scaled to 8*size by 16*size units with its top-left corner at
// (x, y), blended additively. Makes the atlas on first use.
void draw_glyph(uint8_t code, int size, float x, float y);

// A zero-terminated text at size 1 from (x, y): CR returns the pen to the line
// start, LF starts the next line, a space advances the pen.
void draw_string(const char* text, float x, float y);

// Decodes a BMP font picture into the atlas texture. Ends the process with
// status 1 when the record cannot be allocated, the picture cannot be decoded
// or no texture name is obtained.
FontAtlas* create_font_atlas(const unsigned char* image, std::size_t size);

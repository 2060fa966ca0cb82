#include "font.h"

#include <GL/gl.h>

#include <climits>
#include <cstdlib>

#include "assets.h"
#include "texts.h"
#include "window.h"

// The decoder is a single-header library built here, for BMP only; its own
// warnings are not this program's.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {
constexpr int EXIT_FONT_FAILURE = 1;
constexpr int RGB_CHANNELS = 3;
constexpr GLint CLAMP_WRAP = 0x2900; // GL_CLAMP of OpenGL 1.x

// Both arrays are enabled by the caller; only the transform and the draw are here.
void draw_unit_quad(float x, float y, float width, float height) {
    set_projection(viewport_width, viewport_height);
    glTranslatef(x, y, 0.0f);
    glScalef(width, height, 0.0f);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, quad_indices);
}
} // namespace

int32_t viewport_width = 0;
int32_t viewport_height = 0;
const float quad_vertices[4][2] = {{0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}};
const uint16_t quad_indices[6] = {0, 1, 2, 2, 3, 0};
FontAtlas* font_atlas = nullptr;

void set_projection(int width, int height) {
    glViewport(scene_viewport.x, scene_viewport.y, scene_viewport.width, scene_viewport.height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    viewport_width = width;
    viewport_height = height;
}

void draw_quad(int width, int height, float y) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, quad_vertices);
    draw_unit_quad(0.0f, y, static_cast<float>(width), static_cast<float>(height));
    glDisableClientState(GL_VERTEX_ARRAY);
}

FontAtlas* create_font_atlas(const unsigned char* image, std::size_t size) {
    auto* atlas = static_cast<FontAtlas*>(std::calloc(1, sizeof(FontAtlas)));
    if (!atlas) std::exit(EXIT_FONT_FAILURE);

    // The decoder hands rows over bottom first, as OpenGL wants them.
    stbi_set_flip_vertically_on_load(1);
    stbi_uc* pixels = size > INT_MAX
                          ? nullptr
                          : stbi_load_from_memory(image, static_cast<int>(size), &atlas->width,
                                                  &atlas->height, &atlas->channels, RGB_CHANNELS);
    if (!pixels) {
        std::free(atlas);
        std::exit(EXIT_FONT_FAILURE);
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        stbi_image_free(pixels);
        std::free(atlas);
        std::exit(EXIT_FONT_FAILURE);
    }
    atlas->texture = name;

    // While the logo list is being recorded, these calls go into the list and
    // the list re-specifies the texture on every replay.
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, CLAMP_WRAP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, CLAMP_WRAP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, atlas->width, atlas->height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 pixels);
    stbi_image_free(pixels);
    return atlas;
}

void draw_glyph(uint8_t code, int size, float x, float y) {
    if (!font_atlas) font_atlas = create_font_atlas(font_image, font_image_size);

    const float atlas_w = static_cast<float>(font_atlas->width);
    const float atlas_h = static_cast<float>(font_atlas->height);
    const int px = (code % ATLAS_COLUMNS) * GLYPH_WIDTH;
    const int py = (code / ATLAS_COLUMNS) * GLYPH_HEIGHT;
    const float u0 = px / atlas_w;
    const float u1 = (px + GLYPH_WIDTH) / atlas_w;
    const float v_top = 1.0f - py / atlas_h;
    const float v_bottom = 1.0f - (py + GLYPH_HEIGHT) / atlas_h;
    const float tex_coords[4][2] = {{u0, v_bottom}, {u1, v_bottom}, {u1, v_top}, {u0, v_top}};

    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, font_atlas->texture);
    glVertexPointer(2, GL_FLOAT, 0, quad_vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, tex_coords);

    draw_unit_quad(x, y, static_cast<float>(GLYPH_WIDTH * size),
                   static_cast<float>(GLYPH_HEIGHT * size));

    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

void draw_string(const char* text, float x, float y) {
    glPushMatrix();
    int pen_x = 0;
    int pen_y = 0;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
        case CARRIAGE_RETURN:
            pen_x = 0;
            break;
        case SPACE:
            pen_x += GLYPH_WIDTH;
            break;
        case LINE_FEED:
            pen_x = 0;
            pen_y += GLYPH_HEIGHT;
            break;
        default:
            draw_glyph(static_cast<uint8_t>(*p), 1, x + pen_x, y + pen_y);
            pen_x += GLYPH_WIDTH;
        }
    }
    glPopMatrix();
}

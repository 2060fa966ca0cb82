#include "scene.h"

#include <GL/gl.h>

#include <bit>
#include <cstdlib>

#include "font.h"
#include "render.h"
#include "scroller.h"
#include "texts.h"
#include "typewriter.h"
#include "window.h"

namespace {
constexpr int STAR_MIN_Y = 161;  // just below the upper bar
constexpr int STAR_ROWS = 453;   // rows 161..613, just above the lower bar
constexpr float LOGO_X = 252.0f; // top-left corner of the logo at size 1
// 36.8 units down, as the exact float the scene places the logo at: one step
// above the float nearest to 36.8, written as bits so no rounding can move it.
constexpr float LOGO_Y = std::bit_cast<float>(0x42133334u);

// The generator is never seeded, so the starfield is the same on every run.
void place_stars() {
    for (Star& star : stars) {
        star.x = std::rand() % VIRTUAL_WIDTH;
        star.y = std::rand() % STAR_ROWS + STAR_MIN_Y;
    }
}
} // namespace

void record_logo(uint32_t list) {
    glNewList(list, GL_COMPILE);
    glPushMatrix();
    set_projection(VIRTUAL_WIDTH, VIRTUAL_HEIGHT);
    draw_string(logo_text, LOGO_X, LOGO_Y);
    glPopMatrix();
    glEndList();
}

GLFWwindow* setup_scene() {
    if (!create_window()) return nullptr;

    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);

    place_stars();
    // The font atlas is made by the first glyph, so its texture binding,
    // parameters and image go into this list too, and every replay
    // re-specifies the texture before the frame's other glyphs use it.
    logo_list = glGenLists(1);
    record_logo(logo_list);

    scroller.scroller_text = scroller_text;
    reset_scroller();
    typewriter.page_selected = page_texts[0];
    reset_page();
    return window;
}

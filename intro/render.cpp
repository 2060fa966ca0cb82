#include "render.h"

#include <GL/gl.h>

#include "audio.h"

void render_frame() {
    // Music and picture begin together: the device starts on the first frame,
    // once, whether or not it could be opened.
    if (!audio_started.load(std::memory_order_acquire) && replay_context) {
        start_audio_once();
        audio_started.store(true, std::memory_order_release);
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

#include "scene.h"

#include "window.h"

GLFWwindow* setup_scene() {
    if (!create_window()) return nullptr;
    return window;
}

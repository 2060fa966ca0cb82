// SPDX-License-Identifier: GPL-2.0-or-later
#include "player_keys.h"

namespace {

constexpr char ESCAPE = '\x1b';
constexpr size_t ARROW_BYTES = 3; // ESC [ A

Key arrow(char code) {
    switch (code) {
    case 'A':
        return Key::forward_far;
    case 'B':
        return Key::back_far;
    case 'C':
        return Key::forward;
    case 'D':
        return Key::back;
    default:
        return Key::none;
    }
}

} // namespace

KeyPress read_key(const char* bytes, size_t count, size_t& used) {
    used = count ? 1 : 0;
    if (!count) return {};
    const char c = bytes[0];
    if (c == ESCAPE) {
        if (count < ARROW_BYTES || (bytes[1] != '[' && bytes[1] != 'O')) return {};
        used = ARROW_BYTES;
        return {arrow(bytes[2]), 0};
    }
    if (c >= '1' && c <= '9') return {Key::toggle_mute, static_cast<uint8_t>(c - '1')};
    switch (c) {
    case ' ':
        return {Key::pause, 0};
    case 'n':
        return {Key::next, 0};
    case 'p':
        return {Key::previous, 0};
    case 'q':
        return {Key::quit, 0};
    default:
        return {};
    }
}

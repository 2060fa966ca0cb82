// SPDX-License-Identifier: GPL-2.0-or-later
// The keys --play answers to, read from a terminal's bytes.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Key : uint8_t {
    none,
    pause,       // space
    back,        // left: 10 s back
    forward,     // right: 10 s on
    back_far,    // down: a minute back
    forward_far, // up: a minute on
    next,        // n
    previous,    // p
    quit,        // q
    toggle_mute, // 1..9, with the channel in `channel`
};

struct KeyPress {
    Key key = Key::none;
    uint8_t channel = 0; // toggle_mute: 0..8
};

// The first key in `bytes` (arrows arrive as ESC [ A..D) and how many bytes
// it took; an unknown byte or sequence is skipped as Key::none.
KeyPress read_key(const char* bytes, size_t count, size_t& used);

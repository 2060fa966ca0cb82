// SPDX-License-Identifier: GPL-2.0-or-later
// What the IT tests share: loading a built module, samples and a test wave.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "it_writer.h"
#include "module_check.h"

namespace test_modules {

inline Context load_ok(const ItBuilder& it) {
    const char* error = nullptr;
    Context ctx = load(it.build(), &error);
    EXPECT_TRUE(ctx) << (error ? error : "");
    return ctx;
}

inline ItSample sample_of(std::vector<int16_t> frames, uint8_t flags = 1) {
    ItSample s;
    s.flags = flags;
    s.frames = std::move(frames);
    return s;
}

// A wave that needs every width: quiet stretches, steps and full swings.
inline std::vector<int16_t> test_wave(size_t count, bool sixteen_bit) {
    std::vector<int16_t> v(count);
    const float full = sixteen_bit ? 32767.0f : 127.0f;
    for (size_t i = 0; i < count; ++i) {
        const float level = (i / 300) % 3 == 0 ? 0.05f : (i / 300) % 3 == 1 ? 0.5f : 1.0f;
        v[i] = static_cast<int16_t>(std::lround(full * level * std::sin(0.05f * i * (1 + i % 7))));
    }
    return v;
}

} // namespace test_modules

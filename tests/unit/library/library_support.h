// SPDX-License-Identifier: GPL-2.0-or-later
// What the library tests share: the module as a C handle and as a C++
// context, the songs they play, and how renders are compared.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "assets.h"
#include "module_builders.h"
#include "quillrun/replayer.h"
#include "quillrun/replayer_c.h"

namespace library_test {

using namespace replayer;
using test_modules::Bytes;

struct CModule {
    explicit CModule(const Bytes& bytes)
        : handle(quillrun_load(bytes.data(), bytes.size(), &error)) {}
    ~CModule() { quillrun_free(handle); }
    const char* error = nullptr;
    quillrun_module* handle;
};

struct CppModule {
    explicit CppModule(const Bytes& bytes)
        : loaded(load_module_checked(bytes.data(), bytes.size())) {}
    ~CppModule() { free_module(loaded.context); }
    LoadResult loaded;
};

// The first frame where two renders differ, or -1 where they agree.
inline long first_difference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return static_cast<long>(i / 2);
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()) / 2);
}

// The frames generate_frames renders before the frame whose tick fetches a
// row played before: the pass as a player sees it.
inline uint64_t rendered_pass(ReplayContext* ctx, uint64_t limit) {
    float frame[OUTPUT_CHANNELS];
    for (uint64_t n = 0; n < limit; ++n) {
        generate_frames(ctx, frame, 1);
        if (pass_ended(*ctx)) return n;
    }
    return limit;
}

inline Bytes intro_module() {
    return Bytes(module_data, module_data + module_data_size);
}

// A song that jumps back into its middle (B01 at the end of pattern 2), with
// a pattern loop and a pattern delay on the way.
inline Bytes jumping_xm() {
    xmwriter::Module m = test_modules::small_module();
    m.orders = {0, 1, 2};
    m.patterns.resize(3, m.patterns[0]);
    m.patterns[1].cells[0] = {49, 1, 0, 0xE, 0x60};
    m.patterns[1].cells[2] = {0, 0, 0, 0xE, 0x62};
    m.patterns[2].cells[1] = {0, 0, 0, 0xE, 0xE3};
    m.patterns[2].cells[3] = {0, 0, 0, 0xB, 0x01};
    m.bpm = 99;
    return xmwriter::write_xm(m);
}

// Four sections, each its own pattern on two channels: notes with their
// instrument and volume, and the section's speed and BPM on its first row, so
// that nothing a jump keeps from before can change what follows.
inline Bytes sections_xm(std::vector<uint8_t> orders, bool second_channel_silent = false) {
    constexpr int ROWS = 16, CHANNELS = 2;
    xmwriter::Module m = test_modules::small_module();
    m.channels = CHANNELS;
    m.orders = std::move(orders);
    xmwriter::Sample& sample = m.instruments[0].samples[0]; // sounds until stopped
    sample.loop = xmwriter::LOOP_FORWARD;
    sample.loop_length = static_cast<uint32_t>(sample.frames.size());
    m.patterns.clear();
    for (uint8_t k = 0; k < 4; ++k) {
        xmwriter::Pattern p;
        p.rows = ROWS;
        p.cells.resize(ROWS * CHANNELS);
        p.cells[0] = {static_cast<uint8_t>(37 + 5 * k), 1, 0x50, 0xF, static_cast<uint8_t>(3 + k)};
        p.cells[1] = {static_cast<uint8_t>(25 + k), 1,
                      static_cast<uint8_t>(second_channel_silent ? 0x10 : 0x30), 0xF,
                      static_cast<uint8_t>(110 + 10 * k)};
        p.cells[8 * CHANNELS] = {static_cast<uint8_t>(44 + 3 * k), 1, 0x40, 0, 0};
        m.patterns.push_back(p);
    }
    return xmwriter::write_xm(m);
}

// Renders in chunks of `chunk` frames until the song ends (or `limit`
// frames): the frames it filled, as render reported them.
inline std::vector<float> render_to_end(ReplayContext* ctx, uint32_t chunk, uint64_t limit) {
    std::vector<float> out, part(2 * size_t{chunk});
    while (out.size() / 2 < limit) {
        const uint32_t got = generate_frames(ctx, part.data(), chunk);
        out.insert(out.end(), part.begin(), part.begin() + 2 * got);
        if (got < chunk) break;
    }
    return out;
}

} // namespace library_test

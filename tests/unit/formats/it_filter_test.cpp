// SPDX-License-Identifier: GPL-2.0-or-later
// IT's resonant filter through the public interface: from the instrument, from
// Zxx through the macros, and from the filter envelope, against the filter
// computed here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "compact_writer.h"
#include "it_cases.h"

using namespace replayer;
using namespace test_modules;

namespace {

constexpr uint32_t ROW_FRAMES = 6 * 960; // speed 6, tempo 125, 48 kHz

} // namespace

namespace {

constexpr int Z = 26;

// Noise read frame for frame (C-5 at a C5 speed of 48000 Hz), and IT's filter
// run over it here in double precision, from its cutoff (0..127, 24 steps an
// octave above 130.8 Hz) and resonance (0..127 = 0..24 dB) as the reference
// player's output shows them.
struct FilterSetting {
    double cutoff; // 0..127; below 0: unfiltered
    int resonance;
};

std::vector<int16_t> noise(size_t count) {
    std::vector<int16_t> v(count);
    uint32_t state = 1;
    for (int16_t& x : v) {
        state = state * 1103515245u + 12345u;
        x = static_cast<int16_t>(static_cast<int32_t>(state >> 16) % 16000 - 8000);
    }
    return v;
}

ItBuilder noise_module(const std::vector<ItEntry>& entries) {
    ItBuilder it;
    it.flags = 1 | 4 | 8;
    ItSample s = sample_of(noise(30000), 1 | 2 | 16);
    s.c5_speed = 48000;
    s.loop_end = 30000;
    it.samples = {s};
    it.instruments = {ItInstrument{}};
    it.patterns[0] = {{0, 0, 60, 1}};
    it.patterns[0].insert(it.patterns[0].end(), entries.begin(), entries.end());
    return it;
}

// The unfiltered render's left side, with the filter of each row applied.
std::vector<double> filtered(const std::vector<float>& plain, const FilterSetting (&rows)[2]) {
    std::vector<double> out(plain.size() / 2);
    double y1 = 0, y2 = 0;
    for (size_t n = 0; n < out.size(); ++n) {
        const FilterSetting& f = rows[n < ROW_FRAMES ? 0 : 1];
        const double x = plain[2 * n];
        if (f.cutoff < 0) {
            out[n] = x;
            continue;
        }
        const double hz = 110.0 * std::pow(2.0, 0.25 + f.cutoff / 24.0);
        const double r = 48000.0 / (2 * M_PI * hz);
        const double damping = std::pow(10.0, -f.resonance * 24.0 / 2560.0);
        const double d = damping * r + damping - 1, e = r * r;
        out[n] = (x + (d + 2 * e) * y1 - e * y2) / (1 + d + e);
        y2 = y1;
        y1 = out[n];
    }
    return out;
}

} // namespace

// The filter from the instrument, from Zxx through IT's own macros or the
// file's, and scaled by the filter envelope, against the filter computed
// here; fully open settings leave a filtered note as it was. The same
// modules seek exactly and play the same from their compact images.
TEST(It, ResonantFilter) {
    struct Row {
        const char* what;
        std::function<void(ItBuilder&)> change;
        FilterSetting rows[2]; // row 0, and from row 1 on
    };
    const Row rows[] = {
        {"Z40 then Z84 (resonance 32)",
         [](ItBuilder& it) {
             it.patterns[0].push_back({0, 0, -1, -1, -1, Z, 0x40});
             it.patterns[0].push_back({1, 0, -1, -1, -1, Z, 0x84});
         },
         {{64, 0}, {64, 32}}},
        {"Z40 then Z7F keeps the filter",
         [](ItBuilder& it) {
             it.patterns[0].push_back({0, 0, -1, -1, -1, Z, 0x40});
             it.patterns[0].push_back({1, 0, -1, -1, -1, Z, 0x7F});
         },
         {{64, 0}, {64, 0}}},
        {"Z7F alone",
         [](ItBuilder& it) {
             it.patterns[0].push_back({0, 0, -1, -1, -1, Z, 0x7F});
         },
         {{-1, 0}, {-1, 0}}},
        {"instrument cutoff and resonance",
         [](ItBuilder& it) {
             it.instruments[0].filter_cutoff = 0x80 | 48;
             it.instruments[0].filter_resonance = 0x80 | 64;
         },
         {{48, 64}, {48, 64}}},
        {"filter envelope at -16 of 32",
         [](ItBuilder& it) {
             it.instruments[0].filter_cutoff = 0x80 | 100;
             it.instruments[0].pitch = {1, 0, 0, 0, 0, {{-16, 0}}};
             it.instruments[0].pitch.flags |= 0x80;
         },
         {{25, 0}, {25, 0}}},
        {"the file's macros: SF0 resonance, Z80 cutoff 48",
         [](ItBuilder& it) {
             it.macros = {{9, "F0F001z"}, {9 + 16, "F0 F0 00 30"}};
             it.patterns[0].push_back({0, 0, -1, -1, -1, Z, 0x80});
             it.patterns[0].push_back({1, 0, -1, -1, -1, Z, 0x40});
         },
         {{48, 0}, {48, 64}}},
    };
    constexpr uint32_t FRAMES = 2 * ROW_FRAMES;
    const std::vector<float> plain = render(*load_ok(noise_module({})), FRAMES);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ItBuilder it = noise_module({});
        row.change(it);
        const Bytes bytes = it.build();
        Context ctx = load(bytes);
        ASSERT_TRUE(ctx);
        const std::vector<float> got = render(*ctx, FRAMES);
        const std::vector<double> want = filtered(plain, row.rows);
        double worst = 0;
        for (size_t n = 0; n < want.size(); ++n)
            worst = std::max(worst, std::fabs(got[2 * n] - want[n]));
        EXPECT_LT(worst, 2e-6) << "of a full scale of 0.18";

        Context image = load(compact_writer::write_compact(*load(bytes)));
        EXPECT_EQ(render(*image, FRAMES), got);
        for (const RenderSettings& s : {DEFAULT_RENDER_SETTINGS, LISTENING_RENDER_SETTINGS}) {
            Context played = load(bytes), sought = load(bytes);
            ASSERT_EQ(set_render_settings(played.get(), s), nullptr);
            ASSERT_EQ(set_render_settings(sought.get(), s), nullptr);
            const std::vector<float> full = render(*played, FRAMES);
            seek_to_frame(sought.get(), ROW_FRAMES + 100);
            const std::vector<float> rest = render(*sought, ROW_FRAMES - 100);
            EXPECT_TRUE(std::equal(rest.begin(), rest.end(), full.begin() + 2 * (ROW_FRAMES + 100)))
                << "seek at interpolation " << int{s.interpolation};
        }
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Loading, rendering, checking and record-by-record comparison of replay
// contexts, for the format and corpus tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "quillrun/replayer.h"

namespace test_modules {

struct ContextDeleter {
    void operator()(replayer::ReplayContext* ctx) const { replayer::free_module(ctx); }
};
using Context = std::unique_ptr<replayer::ReplayContext, ContextDeleter>;

// Loads or returns null, with the reason in `error`.
inline Context load(const std::vector<uint8_t>& bytes, const char** error = nullptr) {
    replayer::LoadResult r = replayer::load_module_checked(bytes.data(), bytes.size());
    if (error) *error = r.error;
    return Context(r.context);
}

inline std::vector<float> render(replayer::ReplayContext& ctx, uint32_t frames) {
    constexpr uint32_t BLOCK = 4096;
    std::vector<float> out(size_t{frames} * replayer::OUTPUT_CHANNELS);
    for (uint32_t done = 0; done < frames; done += BLOCK) {
        const uint32_t n = std::min(BLOCK, frames - done);
        replayer::generate_frames(&ctx, out.data() + size_t{done} * replayer::OUTPUT_CHANNELS, n);
    }
    return out;
}

inline bool same_envelope(const replayer::EnvelopeRecord& a, const replayer::EnvelopeRecord& b) {
    for (int i = 0; i < replayer::ENVELOPE_MAX_POINTS; ++i)
        if (a.points[i].frame != b.points[i].frame || a.points[i].value != b.points[i].value)
            return false;
    return a.point_count == b.point_count && a.sustain == b.sustain &&
           a.loop_start == b.loop_start && a.loop_end == b.loop_end &&
           a.sustain_end == b.sustain_end;
}

inline bool same_instrument(const replayer::InstrumentRecord& a,
                            const replayer::InstrumentRecord& b) {
    return same_envelope(a.volume_envelope, b.volume_envelope) &&
           same_envelope(a.panning_envelope, b.panning_envelope) &&
           std::memcmp(a.sample_map, b.sample_map, sizeof a.sample_map) == 0 &&
           a.fadeout == b.fadeout && a.autovibrato_waveform == b.autovibrato_waveform &&
           a.autovibrato_sweep == b.autovibrato_sweep &&
           a.autovibrato_depth == b.autovibrato_depth && a.autovibrato_rate == b.autovibrato_rate;
}

// Every module record playback reads is equal (the playback state is not).
inline void expect_same_module(const replayer::ReplayContext& a, const replayer::ReplayContext& b) {
    ASSERT_EQ(a.total_sample_frames, b.total_sample_frames);
    ASSERT_EQ(a.total_rows, b.total_rows);
    ASSERT_EQ(a.song_length, b.song_length);
    ASSERT_EQ(a.pattern_count, b.pattern_count);
    ASSERT_EQ(a.sample_count, b.sample_count);
    ASSERT_EQ(a.channel_count, b.channel_count);
    ASSERT_EQ(a.instrument_count, b.instrument_count);
    EXPECT_EQ(0, std::memcmp(a.order_table, b.order_table, a.song_length));
    EXPECT_EQ(a.restart_position, b.restart_position);
    EXPECT_EQ(a.default_speed, b.default_speed);
    EXPECT_EQ(a.default_bpm, b.default_bpm);
    EXPECT_EQ(a.default_global_volume, b.default_global_volume);
    EXPECT_EQ(0, std::memcmp(a.channel_panning, b.channel_panning, a.channel_count));
    EXPECT_EQ(a.amiga_periods, b.amiga_periods);
    EXPECT_EQ(a.tracker_rules, b.tracker_rules);
    EXPECT_EQ(0, std::memcmp(a.patterns, b.patterns, sizeof(*a.patterns) * a.pattern_count));
    EXPECT_EQ(0, std::memcmp(a.slots, b.slots,
                             sizeof(*a.slots) * uint64_t{a.total_rows} * a.channel_count));
    for (int k = 0; k < a.instrument_count; ++k)
        EXPECT_TRUE(same_instrument(a.instruments[k], b.instruments[k])) << "instrument " << k;
    EXPECT_EQ(0, std::memcmp(a.samples, b.samples, sizeof(*a.samples) * a.sample_count));
    EXPECT_EQ(0, std::memcmp(a.sample_data, b.sample_data,
                             sizeof(*a.sample_data) * uint64_t{a.total_sample_frames}));
}

// Loads bytes; the context is freed by the destructor.
struct Loaded {
    replayer::LoadResult result{};
    explicit Loaded(const std::vector<uint8_t>& bytes);
    ~Loaded();
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    replayer::ReplayContext& ctx() const { return *result.context; }
};

// Empty when the context's records keep every bound playback indexes with
// (orders, patterns, samples, envelopes); otherwise the first broken one.
// A compact image is held to this much: its sample maps, notes and effect
// codes are taken as stored and playback gives every value a meaning.
std::string check_layout(const replayer::ReplayContext& ctx);

// check_layout, and also that sample maps, notes, effects and volume columns
// hold only what the format loaders produce.
std::string check_context(const replayer::ReplayContext& ctx);

} // namespace test_modules

// SPDX-License-Identifier: GPL-2.0-or-later
// A test-side module builder: lays a replay context out exactly like the
// loader does (one zero-filled block, regions in the fixed order) and lets a
// test fill patterns, instruments and samples directly, then runs the same
// clean-up pass and playback set-up as every load.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine.h"
#include "formats.h"
#include "quillrun/replayer.h"

namespace replayer::test {

struct ModuleShape {
    uint8_t channels = 1;
    std::vector<uint16_t> pattern_rows = {64};
    std::vector<uint8_t> orders = {0};
    uint8_t instruments = 1;
    uint16_t samples = 1;
    std::vector<uint32_t> sample_frames = {1000}; // frames per sample
    uint8_t speed = DEFAULT_SPEED;
    uint8_t bpm = DEFAULT_BPM;
    bool amiga = false;
};

class TestModule {
  public:
    explicit TestModule(const ModuleShape& shape) : shape_(shape) {
        uint32_t rows = 0, frames = 0;
        for (uint16_t r : shape.pattern_rows) rows += r;
        for (uint32_t f : shape.sample_frames) frames += f;
        const size_t bytes =
            sizeof(ReplayContext) + sizeof(ChannelState) * shape.channels +
            sizeof(InstrumentRecord) * shape.instruments + sizeof(SampleRecord) * shape.samples +
            sizeof(PatternRecord) * shape.pattern_rows.size() + sizeof(int16_t) * frames +
            sizeof(PatternSlot) * size_t{rows} * shape.channels +
            size_t{ORDER_TABLE_SIZE} * shape.orders.size();
        block_ = static_cast<uint8_t*>(std::calloc(1, bytes));
        ctx = reinterpret_cast<ReplayContext*>(block_);
        uint8_t* p = block_ + sizeof(ReplayContext);
        ctx->channels = reinterpret_cast<ChannelState*>(p);
        p += sizeof(ChannelState) * shape.channels;
        ctx->instruments = reinterpret_cast<InstrumentRecord*>(p);
        p += sizeof(InstrumentRecord) * shape.instruments;
        ctx->samples = reinterpret_cast<SampleRecord*>(p);
        p += sizeof(SampleRecord) * shape.samples;
        ctx->patterns = reinterpret_cast<PatternRecord*>(p);
        p += sizeof(PatternRecord) * shape.pattern_rows.size();
        ctx->sample_data = reinterpret_cast<int16_t*>(p);
        p += sizeof(int16_t) * frames;
        ctx->slots = reinterpret_cast<PatternSlot*>(p);
        p += sizeof(PatternSlot) * size_t{rows} * shape.channels;
        ctx->row_visits = p;

        ctx->total_sample_frames = frames;
        ctx->total_rows = rows;
        ctx->song_length = static_cast<uint16_t>(shape.orders.size());
        ctx->pattern_count = static_cast<uint16_t>(shape.pattern_rows.size());
        ctx->sample_count = shape.samples;
        ctx->channel_count = shape.channels;
        ctx->instrument_count = shape.instruments;
        for (size_t i = 0; i < shape.orders.size(); ++i) ctx->order_table[i] = shape.orders[i];
        ctx->default_speed = shape.speed;
        ctx->default_bpm = shape.bpm;
        ctx->default_global_volume = MAX_VOLUME;
        ctx->amiga_periods = shape.amiga;
        std::memset(ctx->channel_panning, CENTRE_PANNING, sizeof ctx->channel_panning);

        uint16_t first = 0;
        for (size_t i = 0; i < shape.pattern_rows.size(); ++i) {
            ctx->patterns[i] = {first, shape.pattern_rows[i]};
            first = static_cast<uint16_t>(first + shape.pattern_rows[i]);
        }
        uint32_t index = 0;
        for (uint16_t s = 0; s < shape.samples; ++s) {
            const uint32_t length = s < shape.sample_frames.size() ? shape.sample_frames[s] : 0;
            ctx->samples[s] = {index, length, 0, 64 << 1, 128, 0, 0, 0, 0};
            index += length;
        }
        // Every instrument plays sample (instrument number - 1) on all notes.
        for (int i = 0; i < shape.instruments; ++i)
            for (auto& entry : ctx->instruments[i].sample_map)
                entry = static_cast<uint16_t>(i < shape.samples ? i : SAMPLE_MAP_NONE);
        prepare_playback(*ctx);
    }
    ~TestModule() { std::free(block_); }
    TestModule(const TestModule&) = delete;
    TestModule& operator=(const TestModule&) = delete;

    PatternSlot& slot(int pattern, int row, int channel = 0) {
        return ctx->slots[(size_t{ctx->patterns[pattern].first_row} + row) * ctx->channel_count +
                          channel];
    }
    ChannelState& channel(int c = 0) { return ctx->channels[c]; }
    SampleRecord& sample(int s = 0) { return ctx->samples[s]; }
    InstrumentRecord& instrument(int i = 0) { return ctx->instruments[i]; }
    int16_t* sample_frames(int s = 0) { return ctx->sample_data + ctx->samples[s].data_index; }

    // The clean-up pass every load ends with, then a fresh playback state.
    // Built songs play for ever, as the intro's does.
    void finish() {
        ctx->song.repeat_count = REPEAT_FOREVER;
        post_pass(*ctx);
        prepare_playback(*ctx);
    }

    // Pattern index and row (within its pattern) of the row played last.
    std::pair<int, int> playing() const {
        const PlaybackPosition p = playback_position(*ctx);
        return {p.pattern, p.row};
    }

    ReplayContext* ctx;

  private:
    ModuleShape shape_;
    uint8_t* block_;
};

// Runs the sequencer for n ticks.
inline void run_ticks(ReplayContext& ctx, int n) {
    for (int i = 0; i < n; ++i) run_tick(ctx);
}

// The mixer's rule for one output frame, the reference the block mixer is held
// to: every channel's and background voice's current sample frame (a looped sample's position
// brought back into its loop first, a ping-pong loop's backward half read in reverse) times 2^-15 x
// 0.25, scaled by the channel's gains and added in channel order; then the position advances by the
// step, and a sample whose position cannot be represented any further ends.
inline void mix_frame(ReplayContext& ctx, float* frame) {
    constexpr uint64_t POSITION_LIMIT = uint64_t{1} << 32;
    constexpr float SAMPLE_SCALE = 0x1p-15f;
    constexpr float CHANNEL_HEADROOM = 0.25f;
    for (int c = 0; c < ctx.channel_count + ctx.voice_count; ++c) {
        ChannelState& ch = ctx.channels[c];
        if (!ch.sample || ch.sample_ended) continue;
        const SampleRecord& s = *ch.sample;
        const bool pingpong = s.loop_length && (s.flags_volume & SAMPLE_FLAG_PINGPONG);
        const uint64_t end = uint64_t{s.length} * POSITION_ONE;
        const uint64_t loop_start = uint64_t{s.length - s.loop_length} * POSITION_ONE;
        const uint64_t loop_span = uint64_t{s.loop_length} * POSITION_ONE * (pingpong ? 2 : 1);
        auto into_loop = [&](uint64_t x) { return loop_start + (x - loop_start) % loop_span; };
        uint64_t x = ch.position;
        if (x >= end) {
            if (!loop_span) continue;
            x = into_loop(x);
            ch.position = static_cast<uint32_t>(x);
        }
        auto i = static_cast<uint32_t>(x >> POSITION_FRACTION_BITS);
        if (i >= s.length) i = 2 * s.length - 1 - i;
        const float value =
            static_cast<float>(ctx.sample_data[s.data_index + i]) * SAMPLE_SCALE * CHANNEL_HEADROOM;
        uint64_t next = x + ch.step;
        if (next >= POSITION_LIMIT && loop_span) next = into_loop(next);
        if (next >= POSITION_LIMIT) {
            ch.position = UINT32_MAX;
            ch.sample_ended = 1;
        } else {
            ch.position = static_cast<uint32_t>(next);
        }
        frame[0] += ch.gain_left * value;
        frame[1] += value * ch.gain_right;
    }
}

// The frame-by-frame reference: clear, advance the clock, mix, per frame.
inline std::vector<float> render_per_frame(ReplayContext& ctx, uint32_t frames) {
    std::vector<float> out(size_t{frames} * 2, 0.0f);
    for (uint32_t f = 0; f < frames; ++f) {
        advance_frame(ctx);
        mix_frame(ctx, &out[size_t{f} * 2]);
    }
    return out;
}

// Renders through generate_frames in device-sized buffers.
inline std::vector<float> render(ReplayContext& ctx, uint32_t frames) {
    constexpr uint32_t BUFFER = 4096;
    std::vector<float> out(size_t{frames} * 2, 1.0f);
    for (uint32_t done = 0; done < frames; done += BUFFER)
        generate_frames(&ctx, &out[size_t{done} * 2], std::min(BUFFER, frames - done));
    return out;
}

} // namespace replayer::test

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
#include "replayer/replayer.h"

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
        ctx->default_tempo = shape.speed;
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
            ctx->samples[s] = {index, length, 0, 64 << 1, 128, 0, 0};
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
    void finish() {
        post_pass(*ctx);
        prepare_playback(*ctx);
    }

    // Row (within its pattern) and pattern index of the channel's current slot.
    std::pair<int, int> playing(int c = 0) const {
        const auto global_row =
            static_cast<int>((ctx->channels[c].slot - ctx->slots) / ctx->channel_count);
        for (int p = 0; p < ctx->pattern_count; ++p) {
            const PatternRecord& r = ctx->patterns[p];
            if (global_row >= r.first_row && global_row < r.first_row + r.row_count)
                return {p, global_row - r.first_row};
        }
        return {-1, -1};
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

// The frame-by-frame reference: clear, advance the clock, mix, per frame.
inline std::vector<float> render_per_frame(ReplayContext& ctx, uint32_t frames) {
    std::vector<float> out(size_t{frames} * 2, 0.0f);
    for (uint32_t f = 0; f < frames; ++f) {
        advance_frame(ctx);
        mix_frame(ctx, &out[size_t{f} * 2]);
    }
    return out;
}

// Renders through generate_frames in device-sized buffers (it takes at most
// 65535 frames a call).
inline std::vector<float> render(ReplayContext& ctx, uint32_t frames) {
    constexpr uint32_t BUFFER = 4096;
    std::vector<float> out(size_t{frames} * 2, 1.0f);
    for (uint32_t done = 0; done < frames; done += BUFFER)
        generate_frames(&ctx, &out[size_t{done} * 2], std::min(BUFFER, frames - done));
    return out;
}

} // namespace replayer::test

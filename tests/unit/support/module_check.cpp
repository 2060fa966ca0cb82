// SPDX-License-Identifier: GPL-2.0-or-later
#include "module_check.h"

namespace test_modules {

Loaded::Loaded(const std::vector<uint8_t>& bytes)
    : result(replayer::load_module_checked(bytes.data(), bytes.size())) {}

Loaded::~Loaded() {
    if (result.context) replayer::free_module(result.context);
}

namespace {

std::string check_envelope(const replayer::EnvelopeRecord& e) {
    const char* error = replayer::envelope_error(e);
    return error ? error : "";
}

} // namespace

std::string check_layout(const replayer::ReplayContext& ctx) {
    if (ctx.song_length < 1 || ctx.song_length > 256) return "song length out of range";
    if (ctx.restart_position >= ctx.song_length) return "restart position past the song";
    if (ctx.default_bpm == 0) return "BPM 0";
    for (int i = 0; i < ctx.song_length; ++i)
        if (ctx.order_table[i] >= ctx.pattern_count) return "order names a missing pattern";
    for (int j = 0; j < ctx.pattern_count; ++j) {
        const replayer::PatternRecord& p = ctx.patterns[j];
        if (p.row_count < 1 || p.row_count > 256) return "pattern row count out of range";
        if (uint32_t{p.first_row} + p.row_count > ctx.total_rows) return "pattern past the slots";
    }
    for (int k = 0; k < ctx.instrument_count; ++k) {
        const replayer::InstrumentRecord& ins = ctx.instruments[k];
        if (auto e = check_envelope(ins.volume_envelope); !e.empty()) return "volume " + e;
        if (auto e = check_envelope(ins.panning_envelope); !e.empty()) return "panning " + e;
    }
    for (int s = 0; s < ctx.sample_count; ++s) {
        const replayer::SampleRecord& r = ctx.samples[s];
        if (uint64_t{r.data_index} + r.length > ctx.total_sample_frames)
            return "sample past the sample data";
        if (r.loop_length > r.length) return "loop longer than the sample";
        if (replayer::sample_volume(r) > 64) return "sample volume above 64";
    }
    return {};
}

std::string check_context(const replayer::ReplayContext& ctx) {
    if (std::string problem = check_layout(ctx); !problem.empty()) return problem;
    for (int k = 0; k < ctx.instrument_count; ++k)
        for (uint16_t s : ctx.instruments[k].sample_map)
            if (s != replayer::SAMPLE_MAP_NONE && s >= ctx.sample_count)
                return "sample map names a missing sample";
    const uint64_t slots = uint64_t{ctx.total_rows} * ctx.channel_count;
    for (uint64_t i = 0; i < slots; ++i) {
        const replayer::PatternSlot& s = ctx.slots[i];
        if (s.effect >= replayer::EFFECT_COUNT && s.effect != replayer::EFFECT_IGNORED)
            return "unknown effect code";
        if (s.volume == 0xA0) return "volume column 0xA0 left in a slot";
        if (s.note > replayer::NOTE_FADE && s.note != replayer::NOTE_KEY_OFF)
            return "note outside the internal numbering";
    }
    return {};
}

} // namespace test_modules

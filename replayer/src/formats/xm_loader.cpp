// SPDX-License-Identifier: GPL-2.0-or-later
// The XM loader: header values, patterns, the order check and instruments,
// written into a context sized by the XM prescan.
#include <cstring>

#include "xm_layout.h"

namespace replayer {

namespace {

uint8_t at_most(uint16_t value, uint8_t limit) {
    return static_cast<uint8_t>(value > limit ? limit : value);
}

void read_header(ReplayContext& ctx, const ByteReader& in) {
    const uint16_t restart = in.u16le(xm::RESTART_OFFSET);
    ctx.restart_position = static_cast<uint8_t>(restart < ctx.song_length ? restart : 0);
    ctx.amiga_periods = (in.u16le(xm::FLAGS_OFFSET) & xm::FLAG_LINEAR_FREQUENCIES) ? 0 : 1;
    ctx.tracker_rules = RULE_AMIGA_CLOCK_8363; // used only with the Amiga table
    ctx.default_global_volume = MAX_VOLUME;
    ctx.default_speed = at_most(in.u16le(xm::SPEED_OFFSET), xm::MAX_SPEED);
    // A BPM of 0 would make every tick infinitely long.
    const uint8_t bpm = at_most(in.u16le(xm::BPM_OFFSET), xm::MAX_BPM);
    ctx.default_bpm = bpm == 0 ? DEFAULT_BPM : bpm;
    for (int i = 0; i < ORDER_TABLE_SIZE; ++i) ctx.order_table[i] = in.u8(xm::ORDERS_OFFSET + i);
    std::memset(ctx.channel_panning, CENTRE_PANNING, sizeof ctx.channel_panning);
}

// Order entries naming a pattern that does not exist all play one added empty
// pattern, so playback never reads a pattern record that is not there.
void add_pattern_for_bad_orders(ReplayContext& ctx, const ModuleScan& scan) {
    bool bad = false;
    for (uint16_t i = 0; i < ctx.song_length; ++i) {
        if (ctx.order_table[i] >= ctx.pattern_count) {
            ctx.order_table[i] = static_cast<uint8_t>(ctx.pattern_count);
            bad = true;
        }
    }
    if (!bad || ctx.pattern_count >= scan.pattern_count) return;
    PatternRecord& added = ctx.patterns[ctx.pattern_count++];
    added.first_row = static_cast<uint16_t>(ctx.total_rows);
    added.row_count = xm::EMPTY_PATTERN_ROWS;
    ctx.total_rows += xm::EMPTY_PATTERN_ROWS;
}

} // namespace

const char* load_xm(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in) {
    // Patterns and samples are counted again as they are placed: a damaged file
    // may yield fewer than the prescan made room for, never more.
    ctx.total_rows = 0;
    ctx.sample_count = 0;
    ctx.total_sample_frames = 0;
    read_header(ctx, in);
    const uint16_t patterns = in.u16le(xm::PATTERNS_OFFSET);
    const uint64_t instruments_start = load_xm_patterns(ctx, scan, in, patterns);
    ctx.pattern_count = patterns;
    add_pattern_for_bad_orders(ctx, scan);
    load_xm_instruments(ctx, scan, in, instruments_start);
    return nullptr;
}

} // namespace replayer

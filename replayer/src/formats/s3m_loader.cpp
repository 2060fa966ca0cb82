// SPDX-License-Identifier: GPL-2.0-or-later
// S3M (Scream Tracker 3): counts, header values, channel map and panning,
// orders and samples. Patterns are decoded in s3m_patterns.cpp.
#include <algorithm>
#include <iterator>

#include "s3m_layout.h"

namespace replayer {

namespace {

using namespace s3m;

constexpr uint16_t MAX_INSTRUMENTS = 255;
constexpr uint16_t MAX_PATTERNS = 256;
constexpr uint32_t MAX_SAMPLE_FRAMES = 0xFFFFF;

// Instrument header fields.
constexpr uint8_t TYPE_SAMPLE = 1;
constexpr uint64_t DATA_POINTER_HIGH = 13;
constexpr uint64_t DATA_POINTER_LOW = 14; // u16
constexpr uint64_t LENGTH = 16;           // u32
constexpr uint64_t LOOP_START = 20;       // u32
constexpr uint64_t LOOP_END = 24;         // u32
constexpr uint64_t VOLUME = 28;
constexpr uint64_t PACKING = 30;
constexpr uint64_t SAMPLE_FLAGS = 31;
constexpr uint64_t C2_SPEED = 32;    // u32, Hz of middle C
constexpr uint8_t PACKING_ADPCM = 4; // 4-bit ADPCM data
constexpr uint8_t FLAG_LOOP = 1;
constexpr uint8_t FLAG_STEREO = 2; // left frames, then right frames
constexpr uint8_t FLAG_16BIT = 4;
constexpr uint16_t SIGNED_SAMPLES = 1;

constexpr uint8_t FAST_SLIDE_FLAG = 0x40;
constexpr uint16_t FAST_SLIDE_VERSION = 0x1300; // this tracker version always slid fast
constexpr uint8_t STEREO_FLAG = 0x80;
constexpr uint8_t PANNING_TABLE_PRESENT = 0xFC;
constexpr uint8_t PANNING_GIVEN = 0x20;
constexpr uint8_t PANNING_NIBBLE_SCALE = 17; // 0..15 -> 0..255
constexpr uint8_t PANNING_LEFT = 0x33;
constexpr uint8_t PANNING_RIGHT = 0xCC;
constexpr uint8_t MAX_UNUSABLE_BPM = 32;

uint64_t instrument_header(const ByteReader& in, const Layout& layout, uint16_t k) {
    return PARAGRAPH * in.u16le(layout.instrument_pointers() + 2u * k);
}

bool is_sample(const ByteReader& in, uint64_t header) {
    return in.contains(header) && in.u8(header) == TYPE_SAMPLE;
}

// Stored frames and loop of one sample. The prescan and the loader both use
// this one rule, so the loader stores exactly what was reserved. Lengths and
// loop points count frames for 8-bit and 16-bit samples alike (a 16-bit
// sample's data takes two bytes per counted frame). A looped sample keeps its
// data up to the loop end, or up to its loop start when the loop end lies
// past the data; one whose loop starts past the data keeps all of it and
// loops its last frames.
struct SampleShape {
    uint32_t stored;
    uint32_t loop_length;
};

SampleShape sample_shape(const ByteReader& in, uint64_t header) {
    const uint8_t flags = in.u8(header + SAMPLE_FLAGS);
    const uint32_t length = in.u32le(header + LENGTH);
    const uint32_t loop_start = in.u32le(header + LOOP_START);
    const uint32_t loop_end = in.u32le(header + LOOP_END);
    // A loop that ends at or before its start is no loop: keep all the data.
    if (!(flags & FLAG_LOOP) || loop_end <= loop_start) return {length, 0};
    if (length < loop_start) return {length, std::min(loop_end - loop_start, length)};
    // A loop from the very start that runs past the data loops all of it,
    // rather than keeping nothing.
    if (length < loop_end && loop_start == 0) return {length, length};
    const uint32_t stored = length < loop_end ? loop_start : loop_end;
    return {stored, std::min(loop_end - loop_start, stored)};
}

void load_channels(ReplayContext& ctx, const ByteReader& in, const Layout& layout,
                   const ChannelMap& map) {
    const bool stereo = in.u8(MASTER_VOLUME) & STEREO_FLAG;
    const bool table = in.u8(PANNING_MARKER) == PANNING_TABLE_PRESENT;
    // Each internal channel takes the panning of the first S3M channel that
    // plays on it, so a skipped channel does not shift the table.
    for (int s = CHANNELS - 1; s >= 0; --s) {
        const uint8_t c = map.internal[s];
        if (c == NO_CHANNEL) continue;
        uint8_t pan = map.setting[s] < FIRST_RIGHT_SETTING ? PANNING_LEFT : PANNING_RIGHT;
        const uint8_t given = in.u8(layout.default_panning() + s);
        if (table && (given & PANNING_GIVEN)) pan = (given & 15) * PANNING_NIBBLE_SCALE;
        ctx.channel_panning[c] = stereo ? pan : CENTRE_PANNING;
    }
}

void load_samples(ReplayContext& ctx, const ByteReader& in, const Layout& layout) {
    const bool is_signed = in.u16le(SAMPLE_FORMAT) == SIGNED_SAMPLES;
    uint32_t frame = 0;
    for (uint16_t k = 0; k < ctx.sample_count; ++k) {
        std::fill(std::begin(ctx.instruments[k].sample_map),
                  std::end(ctx.instruments[k].sample_map), k);
        SampleRecord& sample = ctx.samples[k];
        sample.data_index = frame;
        sample.panning = CENTRE_PANNING;
        const uint64_t h = instrument_header(in, layout, k);
        if (!is_sample(in, h)) continue;
        const SampleShape shape = sample_shape(in, h);
        sample.length = shape.stored;
        sample.loop_length = shape.loop_length;
        sample.flags_volume = static_cast<uint8_t>(std::min(in.u8(h + VOLUME), MAX_VOLUME) << 1);
        set_middle_c_pitch(sample, in.u32le(h + C2_SPEED));

        const uint64_t data = PARAGRAPH * ((uint64_t{in.u8(h + DATA_POINTER_HIGH)} << 16) |
                                           in.u16le(h + DATA_POINTER_LOW));
        const uint8_t flags = in.u8(h + SAMPLE_FLAGS);
        const bool sixteen_bit = flags & FLAG_16BIT;
        // ADPCM values are signed whatever the module's sample format says.
        const SampleCoding coding = in.u8(h + PACKING) == PACKING_ADPCM ? SampleCoding::ADPCM_4
                                    : sixteen_bit                       ? SampleCoding::PCM_16
                                                                        : SampleCoding::PCM_8;
        const SampleSource left{coding, data, !is_signed};
        int16_t* out = ctx.sample_data + frame;
        if (flags & FLAG_STEREO) {
            // The right frames follow all the left ones the header counts.
            const uint64_t right = data + uint64_t{in.u32le(h + LENGTH)} * (sixteen_bit ? 2 : 1);
            decode_stereo_sample(out, in, left, {coding, right, !is_signed}, shape.stored);
        } else {
            decode_sample(out, in, left, shape.stored);
        }
        frame += shape.stored;
    }
    ctx.total_sample_frames = frame;
}

} // namespace

namespace s3m {

Layout read_layout(const ByteReader& in) {
    return {in.u16le(ORDER_COUNT), in.u16le(INSTRUMENT_COUNT), in.u16le(PATTERN_COUNT)};
}

ChannelMap read_channel_map(const ByteReader& in) {
    ChannelMap map{};
    uint8_t assigned[PLAYED_SETTINGS];
    std::fill(std::begin(assigned), std::end(assigned), NO_CHANNEL);
    for (int s = 0; s < CHANNELS; ++s) {
        const uint8_t setting = in.u8(CHANNEL_SETTINGS + s);
        map.setting[s] = setting;
        map.internal[s] = NO_CHANNEL;
        if (setting >= PLAYED_SETTINGS) continue;
        if (assigned[setting] == NO_CHANNEL) assigned[setting] = map.count++;
        map.internal[s] = assigned[setting];
    }
    return map;
}

} // namespace s3m

const char* prescan_s3m(const ByteReader& in, ModuleScan& scan) {
    const Layout layout = read_layout(in);
    if (layout.instrument_count > MAX_INSTRUMENTS) return "more than 255 instruments";
    if (layout.pattern_count > MAX_PATTERNS) return "more than 256 patterns";

    const OrderCount orders = count_orders(in, ORDERS, layout.order_count, layout.pattern_count);
    if (orders.first_song_too_long) return "more than 256 orders";
    scan.song_length = orders.song_length;
    scan.sample_count = layout.instrument_count;
    scan.instrument_count = static_cast<uint8_t>(layout.instrument_count);
    // Orders naming no pattern play one added empty pattern.
    scan.pattern_count = layout.pattern_count + (orders.names_missing_pattern ? 1 : 0);
    scan.total_rows = ROWS * scan.pattern_count;
    scan.channel_count = read_channel_map(in).count;

    uint32_t frames = 0;
    for (uint16_t k = 0; k < layout.instrument_count; ++k) {
        const uint64_t h = instrument_header(in, layout, k);
        if (!is_sample(in, h)) continue;
        const uint32_t stored = sample_shape(in, h).stored;
        if (stored > MAX_SAMPLE_FRAMES) return "sample too long";
        if (in.u8(h + PACKING) == PACKING_ADPCM &&
            (in.u8(h + SAMPLE_FLAGS) & (FLAG_16BIT | FLAG_STEREO)))
            return REFUSED_WIDE_ADPCM;
        frames += stored;
    }
    scan.total_sample_frames = frames;
    return nullptr;
}

const char* load_s3m(ReplayContext& ctx, const ModuleScan&, const ByteReader& in) {
    const Layout layout = read_layout(in);
    const ChannelMap map = read_channel_map(in);
    ctx.amiga_periods = 1;
    ctx.tracker_rules = RULE_AMIGA_CLOCK_8363 | RULE_NO_LOOP_START_CARRY;
    if ((in.u8(FLAGS) & FAST_SLIDE_FLAG) || in.u16le(TRACKER_VERSION) == FAST_SLIDE_VERSION)
        ctx.tracker_rules |= RULE_FAST_SLIDE;
    ctx.default_global_volume = std::min(in.u8(GLOBAL_VOLUME), MAX_VOLUME);
    const uint8_t speed = in.u8(INITIAL_SPEED);
    ctx.default_speed = (speed == 0 || speed == 255) ? DEFAULT_SPEED : speed;
    const uint8_t bpm = in.u8(INITIAL_BPM);
    ctx.default_bpm = bpm <= MAX_UNUSABLE_BPM ? DEFAULT_BPM : bpm;

    load_channels(ctx, in, layout, map);

    fill_orders(ctx, in, ORDERS, layout.order_count, layout.pattern_count);

    load_samples(ctx, in, layout);

    const uint64_t pattern_slots = uint64_t{ROWS} * ctx.channel_count;
    for (uint16_t p = 0; p < ctx.pattern_count; ++p) {
        ctx.patterns[p] = {static_cast<uint16_t>(ROWS * p), static_cast<uint16_t>(ROWS)};
        if (p >= layout.pattern_count) continue; // the added empty pattern
        PatternSlot* slots = ctx.slots + p * pattern_slots;
        load_pattern(in, layout, map, p, slots);
        rework_loops(slots, ctx.channel_count);
    }
    return nullptr;
}

} // namespace replayer

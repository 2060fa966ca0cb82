// SPDX-License-Identifier: GPL-2.0-or-later
// MOD (31-sample ProTracker family, 1..99 channels, the paired FLT8 variant
// and the 15-sample layout): sample shapes and the conversion into the replay
// context. Which kind of MOD a file is, and its counts, come from
// mod_prescan.cpp.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "mod_layout.h"

namespace replayer {

namespace {

using namespace mod;

constexpr uint8_t PANNING_LEFT = 1;
constexpr uint8_t PANNING_RIGHT = MAX_PANNING;
constexpr uint8_t FLT8_CHANNELS = 8;
constexpr uint32_t FLT8_HALF_CHANNELS = 4;

// Raw effects whose zero parameter means "nothing" in MOD: there is no
// parameter memory to recall for them.
constexpr uint8_t NO_MEMORY_EFFECTS[] = {EFFECT_PORTA_UP,
                                         EFFECT_PORTA_DOWN,
                                         EFFECT_VOLUME_SLIDE,
                                         EFFECT_FINE_PORTA_UP,
                                         EFFECT_FINE_PORTA_DOWN,
                                         EFFECT_FINE_VOLUME_SLIDE_UP,
                                         EFFECT_FINE_VOLUME_SLIDE_DOWN};

// Period to note: halve into the top octave, then count the semitone
// thresholds the period lies below.
constexpr uint8_t TOP_OCTAVE_NOTE = 73;
constexpr uint32_t TOP_OCTAVE_LIMIT = 112;
constexpr uint16_t SEMITONE_THRESHOLDS[] = {106, 100, 94, 89, 84, 79, 75, 70, 66, 63, 59};
constexpr uint8_t FINETUNE_NEGATIVE_NIBBLE = 8;
constexpr uint8_t SET_FINETUNE_SIGN_FLIP = 8;

uint8_t period_to_note(uint32_t period) {
    if (period == 0) return NOTE_NONE;
    int note = TOP_OCTAVE_NOTE;
    while (period >= TOP_OCTAVE_LIMIT) {
        period = (period + 1) >> 1;
        note -= 12;
    }
    for (uint16_t threshold : SEMITONE_THRESHOLDS) {
        if (period >= threshold) break;
        ++note;
    }
    return static_cast<uint8_t>(note);
}

int8_t mod_finetune(uint8_t f) {
    if (f > 15) return -16;
    if (f >= FINETUNE_NEGATIVE_NIBBLE) return static_cast<int8_t>(2 * f - 32);
    return static_cast<int8_t>(2 * f);
}

// One 4-byte cell into a slot in the engine's numbering.
// The 15-sample trackers had no tempo command: their Fxx sets the speed,
// whatever its value.
PatternSlot read_cell(const ByteReader& in, uint64_t at, bool speed_only) {
    const uint8_t b0 = in.u8(at), b1 = in.u8(at + 1), b2 = in.u8(at + 2), b3 = in.u8(at + 3);
    PatternSlot slot{};
    slot.instrument = static_cast<uint8_t>((b0 & 0xF0) | (b2 >> 4));
    slot.note = period_to_note(((b0 & 0x0Fu) << 8) | b1);
    slot.effect = b2 & 0x0F;
    slot.parameter = b3;
    convert_effect(slot);
    if (speed_only && slot.effect == EFFECT_SET_BPM) slot.effect = EFFECT_SET_SPEED;
    if (slot.note == NOTE_NONE && slot.instrument != 0) slot.note = NOTE_INSTRUMENT_ONLY;
    if (slot.parameter == 0) {
        if (std::find(std::begin(NO_MEMORY_EFFECTS), std::end(NO_MEMORY_EFFECTS), slot.effect) !=
            std::end(NO_MEMORY_EFFECTS))
            slot.effect = EFFECT_ARPEGGIO;
        else if (slot.effect == EFFECT_TONE_PORTA_VOLSLIDE)
            slot.effect = EFFECT_TONE_PORTA;
        else if (slot.effect == EFFECT_VIBRATO_VOLSLIDE)
            slot.effect = EFFECT_VIBRATO;
    }
    if (slot.effect == EFFECT_SET_PANNING) slot.effect = EFFECT_SET_CHANNEL_PANNING;
    if (slot.effect == EFFECT_SET_FINETUNE) slot.parameter ^= SET_FINETUNE_SIGN_FLIP;
    return slot;
}

void load_samples(ReplayContext& ctx, const ByteReader& in, const Layout& layout) {
    for (int i = 0; i < layout.samples; ++i) {
        const uint64_t h = sample_header(i);
        InstrumentRecord& instrument = ctx.instruments[i];
        std::fill(std::begin(instrument.sample_map), std::end(instrument.sample_map),
                  static_cast<uint16_t>(i));
        const SampleShape shape = sample_shape(in, layout, i);
        SampleRecord& sample = ctx.samples[i];
        sample.length = shape.stored;
        sample.loop_length = shape.loop_length;
        sample.finetune = mod_finetune(in.u8(h + SAMPLE_FINETUNE));
        sample.flags_volume =
            static_cast<uint8_t>(std::min(in.u8(h + SAMPLE_VOLUME), MAX_VOLUME) << 1);
        sample.panning = CENTRE_PANNING;
    }
}

// Sample data follows the patterns: signed 8-bit, each sample's full length,
// of which the kept part is read. A file cut short reads as silence past its end.
void load_sample_data(ReplayContext& ctx, const ByteReader& in, const Layout& layout, uint64_t at) {
    uint32_t frame = 0;
    for (int i = 0; i < layout.samples; ++i) {
        SampleRecord& sample = ctx.samples[i];
        sample.data_index = frame;
        const uint64_t first = at + sample_shape(in, layout, i).first;
        for (uint32_t f = 0; f < sample.length; ++f)
            ctx.sample_data[frame + f] = static_cast<int16_t>(in.s8(first + f) * 256);
        frame += sample.length;
        at += sample_bytes(in, i);
    }
    ctx.total_sample_frames = frame;
}

// A FLT8 pattern was read as the bytes of two 4-channel patterns one after the
// other; regroup them so each row holds both halves side by side.
void regroup_flt8(PatternSlot* pattern) {
    constexpr uint32_t HALF = ROWS * FLT8_HALF_CHANNELS;
    PatternSlot read[ROWS * FLT8_CHANNELS];
    std::memcpy(read, pattern, sizeof read);
    for (uint32_t r = 0; r < ROWS; ++r)
        for (uint32_t c = 0; c < FLT8_HALF_CHANNELS; ++c) {
            pattern[r * FLT8_CHANNELS + c] = read[FLT8_HALF_CHANNELS * r + c];
            pattern[r * FLT8_CHANNELS + FLT8_HALF_CHANNELS + c] =
                read[HALF + FLT8_HALF_CHANNELS * r + c];
        }
}

} // namespace

namespace mod {

namespace {

SampleShape shape_31(uint32_t length, uint32_t loop_start, uint32_t loop_length) {
    if (length < loop_start) return {length, std::min(length, loop_length)};
    if (length < loop_start + loop_length) {
        // Keeping data only up to the loop start would leave nothing of a
        // sample whose loop starts at 0: loop all of its data instead.
        if (loop_start == 0) return {length, length};
        return {loop_start, std::min(loop_start, loop_length)};
    }
    return {loop_start + loop_length, loop_length};
}

// The 15-sample trackers played a looped sample's loop alone, from its start
// (counted in bytes) to its end; a loop starting at the sample's end or later
// leaves the sample unlooped.
SampleShape shape_15(uint32_t length, uint32_t loop_start_bytes, uint32_t loop_length) {
    if (loop_start_bytes >= length) return {length, 0};
    const uint32_t loop = std::min(loop_length, length - loop_start_bytes);
    return {loop, loop, loop_start_bytes};
}

} // namespace

SampleShape sample_shape(const ByteReader& in, const Layout& layout, int i) {
    const uint64_t h = sample_header(i);
    const uint16_t loop_words = in.u16be(h + SAMPLE_LOOP_LENGTH);
    const uint32_t length = 2u * in.u16be(h + SAMPLE_LENGTH);
    const uint16_t loop_start = in.u16be(h + SAMPLE_LOOP_START);
    const uint32_t loop_length = 2u * loop_words;
    if (loop_words <= 1) return {length, 0};
    if (is_15_sample(layout)) return shape_15(length, loop_start, loop_length);
    return shape_31(length, 2u * loop_start, loop_length);
}

uint8_t highest_order(const ByteReader& in, const Layout& layout, int orders) {
    uint8_t highest = 0;
    for (int i = 0; i < orders && i < ORDER_COUNT; ++i)
        highest = std::max(highest, in.u8(layout.orders + i));
    return highest;
}

uint32_t stored_patterns(const ByteReader& in, const Layout& layout) {
    const uint32_t all = highest_order(in, layout) + 1u;
    if (!is_15_sample(layout)) return all;
    const uint32_t played = highest_order(in, layout, in.u8(layout.song_length)) + 1u;
    uint64_t bytes =
        layout.patterns + uint64_t{all} * FIFTEEN_SAMPLE_CHANNELS * PATTERN_BYTES_PER_CHANNEL;
    for (int i = 0; i < layout.samples; ++i) bytes += sample_bytes(in, i);
    return in.length >= bytes ? all : played;
}

} // namespace mod

const char* load_mod(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in) {
    const bool paired = scan.format == FORMAT_MOD_FLT8;
    const Layout& layout = layout_of(scan.format);
    const bool fifteen = is_15_sample(layout);
    ctx.amiga_periods = 1;
    ctx.tracker_rules = RULE_NO_LOOP_START_CARRY;
    ctx.default_global_volume = MAX_VOLUME;
    ctx.default_speed = DEFAULT_SPEED;
    ctx.default_bpm = DEFAULT_BPM;

    load_samples(ctx, in, layout);

    // The prescan counted the song length byte as stored; only 128 orders exist.
    ctx.song_length = std::min<uint16_t>(ctx.song_length, ORDER_COUNT);
    // The byte after the song length is a restart position, except in the
    // 15-sample layout: there its trackers kept their timer setting (120 in
    // most files), and the song restarts from its start.
    const uint8_t restart = fifteen ? 0 : in.u8(layout.song_length + 1);
    ctx.restart_position = restart < ctx.song_length ? restart : 0;
    // Paired patterns: two 4-channel pattern numbers name one 8-channel pattern.
    // Entries past the song length may name patterns the file does not store.
    for (int i = 0; i < ORDER_COUNT; ++i) {
        const uint8_t entry = paired ? in.u8(layout.orders + i) >> 1 : in.u8(layout.orders + i);
        ctx.order_table[i] = entry < ctx.pattern_count ? entry : 0;
    }

    for (int c = 0; c < ctx.channel_count; ++c)
        ctx.channel_panning[c] = ((c ^ (c >> 1)) & 1) ? PANNING_RIGHT : PANNING_LEFT;

    const uint32_t cells = ROWS * ctx.channel_count;
    uint64_t at = layout.patterns;
    for (uint32_t p = 0; p < ctx.pattern_count; ++p) {
        ctx.patterns[p] = {static_cast<uint16_t>(ROWS * p), static_cast<uint16_t>(ROWS)};
        PatternSlot* slots = ctx.slots + uint64_t{p} * cells;
        for (uint32_t i = 0; i < cells; ++i, at += CELL_BYTES)
            slots[i] = read_cell(in, at, fifteen);
        if (paired) regroup_flt8(slots);
    }
    load_sample_data(ctx, in, layout, at);
    return nullptr;
}

} // namespace replayer

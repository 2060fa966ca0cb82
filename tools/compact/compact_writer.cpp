// SPDX-License-Identifier: GPL-2.0-or-later
#include "compact_writer.h"

#include <algorithm>
#include <bit>

#include "byte_writer.h"
#include "quillrun/replayer.h"

namespace compact_writer {

namespace {

using namespace replayer;
using namespace replayer::compact;

// Strides in units of STRIDE_UNIT, each the smallest that holds its record.
constexpr uint32_t units(uint32_t bytes) {
    return (bytes + STRIDE_UNIT - 1) / STRIDE_UNIT;
}
constexpr uint32_t PATTERN_STRIDE = units(PATTERN_BYTES);
constexpr uint32_t SLOT_STRIDE = units(SLOT_BYTES);
constexpr uint32_t INSTRUMENT_STRIDE = units(INSTRUMENT_NOTES_BYTES);
constexpr uint32_t SAMPLE_STRIDE = units(SAMPLE_FINE_PITCH_BYTES);

// The orders of the module's first song: an image holds no song breaks, so
// the songs an S3M file keeps after its first are left out (the first plays
// exactly as before, a jump past its end included).
uint16_t first_song_length(const ReplayContext& ctx) {
    for (uint16_t k = 0; k < ctx.song_length; ++k)
        if (ctx.song_breaks[k / 8] & (1u << (k % 8))) return static_cast<uint16_t>(k + 1);
    return ctx.song_length;
}

void write_header(ByteWriter& w, const ReplayContext& ctx) {
    const bool it = ctx.tracker_rules & RULE_IT;
    const uint32_t header_bytes =
        HEADER_PANNING + ctx.channel_count * (it ? 2u : 1u) + (it ? MACRO_TABLE_BYTES : 0);
    const uint32_t first_section = units(header_bytes);
    w.bytes.assign(STRIDE_UNIT * first_section, 0);
    w.put8(HEADER_FIRST_SECTION, static_cast<uint8_t>(first_section));
    std::copy(std::begin(MAGIC), std::end(MAGIC), w.bytes.begin() + HEADER_MAGIC);
    w.put16(HEADER_SONG_LENGTH, first_song_length(ctx));
    w.put32(HEADER_TOTAL_ROWS, ctx.total_rows);
    w.put32(HEADER_TOTAL_FRAMES, ctx.total_sample_frames);
    w.put16(HEADER_PATTERN_COUNT, ctx.pattern_count);
    w.put16(HEADER_SAMPLE_COUNT, ctx.sample_count);
    w.put8(HEADER_INSTRUMENT_COUNT, ctx.instrument_count);
    w.put8(HEADER_CHANNEL_COUNT, ctx.channel_count);
    w.put8(HEADER_RESTART, ctx.restart_position);
    w.put8(HEADER_SPEED, ctx.default_speed);
    w.put8(HEADER_BPM, ctx.default_bpm);
    w.put8(HEADER_GLOBAL_VOLUME, ctx.default_global_volume);
    const uint8_t rules = ctx.tracker_rules;
    w.put16(HEADER_FLAGS,
            static_cast<uint16_t>(
                (ctx.amiga_periods ? FLAG_AMIGA_PERIODS : 0) |
                ((rules & RULE_FAST_SLIDE) ? FLAG_FAST_SLIDE : 0) |
                ((rules & RULE_AMIGA_CLOCK_8363) ? FLAG_AMIGA_CLOCK_8363 : 0) |
                ((rules & RULE_NO_LOOP_START_CARRY) ? FLAG_NO_LOOP_START_CARRY : 0) |
                (it ? FLAG_IT | FLAG_IT_MACROS : 0) |
                ((rules & RULE_IT_LINKED_PORTA) ? FLAG_IT_LINKED_PORTA : 0) |
                ((rules & RULE_CARRY_UNTIL_END) ? FLAG_CARRY_UNTIL_END : 0) | FLAG_NOTES_120));
    w.put8(HEADER_VOICE_COUNT, ctx.voice_count);
    w.put8(HEADER_MIX_VOLUME, ctx.mix_volume);
    w.put8(HEADER_PATTERN_STRIDE, PATTERN_STRIDE);
    w.put8(HEADER_SLOT_STRIDE, SLOT_STRIDE);
    w.put8(HEADER_INSTRUMENT_STRIDE, INSTRUMENT_STRIDE);
    w.put8(HEADER_SAMPLE_STRIDE, SAMPLE_STRIDE);
    for (int c = 0; c < ctx.channel_count; ++c) w.put8(HEADER_PANNING + c, ctx.channel_panning[c]);
    if (!it) return;
    for (int c = 0; c < ctx.channel_count; ++c)
        w.put8(HEADER_PANNING + ctx.channel_count + c, ctx.channel_volume[c]);
    const uint32_t macros = HEADER_PANNING + 2u * ctx.channel_count;
    const MacroSet& m = ctx.macros;
    for (int k = 0; k < PARAMETERED_MACROS; ++k) w.put8(macros + k, m.parametered[k]);
    for (int k = 0; k < FIXED_MACROS; ++k) {
        w.put8(macros + PARAMETERED_MACROS + k, m.fixed_kind[k]);
        w.put8(macros + PARAMETERED_MACROS + FIXED_MACROS + k, m.fixed_value[k]);
    }
}

void write_points(ByteWriter& w, const EnvelopePoint* points, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        w.u16(points[i].frame);
        w.u8(points[i].value);
        w.u8(0);
    }
}

void write_envelope(ByteWriter& w, const EnvelopeRecord& e) {
    write_points(w, e.points, ENVELOPE_BASE_POINTS);
    w.u8(e.point_count);
    w.u8(e.sustain);
    w.u8(e.loop_start);
    w.u8(e.loop_end);
}

void write_instrument(ByteWriter& w, const InstrumentRecord& r) {
    const size_t start = w.bytes.size();
    write_envelope(w, r.volume_envelope);
    write_envelope(w, r.panning_envelope);
    w.u16(r.fadeout);
    w.u8(r.autovibrato_waveform);
    w.u8(r.autovibrato_sweep);
    w.u8(r.autovibrato_depth);
    w.u8(r.autovibrato_rate);
    w.u16(0);
    for (uint32_t n = 0; n < BASE_MAP_NOTES; ++n) w.u16(r.sample_map[n]);
    w.u8(r.new_note_action);
    w.u8(r.duplicate_check);
    w.u16(0);
    write_envelope(w, r.pitch_envelope);
    w.u8(r.global_volume);
    w.u8(r.random_volume);
    w.u8(r.random_panning);
    w.u8(static_cast<uint8_t>(r.pitch_pan_separation));
    w.u8(r.pitch_pan_centre);
    w.u8(r.it_flags);
    w.u8(r.filter_cutoff);
    w.u8(r.filter_resonance);
    const EnvelopeRecord* envelopes[] = {&r.volume_envelope, &r.panning_envelope,
                                         &r.pitch_envelope};
    for (const EnvelopeRecord* e : envelopes) w.u8(e->sustain_end);
    uint8_t carry = 0;
    for (int k = 0; k < 3; ++k)
        if (envelopes[k]->flags & ENVELOPE_CARRY) carry = static_cast<uint8_t>(carry | 1 << k);
    w.u8(carry);
    for (const EnvelopeRecord* e : envelopes)
        write_points(w, e->points + ENVELOPE_BASE_POINTS, MORE_POINTS_PER_ENVELOPE);
    for (int n = BASE_MAP_NOTES; n < NOTE_COUNT; ++n) w.u16(r.sample_map[n]);
    for (int8_t shift : r.note_shift) w.u8(static_cast<uint8_t>(shift));
    w.fit(start, STRIDE_UNIT * INSTRUMENT_STRIDE);
}

void write_sample(ByteWriter& w, const SampleRecord& r) {
    const size_t start = w.bytes.size();
    w.u32(r.data_index);
    w.u32(r.length);
    w.u32(r.loop_length);
    w.u8(r.flags_volume & SAMPLE_FLAG_PINGPONG);
    w.u8(sample_volume(r));
    w.u8(r.panning);
    w.u8(static_cast<uint8_t>(r.finetune));
    w.u8(static_cast<uint8_t>(r.relative_note));
    w.u16(r.released);
    w.u16(static_cast<uint16_t>(r.fine_pitch));
    w.fit(start, STRIDE_UNIT * SAMPLE_STRIDE);
}

} // namespace

std::vector<uint8_t> write_compact(const ReplayContext& ctx) {
    std::vector<uint8_t> out;
    ByteWriter w{out};
    write_header(w, ctx);
    for (uint32_t p = 0; p < ctx.pattern_count; ++p) {
        const size_t start = out.size();
        w.u16(ctx.patterns[p].first_row);
        w.u16(ctx.patterns[p].row_count);
        w.fit(start, STRIDE_UNIT * PATTERN_STRIDE);
    }
    const uint64_t slot_count = uint64_t{ctx.total_rows} * ctx.channel_count;
    for (uint64_t i = 0; i < slot_count; ++i) {
        const size_t start = out.size();
        const PatternSlot& s = ctx.slots[i];
        for (uint8_t byte : {s.note, s.instrument, s.volume, s.effect, s.parameter}) w.u8(byte);
        w.fit(start, STRIDE_UNIT * SLOT_STRIDE);
    }
    for (uint32_t k = 0; k < ctx.instrument_count; ++k) write_instrument(w, ctx.instruments[k]);
    for (uint32_t k = 0; k < ctx.sample_count; ++k) write_sample(w, ctx.samples[k]);
    // Every 16-bit frame is exact as a float, and the reader's truncation
    // brings it back unchanged.
    for (uint32_t f = 0; f < ctx.total_sample_frames; ++f)
        w.u32(std::bit_cast<uint32_t>(static_cast<float>(ctx.sample_data[f]) / FRAME_SCALE));
    for (int i = 0; i < first_song_length(ctx); ++i) {
        w.u8(ctx.order_table[i]);
        w.u8(0);
    }
    return out;
}

} // namespace compact_writer

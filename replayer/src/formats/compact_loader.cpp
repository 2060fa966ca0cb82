// SPDX-License-Identifier: GPL-2.0-or-later
// The compact module reader: copies a pre-converted image record by record
// into the replay context, checking what playback relies on and clamping
// values to the ranges the format loaders produce.
#include <algorithm>
#include <bit>
#include <cstring>

#include "compact_layout.h"

namespace replayer {

namespace {

using namespace compact;

constexpr int8_t MIN_FINETUNE = -16;
constexpr int8_t MAX_FINETUNE = 15;
constexpr uint8_t VOLUME_BITS = 0x7F;

uint8_t clamp_volume(uint8_t volume) {
    return std::min(volume, MAX_VOLUME);
}

void read_header(ReplayContext& ctx, const ByteReader& in) {
    const uint8_t restart = in.u8(HEADER_RESTART);
    ctx.restart_position = restart < ctx.song_length ? restart : 0;
    ctx.default_speed = in.u8(HEADER_SPEED);
    // No format loader yields a BPM of 0, which would make every tick endless.
    const uint8_t bpm = in.u8(HEADER_BPM);
    ctx.default_bpm = bpm ? bpm : DEFAULT_BPM;
    ctx.default_global_volume = clamp_volume(in.u8(HEADER_GLOBAL_VOLUME));
    const uint16_t flags = in.u16le(HEADER_FLAGS);
    ctx.amiga_periods = (flags & FLAG_AMIGA_PERIODS) ? 1 : 0;
    if (flags & FLAG_FAST_SLIDE) ctx.tracker_rules |= RULE_FAST_SLIDE;
    if (flags & FLAG_AMIGA_CLOCK_8363) ctx.tracker_rules |= RULE_AMIGA_CLOCK_8363;
    if (flags & FLAG_NO_LOOP_START_CARRY) ctx.tracker_rules |= RULE_NO_LOOP_START_CARRY;
    for (int c = 0; c < ctx.channel_count; ++c) ctx.channel_panning[c] = in.u8(HEADER_PANNING + c);
    if (!(flags & FLAG_IT)) return;
    ctx.tracker_rules |= RULE_IT;
    if (flags & FLAG_IT_LINKED_PORTA) ctx.tracker_rules |= RULE_IT_LINKED_PORTA;
    if (flags & FLAG_CARRY_UNTIL_END) ctx.tracker_rules |= RULE_CARRY_UNTIL_END;
    ctx.default_global_volume = std::min(in.u8(HEADER_GLOBAL_VOLUME), MAX_IT_GLOBAL_VOLUME);
    for (int c = 0; c < ctx.channel_count; ++c)
        ctx.channel_volume[c] = clamp_volume(in.u8(HEADER_PANNING + ctx.channel_count + c));
    ctx.mix_volume = MAX_IT_GLOBAL_VOLUME;
    if (!(flags & FLAG_IT_MACROS)) return; // older images: no Zxx acts, full mix volume
    ctx.mix_volume = std::min(in.u8(HEADER_MIX_VOLUME), MAX_IT_GLOBAL_VOLUME);
    const uint64_t at = HEADER_PANNING + 2u * ctx.channel_count;
    MacroSet& m = ctx.macros;
    auto kind = [](uint8_t k) { return k <= MACRO_RESONANCE ? k : MACRO_NONE; };
    for (int k = 0; k < PARAMETERED_MACROS; ++k) m.parametered[k] = kind(in.u8(at + k));
    for (int k = 0; k < FIXED_MACROS; ++k) {
        m.fixed_kind[k] = kind(in.u8(at + PARAMETERED_MACROS + k));
        m.fixed_value[k] =
            std::min<uint8_t>(in.u8(at + PARAMETERED_MACROS + FIXED_MACROS + k), 127);
    }
}

// Images numbering 96 notes had their retrigger and instrument-only codes
// right after them.
uint8_t renumber_old_note(uint8_t note) {
    constexpr uint8_t OLD_INSTRUMENT_ONLY = 98;
    if (note <= BASE_MAP_NOTES || note >= NOTE_KEY_OFF) return note;
    return note == OLD_INSTRUMENT_ONLY ? NOTE_INSTRUMENT_ONLY : NOTE_RETRIGGER;
}

const char* read_patterns(ReplayContext& ctx, const ByteReader& in, const Sections& s) {
    for (uint32_t p = 0; p < ctx.pattern_count; ++p) {
        const uint64_t at = s.patterns + uint64_t{p} * s.pattern_stride;
        PatternRecord& pattern = ctx.patterns[p];
        pattern.first_row = in.u16le(at + PATTERN_FIRST_ROW);
        pattern.row_count = in.u16le(at + PATTERN_ROW_COUNT);
        if (const char* e = check_pattern(pattern, ctx.total_rows)) return e;
    }
    // Slots past the image's end read as empty ones, which the zero-filled
    // context already holds.
    const uint64_t slot_count = uint64_t{ctx.total_rows} * ctx.channel_count;
    const uint64_t inside = in.values_inside(s.slots, s.slot_stride, slot_count);
    const bool old_notes = !(in.u16le(HEADER_FLAGS) & FLAG_NOTES_120);
    for (uint64_t i = 0; i < inside; ++i) {
        const uint64_t at = s.slots + i * s.slot_stride;
        ctx.slots[i] = {in.u8(at), in.u8(at + 1), in.u8(at + 2), in.u8(at + 3), in.u8(at + 4)};
        if (old_notes) ctx.slots[i].note = renumber_old_note(ctx.slots[i].note);
    }
    return nullptr;
}

// The first 12 points from the envelope's own bytes, the rest (IT) from
// `more` where the image has them (0: it has not, they are left 0).
void read_envelope(EnvelopeRecord& e, const ByteReader& in, uint64_t at, uint64_t more) {
    for (int i = 0; i < ENVELOPE_MAX_POINTS; ++i) {
        const bool base = i < int{ENVELOPE_BASE_POINTS};
        if (!base && !more) break;
        const uint64_t point =
            base ? at + uint64_t{ENVELOPE_POINT_BYTES} * i
                 : more + uint64_t{ENVELOPE_POINT_BYTES} * (i - ENVELOPE_BASE_POINTS);
        e.points[i].frame = in.u16le(point);
        e.points[i].value = clamp_volume(in.u8(point + 2));
    }
    e.point_count = in.u8(at + ENVELOPE_COUNT);
    e.sustain = in.u8(at + ENVELOPE_SUSTAIN);
    e.loop_start = in.u8(at + ENVELOPE_LOOP_START);
    e.loop_end = in.u8(at + ENVELOPE_LOOP_END);
    e.sustain_end = e.sustain == SUSTAIN_NONE ? 0 : e.sustain; // images before sustain loops
}

const char* envelopes_error(const InstrumentRecord& r) {
    for (const EnvelopeRecord* e : {&r.volume_envelope, &r.panning_envelope, &r.pitch_envelope})
        if (const char* error = envelope_error(*e)) return error;
    return nullptr;
}

const char* read_instruments(ReplayContext& ctx, const ByteReader& in, const Sections& s) {
    for (uint32_t k = 0; k < ctx.instrument_count; ++k) {
        const uint64_t at = s.instruments + uint64_t{k} * s.instrument_stride;
        InstrumentRecord& r = ctx.instruments[k];
        const bool more = s.instrument_stride >= INSTRUMENT_POINTS_BYTES;
        auto more_points = [&](int envelope) -> uint64_t {
            constexpr uint64_t BYTES = uint64_t{MORE_POINTS_PER_ENVELOPE} * ENVELOPE_POINT_BYTES;
            return more ? at + INSTRUMENT_MORE_POINTS + BYTES * envelope : 0;
        };
        read_envelope(r.volume_envelope, in, at + INSTRUMENT_VOLUME_ENVELOPE, more_points(0));
        read_envelope(r.panning_envelope, in, at + INSTRUMENT_PANNING_ENVELOPE, more_points(1));
        r.fadeout = in.u16le(at + INSTRUMENT_FADEOUT);
        r.autovibrato_waveform = in.u8(at + INSTRUMENT_VIBRATO_WAVEFORM);
        r.autovibrato_sweep = in.u8(at + INSTRUMENT_VIBRATO_SWEEP);
        r.autovibrato_depth = in.u8(at + INSTRUMENT_VIBRATO_DEPTH);
        r.autovibrato_rate = in.u8(at + INSTRUMENT_VIBRATO_RATE);
        const bool notes_120 = s.instrument_stride >= INSTRUMENT_NOTES_BYTES;
        for (uint32_t n = 0; n < NOTE_COUNT; ++n) {
            const uint64_t entry =
                n < BASE_MAP_NOTES ? at + INSTRUMENT_SAMPLE_MAP + 2u * n
                                   : at + INSTRUMENT_MORE_SAMPLE_MAP + 2u * (n - BASE_MAP_NOTES);
            r.sample_map[n] = n < BASE_MAP_NOTES || notes_120 ? in.u16le(entry) : SAMPLE_MAP_NONE;
            // A shift that would leave the notes plays the key's own note.
            const int shift = notes_120 ? in.s8(at + INSTRUMENT_NOTE_SHIFTS + n) : 0;
            const int played = static_cast<int>(n) + 1 + shift;
            r.note_shift[n] = played >= 1 && played <= NOTE_LAST ? static_cast<int8_t>(shift) : 0;
        }
        // Full, where an IT image predates the field.
        if (ctx.tracker_rules & RULE_IT) r.global_volume = MAX_IT_GLOBAL_VOLUME;
        if (s.instrument_stride < INSTRUMENT_IT_BYTES) {
            if (const char* e = envelopes_error(r)) return e;
            continue;
        }
        read_envelope(r.pitch_envelope, in, at + INSTRUMENT_PITCH_ENVELOPE, more_points(2));
        r.global_volume = std::min(in.u8(at + INSTRUMENT_GLOBAL_VOLUME), MAX_IT_GLOBAL_VOLUME);
        r.random_volume = std::min<uint8_t>(in.u8(at + INSTRUMENT_RANDOM_VOLUME), 100);
        r.random_panning = std::min(in.u8(at + INSTRUMENT_RANDOM_PANNING), MAX_VOLUME);
        r.pitch_pan_separation = static_cast<int8_t>(
            std::clamp<int>(in.s8(at + INSTRUMENT_PITCH_PAN_SEPARATION), -32, 32));
        r.pitch_pan_centre = std::min(in.u8(at + INSTRUMENT_PITCH_PAN_CENTRE), NOTE_LAST);
        r.it_flags = in.u8(at + INSTRUMENT_IT_FLAGS) & INSTRUMENT_PITCH_IS_FILTER;
        if (s.instrument_stride >= INSTRUMENT_FILTER_BYTES) {
            r.filter_cutoff = in.u8(at + INSTRUMENT_FILTER_CUTOFF);
            r.filter_resonance = in.u8(at + INSTRUMENT_FILTER_RESONANCE);
        }
        if (s.instrument_stride >= INSTRUMENT_SUSTAIN_BYTES) {
            EnvelopeRecord* envelopes[] = {&r.volume_envelope, &r.panning_envelope,
                                           &r.pitch_envelope};
            // A loop end outside sustain..last point reads as the sustain point.
            for (int k = 0; k < 3; ++k) {
                EnvelopeRecord& e = *envelopes[k];
                const uint8_t end = in.u8(at + INSTRUMENT_SUSTAIN_ENDS + k);
                if (e.sustain != SUSTAIN_NONE && end > e.sustain && end < e.point_count)
                    e.sustain_end = end;
                if (e.point_count && (in.u8(at + INSTRUMENT_ENVELOPE_CARRY) >> k & 1))
                    e.flags = ENVELOPE_CARRY;
            }
        }
        const uint8_t action = in.u8(at + INSTRUMENT_NEW_NOTE_ACTION);
        const uint8_t check = in.u8(at + INSTRUMENT_DUPLICATE_CHECK);
        r.new_note_action = action <= NNA_NOTE_FADE ? action : NNA_CUT;
        r.duplicate_check =
            (check & 0x0F) <= DUPLICATE_INSTRUMENT && (check >> 4) <= NNA_NOTE_FADE ? check : 0;
        if (const char* e = envelopes_error(r)) return e;
    }
    return nullptr;
}

const char* read_samples(ReplayContext& ctx, const ByteReader& in, const Sections& s) {
    for (uint32_t k = 0; k < ctx.sample_count; ++k) {
        const uint64_t at = s.samples + uint64_t{k} * s.sample_stride;
        SampleRecord& r = ctx.samples[k];
        r.data_index = in.u32le(at + SAMPLE_DATA_INDEX);
        r.length = in.u32le(at + SAMPLE_LENGTH);
        r.loop_length = in.u32le(at + SAMPLE_LOOP_LENGTH);
        const uint8_t volume = clamp_volume(in.u8(at + SAMPLE_VOLUME) & VOLUME_BITS);
        r.flags_volume = static_cast<uint8_t>((volume << 1) |
                                              (in.u8(at + SAMPLE_PINGPONG) & SAMPLE_FLAG_PINGPONG));
        r.panning = in.u8(at + SAMPLE_PANNING);
        r.finetune = std::clamp(in.s8(at + SAMPLE_FINETUNE), MIN_FINETUNE, MAX_FINETUNE);
        r.relative_note = in.s8(at + SAMPLE_RELATIVE_NOTE);
        // A release record that does not exist plays as none.
        const uint16_t released =
            s.sample_stride >= SAMPLE_RELEASED_BYTES ? in.u16le(at + SAMPLE_RELEASED) : 0;
        r.released = k + released < ctx.sample_count ? released : 0;
        if (s.sample_stride >= SAMPLE_FINE_PITCH_BYTES)
            r.fine_pitch = static_cast<int16_t>(in.u16le(at + SAMPLE_FINE_PITCH));
        if (const char* e = check_sample(r, ctx.total_sample_frames)) return e;
    }
    // Frames past the image's end read as 0.0, which the zero-filled context holds.
    const uint64_t inside = in.values_inside(s.sample_data, FRAME_BYTES, ctx.total_sample_frames);
    for (uint32_t f = 0; f < inside; ++f)
        ctx.sample_data[f] = frame_from_float(
            std::bit_cast<float>(in.u32le(s.sample_data + uint64_t{FRAME_BYTES} * f)));
    return nullptr;
}

} // namespace

const char* prescan_compact(const ByteReader& in, ModuleScan& scan) {
    if (in.u8(HEADER_RESERVED) != 0) return "compact header byte 1 is not 0";
    scan.total_rows = in.u32le(HEADER_TOTAL_ROWS);
    if (scan.total_rows > MAX_TOTAL_ROWS) return "more than 0xFFFFFF rows";
    scan.total_sample_frames = in.u32le(HEADER_TOTAL_FRAMES);
    scan.pattern_count = in.u16le(HEADER_PATTERN_COUNT);
    scan.sample_count = in.u16le(HEADER_SAMPLE_COUNT);
    // The context holds 256 orders; later entries could never be reached.
    scan.song_length = std::min<uint16_t>(in.u16le(HEADER_SONG_LENGTH), ORDER_TABLE_SIZE);
    scan.instrument_count = in.u8(HEADER_INSTRUMENT_COUNT);
    scan.channel_count = in.u8(HEADER_CHANNEL_COUNT);
    scan.voice_count = std::min(in.u8(HEADER_VOICE_COUNT), MAX_VOICE_COUNT);
    return nullptr;
}

const char* load_compact(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in) {
    Sections sections{};
    if (const char* e = locate_sections(in, scan, sections)) return e;
    read_header(ctx, in);
    if (const char* e = read_patterns(ctx, in, sections)) return e;
    if (const char* e = read_instruments(ctx, in, sections)) return e;
    if (const char* e = read_samples(ctx, in, sections)) return e;
    for (int i = 0; i < ctx.song_length; ++i)
        ctx.order_table[i] = in.u8(sections.orders + uint64_t{ORDER_ENTRY_BYTES} * i);
    return check_orders(ctx);
}

} // namespace replayer

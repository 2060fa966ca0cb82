// SPDX-License-Identifier: GPL-2.0-or-later
// IT (Impulse Tracker): counts, header values, channel panning, orders,
// instruments and samples. Patterns are decoded in it_patterns.cpp,
// compressed samples in it_compressed.cpp.
#include <algorithm>
#include <iterator>

#include "it_layout.h"

namespace replayer {

namespace {

using namespace it;

constexpr uint16_t MAX_INSTRUMENTS = 255;
constexpr uint16_t MAX_SAMPLES = 4000;
constexpr uint16_t MAX_PATTERNS = 256;
constexpr uint32_t MAX_SAMPLE_FRAMES = 0xFFFFF;
constexpr uint32_t MAX_TOTAL_ROWS = 0x10000;
constexpr int MIDDLE_C_KEY = 60; // C-5
// The versions ModPlug Tracker writes into its IT files.
constexpr uint16_t MODPLUG_CREATED_WITH = 0x217;
constexpr uint16_t MODPLUG_COMPATIBLE_VERSION = 0x200;
static_assert(KEYBOARD_NOTES == NOTE_COUNT);
constexpr uint8_t MAX_PERCENT = 100;
constexpr int MAX_SEPARATION = 32;
constexpr uint8_t BACKGROUND_VOICES = 64; // notes left playing by new-note actions, at most
constexpr uint8_t LAST_NEW_NOTE_ACTION = NNA_NOTE_FADE;
constexpr uint8_t LAST_DUPLICATE_TYPE = DUPLICATE_INSTRUMENT;
constexpr uint8_t LAST_DUPLICATE_ACTION = 2;
constexpr uint8_t DUPLICATE_ACTIONS[] = {NNA_CUT, NNA_NOTE_OFF, NNA_NOTE_FADE}; // by IT's number
constexpr uint8_t FIRST_USABLE_TEMPO = 32;

constexpr uint8_t IT_TO_PANNING = 4; // 0..64 onto 0..255
constexpr int SEPARATION_FULL = 128;
constexpr uint32_t FADEOUT_FULL = 32767;   // the fadeout volume of a held note
constexpr uint16_t NEW_FADEOUT_SCALE = 32; // 1024 counts onto 32768
constexpr uint16_t OLD_FADEOUT_SCALE = 64; // 512 counts onto 32768
constexpr int8_t IT_ENVELOPE_CENTRE = 32;  // panning nodes run -32..32
constexpr uint8_t VIBRATO_DEPTH_SCALE = 4; // IT depth 0..64, the engine's 0..15
constexpr uint8_t MAX_AUTOVIBRATO_DEPTH = 15;
constexpr unsigned VIBRATO_RATE_UNITS = 256; // the depth grows by rate / 256 a tick
constexpr uint8_t MAX_SWEEP = 255;
constexpr uint8_t IT_WAVEFORMS[] = {WAVEFORM_SINE, WAVEFORM_RAMP_DOWN, WAVEFORM_SQUARE,
                                    WAVEFORM_SINE}; // random has no auto-vibrato form here

// A header without frames plays as no sample at all.
bool is_sample(const ByteReader& in, uint64_t header) {
    return header != 0 && in.u8(header) == 'I' && in.u8(header + 1) == 'M' &&
           in.u8(header + 2) == 'P' && in.u8(header + 3) == 'S' &&
           (in.u8(header + SAMPLE_FLAGS) & SAMPLE_HAS_DATA) &&
           in.u32le(header + SAMPLE_LENGTH) != 0;
}

// How one sample plays, one rule for prescan and loader: the frames up to its
// loop end (or all of them) and its loop; with a sustain loop, first that
// loop while the key is held (`held`), then the rest (`released`).
struct SampleShape {
    uint32_t end; // frames played: the loop's end, or the sample's length
    uint32_t loop_length;
    bool pingpong;
};

struct SampleShapes {
    SampleShape released;
    SampleShape held;
    bool sustained;  // the sustain loop is usable: `held` plays first
    uint32_t stored; // frames kept: as many as either shape plays
};

SampleShapes sample_shapes(const ByteReader& in, uint64_t h) {
    const uint8_t flags = in.u8(h + SAMPLE_FLAGS);
    const uint32_t length = in.u32le(h + SAMPLE_LENGTH);
    const SampleShape plain{length, 0, false};
    auto looped = [&](uint64_t start_at, uint64_t end_at, bool pingpong) -> SampleShape {
        const uint32_t start = in.u32le(h + start_at), end = std::min(in.u32le(h + end_at), length);
        if (end <= start) return plain;
        return {end, end - start, pingpong};
    };
    SampleShapes s{plain, plain, false, length};
    if (flags & SAMPLE_LOOP)
        s.released = looped(SAMPLE_LOOP_START, SAMPLE_LOOP_END, flags & SAMPLE_PINGPONG);
    if (flags & SAMPLE_SUSTAIN_LOOP)
        s.held = looped(SAMPLE_SUSTAIN_START, SAMPLE_SUSTAIN_END, flags & SAMPLE_SUSTAIN_PINGPONG);
    s.sustained = s.held.loop_length != 0;
    if (!s.sustained) s.held = s.released;
    s.stored = std::max(s.held.end, s.released.end);
    return s;
}

void load_header(ReplayContext& ctx, const ByteReader& in) {
    const uint16_t flags = in.u16le(FLAGS);
    ctx.amiga_periods = (flags & FLAG_LINEAR_SLIDES) ? 0 : 1;
    ctx.tracker_rules = RULE_AMIGA_CLOCK_8363 | RULE_NO_LOOP_START_CARRY | RULE_IT;
    if (flags & FLAG_COMPATIBLE_GXX) ctx.tracker_rules |= RULE_IT_LINKED_PORTA;
    if (in.u16le(CREATED_WITH) == MODPLUG_CREATED_WITH &&
        in.u16le(COMPATIBLE_VERSION) == MODPLUG_COMPATIBLE_VERSION)
        ctx.tracker_rules |= RULE_CARRY_UNTIL_END;
    ctx.default_global_volume = std::min(in.u8(GLOBAL_VOLUME), MAX_IT_VOLUME);
    ctx.mix_volume = std::min(in.u8(MIX_VOLUME), MAX_IT_VOLUME);
    const uint8_t speed = in.u8(INITIAL_SPEED);
    ctx.default_speed = speed == 0 ? DEFAULT_SPEED : speed;
    const uint8_t tempo = in.u8(INITIAL_TEMPO);
    ctx.default_bpm = tempo < FIRST_USABLE_TEMPO ? DEFAULT_BPM : tempo;

    const bool stereo = flags & FLAG_STEREO;
    const int separation = std::min<int>(in.u8(SEPARATION), SEPARATION_FULL);
    for (int c = 0; c < ctx.channel_count; ++c) {
        const uint8_t stored = in.u8(CHANNEL_PANNING + c) & ~CHANNEL_DISABLED;
        int pan = stored == PANNING_SURROUND
                      ? CENTRE_PANNING
                      : std::min<int>(stored, MAX_IT_PANNING) * IT_TO_PANNING;
        pan = CENTRE_PANNING + (pan - CENTRE_PANNING) * separation / SEPARATION_FULL;
        ctx.channel_panning[c] =
            stereo ? static_cast<uint8_t>(std::clamp(pan, 0, 255)) : CENTRE_PANNING;
        ctx.channel_volume[c] = std::min(in.u8(CHANNEL_VOLUME + c), MAX_VOLUME);
    }
}

uint8_t envelope_type(uint8_t flags) {
    uint8_t type = 0;
    if (flags & ENVELOPE_ON) type |= ENVELOPE_TYPE_ON;
    if (flags & ENVELOPE_LOOP) type |= ENVELOPE_TYPE_LOOP;
    if (flags & ENVELOPE_SUSTAIN_LOOP) type |= ENVELOPE_TYPE_SUSTAIN;
    return type;
}

// Nodes of an IT envelope (value, u16 tick), the first twelve of up to 25.
void read_envelope(EnvelopeRecord& e, const ByteReader& in, uint64_t at, int8_t centre) {
    const uint8_t flags = in.u8(at + ENVELOPE_FLAGS);
    e.point_count = std::min<uint8_t>(in.u8(at + ENVELOPE_NODES), ENVELOPE_MAX_POINTS);
    for (int i = 0; i < e.point_count; ++i) {
        const uint64_t node = at + ENVELOPE_FIRST_NODE + i * ENVELOPE_NODE_BYTES;
        const int value = std::clamp(in.s8(node) + centre, 0, int{MAX_VOLUME});
        e.points[i] = {in.u16le(node + 1), static_cast<uint8_t>(value)};
    }
    e.loop_start = in.u8(at + ENVELOPE_LOOP_START);
    e.loop_end = in.u8(at + ENVELOPE_LOOP_END);
    e.sustain = in.u8(at + ENVELOPE_SUSTAIN_START);
    e.sustain_end = in.u8(at + ENVELOPE_SUSTAIN_END);
    sanitize_envelope(e, envelope_type(flags));
    if (e.point_count && (flags & ENVELOPE_CARRY_FLAG)) e.flags = ENVELOPE_CARRY;
}

void read_old_envelope(EnvelopeRecord& e, const ByteReader& in, uint64_t h) {
    const uint8_t flags = in.u8(h + OLD_FLAGS);
    uint8_t count = 0;
    while (count < ENVELOPE_MAX_POINTS && in.u8(h + OLD_NODES + 2u * count) != OLD_NODE_END) {
        const uint8_t value = std::min(in.u8(h + OLD_NODES + 2u * count + 1), MAX_VOLUME);
        e.points[count] = {in.u8(h + OLD_NODES + 2u * count), value};
        ++count;
    }
    e.point_count = count;
    e.loop_start = in.u8(h + OLD_LOOP_START);
    e.loop_end = in.u8(h + OLD_LOOP_END);
    e.sustain = in.u8(h + OLD_SUSTAIN_START);
    e.sustain_end = in.u8(h + OLD_SUSTAIN_END);
    sanitize_envelope(e, envelope_type(flags));
}

// IT fades a note out at note-off also without a volume envelope; the
// engine does so for instruments whose envelope sustains, so an instrument
// without one gets a constant envelope held at full level.
void hold_without_envelope(EnvelopeRecord& e) {
    if (e.point_count) return;
    e.point_count = 1;
    e.points[0] = {0, MAX_VOLUME};
    e.sustain = 0;
}

void set_autovibrato(InstrumentRecord& instrument, const ByteReader& in, uint64_t h) {
    const uint8_t depth = in.u8(h + SAMPLE_VIBRATO_DEPTH), rate = in.u8(h + SAMPLE_VIBRATO_RATE);
    if (depth == 0 || rate == 0) return;
    instrument.autovibrato_waveform = IT_WAVEFORMS[in.u8(h + SAMPLE_VIBRATO_TYPE) & 3];
    instrument.autovibrato_rate = in.u8(h + SAMPLE_VIBRATO_SPEED);
    instrument.autovibrato_depth =
        std::min<uint8_t>(static_cast<uint8_t>(depth / VIBRATO_DEPTH_SCALE), MAX_AUTOVIBRATO_DEPTH);
    instrument.autovibrato_sweep =
        static_cast<uint8_t>(std::min<unsigned>(depth * VIBRATO_RATE_UNITS / rate, MAX_SWEEP));
}

// IT's default pannings (0..64) become the channel's panning when a note
// starts; the engine takes a sample panning off the centre as one.
uint8_t default_panning(uint8_t stored) {
    return static_cast<uint8_t>(
        std::min<int>(std::min<int>(stored & ~PANNING_FLAG, MAX_IT_PANNING) * IT_TO_PANNING, 255));
}

// An instrument's default panning goes to the samples it plays that have
// none of their own.
void give_instrument_panning(ReplayContext& ctx, const ByteReader& in, const Layout& layout) {
    if (in.u16le(COMPATIBLE_VERSION) < NEW_INSTRUMENT_VERSION) return;
    for (uint16_t k = 0; k < ctx.instrument_count; ++k) {
        const uint64_t h = instrument_header(in, layout, k);
        const uint8_t pan = in.u8(h + NEW_DEFAULT_PANNING);
        if (h == 0 || (pan & PANNING_FLAG)) continue;
        for (uint16_t s : ctx.instruments[k].sample_map) {
            if (s == SAMPLE_MAP_NONE) continue;
            const uint8_t own = in.u8(sample_header(in, layout, s) + SAMPLE_DEFAULT_PANNING);
            if (!(own & PANNING_FLAG)) ctx.samples[s].panning = default_panning(pan);
        }
    }
}

// What the format-2.00 layout adds: the pitch envelope, global volume,
// random variation and pitch-pan separation.
void read_it_extras(InstrumentRecord& instrument, const ByteReader& in, uint64_t h) {
    read_envelope(instrument.pitch_envelope, in, h + NEW_PITCH_ENVELOPE, IT_ENVELOPE_CENTRE);
    if (in.u8(h + NEW_PITCH_ENVELOPE + ENVELOPE_FLAGS) & ENVELOPE_FILTER)
        instrument.it_flags |= INSTRUMENT_PITCH_IS_FILTER;
    instrument.global_volume = std::min(in.u8(h + NEW_GLOBAL_VOLUME), MAX_IT_VOLUME);
    instrument.random_volume = std::min(in.u8(h + NEW_RANDOM_VOLUME), MAX_PERCENT);
    instrument.filter_cutoff = in.u8(h + NEW_FILTER_CUTOFF);
    instrument.filter_resonance = in.u8(h + NEW_FILTER_RESONANCE);
    instrument.random_panning = std::min(in.u8(h + NEW_RANDOM_PANNING), MAX_IT_PANNING);
    instrument.pitch_pan_separation = static_cast<int8_t>(
        std::clamp<int>(in.s8(h + NEW_PITCH_PAN_SEPARATION), -MAX_SEPARATION, MAX_SEPARATION));
    instrument.pitch_pan_centre =
        static_cast<uint8_t>(std::min<int>(in.u8(h + NEW_PITCH_PAN_CENTRE), LAST_NOTE_BYTE) + 1);
}

void load_instruments(ReplayContext& ctx, const ByteReader& in, const Layout& layout) {
    const bool new_layout = in.u16le(COMPATIBLE_VERSION) >= NEW_INSTRUMENT_VERSION;
    for (uint16_t k = 0; k < ctx.instrument_count; ++k) {
        InstrumentRecord& instrument = ctx.instruments[k];
        const uint64_t h = instrument_header(in, layout, k);
        std::fill(std::begin(instrument.sample_map), std::end(instrument.sample_map),
                  SAMPLE_MAP_NONE);
        if (h == 0) continue;
        for (int note = 0; note < KEYBOARD_NOTES; ++note) {
            const uint8_t played = in.u8(h + KEYBOARD + 2u * note);
            const uint8_t sample = in.u8(h + KEYBOARD + 2u * note + 1);
            if (sample != 0 && sample <= layout.sample_count)
                instrument.sample_map[note] = static_cast<uint16_t>(sample - 1);
            if (played <= LAST_NOTE_BYTE)
                instrument.note_shift[note] = static_cast<int8_t>(played - note);
        }
        if (new_layout) {
            read_envelope(instrument.volume_envelope, in, h + NEW_VOLUME_ENVELOPE, 0);
            read_envelope(instrument.panning_envelope, in, h + NEW_PANNING_ENVELOPE,
                          IT_ENVELOPE_CENTRE);
            instrument.fadeout = static_cast<uint16_t>(
                std::min<uint32_t>(in.u16le(h + NEW_FADEOUT) * NEW_FADEOUT_SCALE, FADEOUT_FULL));
            const uint8_t type = in.u8(h + NEW_DUPLICATE_TYPE);
            const uint8_t action = in.u8(h + NEW_DUPLICATE_ACTION);
            if (type <= LAST_DUPLICATE_TYPE && action <= LAST_DUPLICATE_ACTION)
                instrument.duplicate_check =
                    static_cast<uint8_t>(type | DUPLICATE_ACTIONS[action] << 4);
            instrument.new_note_action = in.u8(h + NEW_NEW_NOTE_ACTION);
            read_it_extras(instrument, in, h);
        } else {
            instrument.global_volume = MAX_IT_VOLUME;
            read_old_envelope(instrument.volume_envelope, in, h);
            instrument.fadeout = static_cast<uint16_t>(
                std::min<uint32_t>(in.u16le(h + OLD_FADEOUT) * OLD_FADEOUT_SCALE, FADEOUT_FULL));
            instrument.new_note_action = in.u8(h + OLD_NEW_NOTE_ACTION);
            if (in.u8(h + OLD_DUPLICATE_CHECK) == 1) instrument.duplicate_check = DUPLICATE_NOTE;
        }
        if (instrument.new_note_action > LAST_NEW_NOTE_ACTION) instrument.new_note_action = NNA_CUT;
        hold_without_envelope(instrument.volume_envelope);
        // Auto-vibrato belongs to samples in IT; the instrument takes its
        // middle note's.
        const uint16_t middle = instrument.sample_map[MIDDLE_C_KEY];
        if (middle != SAMPLE_MAP_NONE)
            set_autovibrato(instrument, in, sample_header(in, layout, middle));
    }
}

// Scales a decoded sample by its global volume (0..64).
void apply_sample_volume(int16_t* frames, uint32_t count, uint8_t volume) {
    if (volume >= MAX_VOLUME) return;
    for (uint32_t i = 0; i < count; ++i)
        frames[i] = static_cast<int16_t>((int32_t{frames[i]} * volume) >> 6);
}

void decode_it_sample(int16_t* out, const ByteReader& in, uint64_t h, uint32_t stored) {
    const uint8_t flags = in.u8(h + SAMPLE_FLAGS), convert = in.u8(h + SAMPLE_CONVERT);
    const bool sixteen_bit = flags & SAMPLE_16BIT, stereo = flags & SAMPLE_STEREO;
    const uint64_t data = in.u32le(h + SAMPLE_POINTER);
    if (flags & SAMPLE_COMPRESSED) {
        const bool twice = convert & CONVERT_DELTA;
        decode_compressed(out, in, data, stored, sixteen_bit, twice, false);
        // The right side's blocks follow all of the left side's, also those
        // past a loop end that is not kept.
        if (stereo) {
            const uint64_t right =
                compressed_end(in, data, in.u32le(h + SAMPLE_LENGTH), sixteen_bit);
            decode_compressed(out, in, right, stored, sixteen_bit, twice, true);
        }
        return;
    }
    const SampleCoding coding = sixteen_bit ? SampleCoding::PCM_16 : SampleCoding::PCM_8;
    const bool is_unsigned = !(convert & CONVERT_SIGNED);
    const SampleSource left{coding, data, is_unsigned};
    if (stereo) {
        const uint64_t right = data + uint64_t{in.u32le(h + SAMPLE_LENGTH)} * (sixteen_bit ? 2 : 1);
        decode_stereo_sample(out, in, left, {coding, right, is_unsigned}, stored);
    } else {
        decode_sample(out, in, left, stored);
    }
}

void give_shape(SampleRecord& sample, const SampleShape& shape) {
    sample.length = shape.end;
    sample.loop_length = shape.loop_length;
    sample.flags_volume = static_cast<uint8_t>((sample.flags_volume & ~SAMPLE_FLAG_PINGPONG) |
                                               (shape.pingpong ? SAMPLE_FLAG_PINGPONG : 0));
}

void load_samples(ReplayContext& ctx, const ByteReader& in, const Layout& layout,
                  bool instruments) {
    uint32_t frame = 0;
    uint16_t released = layout.sample_count; // the next record after the file's
    for (uint16_t k = 0; k < layout.sample_count; ++k) {
        SampleRecord& sample = ctx.samples[k];
        sample.data_index = frame;
        sample.panning = CENTRE_PANNING;
        const uint64_t h = sample_header(in, layout, k);
        if (!instruments) {
            InstrumentRecord& own = ctx.instruments[k];
            own.global_volume = MAX_IT_VOLUME;
            // A note-off releases the note (and its sustain loop) but does
            // not silence it: with no fadeout it plays on.
            hold_without_envelope(own.volume_envelope);
            std::fill(std::begin(own.sample_map), std::end(own.sample_map), k);
            set_autovibrato(own, in, h);
        }
        if (!is_sample(in, h)) continue;
        const SampleShapes shapes = sample_shapes(in, h);
        sample.flags_volume =
            static_cast<uint8_t>(std::min(in.u8(h + SAMPLE_VOLUME), MAX_VOLUME) << 1);
        set_middle_c_pitch(sample, in.u32le(h + SAMPLE_C5_SPEED), true);
        sample.relative_note =
            static_cast<int8_t>(std::max(sample.relative_note + SAMPLE_OCTAVE_SHIFT, -128));
        const uint8_t pan = in.u8(h + SAMPLE_DEFAULT_PANNING);
        if (pan & PANNING_FLAG) sample.panning = default_panning(pan);
        if (shapes.sustained) {
            ctx.samples[released] = sample;
            give_shape(ctx.samples[released], shapes.released);
            sample.released = static_cast<uint16_t>(released++ - k);
        }
        give_shape(sample, shapes.held);
        decode_it_sample(ctx.sample_data + frame, in, h, shapes.stored);
        apply_sample_volume(ctx.sample_data + frame, shapes.stored,
                            in.u8(h + SAMPLE_GLOBAL_VOLUME));
        frame += shapes.stored;
    }
    ctx.total_sample_frames = frame;
}

} // namespace

const char* prescan_it(const ByteReader& in, ModuleScan& scan) {
    const Layout layout = read_layout(in);
    const bool instruments = in.u16le(FLAGS) & FLAG_INSTRUMENTS;
    if (layout.pattern_count > MAX_PATTERNS) return "more than 256 patterns";
    if (layout.sample_count > MAX_SAMPLES) return "more than 4000 samples";
    if (instruments && layout.instrument_count > MAX_INSTRUMENTS)
        return "more than 255 instruments";
    if (!instruments && layout.sample_count > MAX_INSTRUMENTS)
        return "more than 255 samples without instruments";

    const OrderCount orders = count_orders(in, ORDERS, layout.order_count, layout.pattern_count);
    if (orders.first_song_too_long) return "more than 256 orders";
    scan.song_length = orders.song_length;
    scan.sample_count = layout.sample_count; // and a record for each sustain loop's release
    scan.instrument_count =
        static_cast<uint8_t>(instruments ? layout.instrument_count : layout.sample_count);
    scan.pattern_count = layout.pattern_count + (orders.names_missing_pattern ? 1 : 0);
    uint32_t rows = orders.names_missing_pattern ? EMPTY_PATTERN_ROWS : 0;
    for (uint16_t k = 0; k < layout.pattern_count; ++k) rows += pattern_rows(in, layout, k);
    // Each pattern's first row is a 16-bit index.
    if (rows > MAX_TOTAL_ROWS) return "more than 65536 pattern rows";
    scan.total_rows = rows;
    scan.channel_count = std::max<uint8_t>(channels_used(in, layout), 1);
    // Only instruments have new-note actions.
    if (instruments) scan.voice_count = BACKGROUND_VOICES;

    uint32_t frames = 0;
    for (uint16_t k = 0; k < layout.sample_count; ++k) {
        const uint64_t h = sample_header(in, layout, k);
        if (!is_sample(in, h)) continue;
        const SampleShapes shapes = sample_shapes(in, h);
        if (shapes.stored > MAX_SAMPLE_FRAMES) return "sample too long";
        frames += shapes.stored;
        if (shapes.sustained) ++scan.sample_count;
    }
    scan.total_sample_frames = frames;
    return nullptr;
}

const char* load_it(ReplayContext& ctx, const ModuleScan&, const ByteReader& in) {
    const Layout layout = read_layout(in);
    const bool instruments = in.u16le(FLAGS) & FLAG_INSTRUMENTS;
    load_header(ctx, in);
    load_macros(ctx.macros, in, layout);

    fill_orders(ctx, in, ORDERS, layout.order_count, layout.pattern_count);

    if (instruments) load_instruments(ctx, in, layout);
    load_samples(ctx, in, layout, instruments);
    if (instruments) give_instrument_panning(ctx, in, layout);

    const EffectMode mode{(in.u16le(FLAGS) & FLAG_OLD_EFFECTS) != 0, instruments};
    uint32_t first_row = 0;
    for (uint16_t p = 0; p < ctx.pattern_count; ++p) {
        const uint16_t rows =
            p < layout.pattern_count ? pattern_rows(in, layout, p) : EMPTY_PATTERN_ROWS;
        ctx.patterns[p] = {static_cast<uint16_t>(first_row), rows};
        if (p < layout.pattern_count) {
            PatternSlot* slots = ctx.slots + uint64_t{first_row} * ctx.channel_count;
            load_pattern(in, layout, p, ctx.channel_count, mode, slots);
            // A disabled channel's notes are not played; its effects are.
            for (uint8_t c = 0; c < ctx.channel_count; ++c) {
                if (!(in.u8(CHANNEL_PANNING + c) & CHANNEL_DISABLED)) continue;
                for (uint16_t r = 0; r < rows; ++r) {
                    PatternSlot& s = slots[r * ctx.channel_count + c];
                    s.note = NOTE_NONE;
                    s.instrument = 0;
                }
            }
        }
        first_row += rows;
    }
    return nullptr;
}

} // namespace replayer

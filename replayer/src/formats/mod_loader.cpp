// SPDX-License-Identifier: GPL-2.0-or-later
// MOD (31-sample ProTracker family, 1..99 channels, and the paired FLT8
// variant): signature, counts and conversion into the replay context.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "formats.h"

namespace replayer {

namespace {

constexpr uint64_t MOD_SAMPLE_HEADERS = 20; // first sample header
constexpr uint64_t MOD_SAMPLE_HEADER_BYTES = 30;
constexpr int MOD_SAMPLES = 31;
constexpr uint64_t MOD_SONG_LENGTH = 950;
constexpr uint64_t MOD_RESTART = 951;
constexpr uint64_t MOD_ORDERS = 952;
constexpr int MOD_ORDER_COUNT = 128;
constexpr uint64_t MOD_SIGNATURE = 1080;
constexpr uint64_t MOD_PATTERNS = 1084;
constexpr uint32_t MOD_ROWS = 64;
constexpr uint64_t MOD_CELL_BYTES = 4;

// Offsets inside a sample header.
constexpr uint64_t SAMPLE_LENGTH = 22; // u16 words
constexpr uint64_t SAMPLE_FINETUNE = 24;
constexpr uint64_t SAMPLE_VOLUME = 25;
constexpr uint64_t SAMPLE_LOOP_START = 26;  // u16 words
constexpr uint64_t SAMPLE_LOOP_LENGTH = 28; // u16 words

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

bool is_digit(uint8_t c, char low) {
    return c >= low && c <= '9';
}

struct Signature {
    uint8_t channels; // 0: not a MOD
    ModuleFormat format;
};

Signature read_signature(const ByteReader& in) {
    uint8_t s[4];
    for (int i = 0; i < 4; ++i) s[i] = in.u8(MOD_SIGNATURE + i);
    auto is = [&](const char* text) { return std::memcmp(s, text, 4) == 0; };
    if (is("M.K.") || is("M!K!") || is("FLT4")) return {4, FORMAT_MOD};
    if (is("OCTA") || is("OKTA") || is("CD81")) return {8, FORMAT_MOD};
    if (is("FLT8")) return {FLT8_CHANNELS, FORMAT_MOD_FLT8};
    if (is_digit(s[0], '1') && s[1] == 'C' && s[2] == 'H' && s[3] == 'N')
        return {static_cast<uint8_t>(s[0] - '0'), FORMAT_MOD};
    if (is_digit(s[0], '1') && is_digit(s[1], '0') && s[2] == 'C' && (s[3] == 'H' || s[3] == 'N'))
        return {static_cast<uint8_t>(10 * (s[0] - '0') + (s[1] - '0')), FORMAT_MOD};
    if (s[0] == 'T' && s[1] == 'D' && s[2] == 'Z' && is_digit(s[3], '1'))
        return {static_cast<uint8_t>(s[3] - '0'), FORMAT_MOD};
    return {0, FORMAT_MOD};
}

// Stored length and loop of one sample, in frames. A looped sample keeps only
// the data up to its loop end.
struct SampleShape {
    uint32_t stored;
    uint32_t loop_length;
};

SampleShape sample_shape(const ByteReader& in, int i) {
    const uint64_t h = MOD_SAMPLE_HEADERS + MOD_SAMPLE_HEADER_BYTES * i;
    const uint16_t loop_words = in.u16be(h + SAMPLE_LOOP_LENGTH);
    const uint32_t length = 2u * in.u16be(h + SAMPLE_LENGTH);
    const uint32_t loop_start = 2u * in.u16be(h + SAMPLE_LOOP_START);
    const uint32_t loop_length = 2u * loop_words;
    if (loop_words <= 1) return {length, 0};
    if (length < loop_start) return {length, std::min(length, loop_length)};
    if (length < loop_start + loop_length) {
        // Keeping data only up to the loop start would leave nothing of a
        // sample whose loop starts at 0: loop all of its data instead.
        if (loop_start == 0) return {length, length};
        return {loop_start, std::min(loop_start, loop_length)};
    }
    return {loop_start + loop_length, loop_length};
}

uint8_t highest_order(const ByteReader& in) {
    uint8_t highest = 0;
    for (int i = 0; i < MOD_ORDER_COUNT; ++i) highest = std::max(highest, in.u8(MOD_ORDERS + i));
    return highest;
}

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
PatternSlot read_cell(const ByteReader& in, uint64_t at) {
    const uint8_t b0 = in.u8(at), b1 = in.u8(at + 1), b2 = in.u8(at + 2), b3 = in.u8(at + 3);
    PatternSlot slot{};
    slot.instrument = static_cast<uint8_t>((b0 & 0xF0) | (b2 >> 4));
    slot.note = period_to_note(((b0 & 0x0Fu) << 8) | b1);
    slot.effect = b2 & 0x0F;
    slot.parameter = b3;
    convert_effect(slot);
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

void load_samples(ReplayContext& ctx, const ByteReader& in) {
    for (int i = 0; i < MOD_SAMPLES; ++i) {
        const uint64_t h = MOD_SAMPLE_HEADERS + MOD_SAMPLE_HEADER_BYTES * i;
        InstrumentRecord& instrument = ctx.instruments[i];
        std::fill(std::begin(instrument.sample_map), std::end(instrument.sample_map),
                  static_cast<uint16_t>(i));
        const SampleShape shape = sample_shape(in, i);
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
// of which the stored part is kept.
void load_sample_data(ReplayContext& ctx, const ByteReader& in, uint64_t at) {
    uint32_t frame = 0;
    for (int i = 0; i < MOD_SAMPLES; ++i) {
        SampleRecord& sample = ctx.samples[i];
        sample.data_index = frame;
        for (uint32_t f = 0; f < sample.length; ++f)
            ctx.sample_data[frame + f] = static_cast<int16_t>(in.s8(at + f) * 256);
        frame += sample.length;
        at += 2u * in.u16be(MOD_SAMPLE_HEADERS + MOD_SAMPLE_HEADER_BYTES * i + SAMPLE_LENGTH);
    }
    ctx.total_sample_frames = frame;
}

// A FLT8 pattern was read as the bytes of two 4-channel patterns one after the
// other; regroup them so each row holds both halves side by side.
void regroup_flt8(PatternSlot* pattern) {
    constexpr uint32_t HALF = MOD_ROWS * FLT8_HALF_CHANNELS;
    PatternSlot read[MOD_ROWS * FLT8_CHANNELS];
    std::memcpy(read, pattern, sizeof read);
    for (uint32_t r = 0; r < MOD_ROWS; ++r)
        for (uint32_t c = 0; c < FLT8_HALF_CHANNELS; ++c) {
            pattern[r * FLT8_CHANNELS + c] = read[FLT8_HALF_CHANNELS * r + c];
            pattern[r * FLT8_CHANNELS + FLT8_HALF_CHANNELS + c] =
                read[HALF + FLT8_HALF_CHANNELS * r + c];
        }
}

} // namespace

const char* prescan_mod(const ByteReader& in, ModuleScan& scan) {
    const Signature signature = read_signature(in);
    if (signature.channels == 0) return "unrecognised module format";
    scan.format = signature.format;
    scan.channel_count = signature.channels;
    scan.instrument_count = MOD_SAMPLES;
    scan.sample_count = MOD_SAMPLES;
    uint64_t frames = 0;
    for (int i = 0; i < MOD_SAMPLES; ++i) frames += sample_shape(in, i).stored;
    scan.total_sample_frames = static_cast<uint32_t>(frames);
    scan.song_length = in.u8(MOD_SONG_LENGTH);
    uint32_t patterns = highest_order(in) + 1u;
    if (signature.format == FORMAT_MOD_FLT8) patterns = (patterns + 1) >> 1;
    scan.pattern_count = static_cast<uint16_t>(patterns);
    scan.total_rows = MOD_ROWS * patterns;
    if (frames + MOD_PATTERNS > in.length) return "module shorter than its sample data";
    return nullptr;
}

const char* load_mod(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in) {
    const bool paired = scan.format == FORMAT_MOD_FLT8;
    ctx.amiga_periods = 1;
    ctx.tracker_rules = RULE_NO_LOOP_START_CARRY;
    ctx.default_global_volume = MAX_VOLUME;
    ctx.default_speed = DEFAULT_SPEED;
    ctx.default_bpm = DEFAULT_BPM;

    load_samples(ctx, in);

    // The prescan counted the song length byte as stored; only 128 orders exist.
    ctx.song_length = std::min<uint16_t>(ctx.song_length, MOD_ORDER_COUNT);
    const uint8_t restart = in.u8(MOD_RESTART);
    ctx.restart_position = restart < ctx.song_length ? restart : 0;
    // Paired patterns: two 4-channel pattern numbers name one 8-channel pattern.
    for (int i = 0; i < MOD_ORDER_COUNT; ++i)
        ctx.order_table[i] = paired ? in.u8(MOD_ORDERS + i) >> 1 : in.u8(MOD_ORDERS + i);

    for (int c = 0; c < ctx.channel_count; ++c)
        ctx.channel_panning[c] = ((c ^ (c >> 1)) & 1) ? PANNING_RIGHT : PANNING_LEFT;

    const uint32_t cells = MOD_ROWS * ctx.channel_count;
    uint64_t at = MOD_PATTERNS;
    for (uint32_t p = 0; p < ctx.pattern_count; ++p) {
        ctx.patterns[p] = {static_cast<uint16_t>(MOD_ROWS * p), static_cast<uint16_t>(MOD_ROWS)};
        PatternSlot* slots = ctx.slots + uint64_t{p} * cells;
        for (uint32_t i = 0; i < cells; ++i, at += MOD_CELL_BYTES) slots[i] = read_cell(in, at);
        if (paired) regroup_flt8(slots);
    }
    load_sample_data(ctx, in, at);
    return nullptr;
}

} // namespace replayer

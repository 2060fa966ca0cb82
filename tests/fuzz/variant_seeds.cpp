// SPDX-License-Identifier: GPL-2.0-or-later
#include "variant_seeds.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "module_builders.h"
#include "xm_writer.h"

namespace variant_seeds {

namespace {

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<int16_t>;

constexpr int PATTERNS = 2;
constexpr int ROWS = 64;
constexpr int ROWS_BETWEEN_NOTES = 8;
constexpr int PITCH_COUNT = 36;     // three octaves from the lowest note used
constexpr uint8_t LOWEST_NOTE = 37; // internal numbering: C-3, MOD period 856
constexpr uint8_t S3M_VOLUME_ON_LAST_ROW = 40;

// Amiga periods of the three octaves the melody uses.
constexpr uint16_t PERIODS[PITCH_COUNT] = {
    856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453, 428, 404, 381, 360, 339, 320,
    302, 285, 269, 254, 240, 226, 214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
constexpr int SCALE[] = {0, 2, 4, 7, 9, 12, 16, 19};

// One note of the melody: which channel plays which pitch with which of two
// instruments (1: plucked, 2: held).
struct Note {
    int pattern, row, channel, pitch, instrument;
};

std::vector<Note> melody(int channels) {
    std::vector<Note> notes;
    for (int p = 0; p < PATTERNS; ++p)
        for (int c = 0; c < channels; ++c)
            for (int row = c % ROWS_BETWEEN_NOTES; row < ROWS; row += ROWS_BETWEEN_NOTES) {
                const int step = row / ROWS_BETWEEN_NOTES + 3 * c + 5 * p;
                const int pitch = SCALE[step % std::size(SCALE)] + 12 * (c % 2);
                notes.push_back({p, row, c, pitch % PITCH_COUNT, 1 + (step / 3) % 2});
            }
    return notes;
}

// Integer waveforms, so that the seeds are the same bytes on every machine.
int16_t triangle(int i, int period, int amplitude) {
    const int phase = i % period, half = period / 2;
    const int rise = phase < half ? phase : period - phase; // 0..half
    return static_cast<int16_t>((4 * rise - period) * amplitude / period);
}

Frames pluck(int frames, int period, int amplitude) {
    Frames out;
    for (int i = 0; i < frames; ++i)
        out.push_back(static_cast<int16_t>(triangle(i, period, amplitude) * (frames - i) / frames));
    return out;
}

// The right channel of a stereo sample: the left one, quieter. (Two sides
// that differ in time would mix into one channel with a comb filter's colour,
// which a stereo player does not have.)
Frames right_of(const Frames& left) {
    constexpr int LEVEL_PERCENT = 70;
    Frames out;
    for (int16_t f : left) out.push_back(static_cast<int16_t>(f * LEVEL_PERCENT / 100));
    return out;
}

Frames held(int cycles, int period, int amplitude, bool square) {
    Frames out;
    for (int i = 0; i < cycles * period; ++i)
        out.push_back(
            square ? static_cast<int16_t>(i % period < period / 2 ? amplitude / 2 : -amplitude / 2)
                   : triangle(i, period, amplitude));
    return out;
}

constexpr int PLUCK_FRAMES = 6000, PERIOD = 32, CYCLES = 16;
constexpr int AMPLITUDE_8 = 100, AMPLITUDE_16 = 25000;

// ------------------------------------------------------------------- XM

// Two instruments: a plucked sample and a held, looped one.
xmwriter::Module xm_melody(xmwriter::Sample plucked, xmwriter::Sample looped) {
    xmwriter::Module m;
    m.channels = 4;
    m.orders = {0, 1};
    looped.loop = xmwriter::LOOP_FORWARD;
    looped.loop_start = 0;
    looped.loop_length = static_cast<uint32_t>(looped.frames.size());
    m.instruments = {test_modules::instrument_with({plucked}),
                     test_modules::instrument_with({looped})};
    m.patterns.resize(PATTERNS);
    for (xmwriter::Pattern& p : m.patterns) p.cells.resize(size_t{ROWS} * m.channels);
    for (const Note& n : melody(m.channels))
        m.patterns[n.pattern].cells[static_cast<size_t>(n.row) * m.channels + n.channel] = {
            static_cast<uint8_t>(LOWEST_NOTE + n.pitch), static_cast<uint8_t>(n.instrument), 0, 0,
            0};
    return m;
}

xmwriter::Sample xm_sample(Frames frames, Frames right = {}) {
    xmwriter::Sample s;
    s.frames = std::move(frames);
    s.right_frames = std::move(right);
    return s;
}

Bytes xm_adpcm() {
    xmwriter::Sample plucked = xm_sample(pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_8));
    xmwriter::Sample looped = xm_sample(held(CYCLES, PERIOD, AMPLITUDE_8, false));
    plucked.adpcm = looped.adpcm = true;
    return xmwriter::write_xm(xm_melody(plucked, looped));
}

Bytes xm_stereo() {
    const Frames plucked = pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_16);
    const Frames looped = held(CYCLES, PERIOD, AMPLITUDE_8, false);
    xmwriter::Sample a = xm_sample(plucked, right_of(plucked));
    a.sixteen_bit = true;
    return xmwriter::write_xm(xm_melody(a, xm_sample(looped, right_of(looped))));
}

// An Ogg Vorbis stream in place of the plucked sample's data (an OXM file).
Bytes xm_ogg() {
    const Bytes ogg = {27, 0, 0, 0, 'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0,
                       0,  0, 0, 0, 0,   0,   0,   0,   0, 0, 0, 0, 0, 1, 30};
    xmwriter::Sample plucked = xm_sample({});
    plucked.data_override = ogg;
    plucked.length_override = static_cast<uint32_t>(ogg.size());
    return xmwriter::write_xm(xm_melody(plucked, xm_sample(held(CYCLES, PERIOD, 90, false))));
}

Bytes xm_version_103() {
    xmwriter::Module m = xm_melody(xm_sample(pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_8)),
                                   xm_sample(held(CYCLES, PERIOD, AMPLITUDE_8, false)));
    m.version = 0x0103;
    return xmwriter::write_xm(m);
}

// ------------------------------------------------------------------ S3M

constexpr uint8_t S3M_FLAG_LOOP = 1, S3M_FLAG_STEREO = 2, S3M_FLAG_16BIT = 4;
constexpr uint8_t S3M_PACKING_ADPCM = 4;
constexpr uint16_t S3M_SIGNED = 1;

Bytes raw(const Frames& frames, bool sixteen_bit) {
    Bytes out;
    for (int16_t f : frames) {
        out.push_back(static_cast<uint8_t>(f));
        if (sixteen_bit) out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(f) >> 8));
    }
    return out;
}

test_modules::S3mSample s3m_sample(uint32_t frames, uint8_t flags, Bytes data) {
    test_modules::S3mSample s;
    s.length = frames;
    s.flags = flags;
    if (flags & S3M_FLAG_LOOP) s.loop_end = frames;
    s.data = std::move(data);
    return s;
}

test_modules::S3mBuilder s3m_melody(test_modules::S3mSample plucked,
                                    test_modules::S3mSample looped) {
    test_modules::S3mBuilder s3m;
    s3m.sample_format = S3M_SIGNED;
    s3m.orders = {0, 1};
    s3m.samples = {std::move(plucked), std::move(looped)};
    s3m.patterns.resize(PATTERNS);
    for (const Note& n : melody(4)) {
        const int note = LOWEST_NOTE - 1 + n.pitch; // S3M: octave and semitone
        s3m.patterns[n.pattern].push_back(
            {n.row, static_cast<uint8_t>(n.channel), (note / 12) << 4 | note % 12, n.instrument});
    }
    return s3m;
}

Bytes s3m_adpcm() {
    const Frames plucked = pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_8);
    const Frames looped = held(CYCLES, PERIOD, AMPLITUDE_8, false);
    test_modules::S3mSample a = s3m_sample(PLUCK_FRAMES, 0, xmwriter::encode_adpcm(plucked));
    test_modules::S3mSample b = s3m_sample(static_cast<uint32_t>(looped.size()), S3M_FLAG_LOOP,
                                           xmwriter::encode_adpcm(looped));
    a.packing = b.packing = S3M_PACKING_ADPCM;
    return s3m_melody(a, b).build();
}

Bytes s3m_stereo() {
    const Frames plucked = pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_16);
    const Frames looped = held(CYCLES, PERIOD, AMPLITUDE_8, false);
    Bytes a = raw(plucked, true), b = raw(looped, false);
    const Bytes a_right = raw(right_of(plucked), true), b_right = raw(right_of(looped), false);
    a.insert(a.end(), a_right.begin(), a_right.end());
    b.insert(b.end(), b_right.begin(), b_right.end());
    return s3m_melody(
               s3m_sample(PLUCK_FRAMES, S3M_FLAG_STEREO | S3M_FLAG_16BIT, a),
               s3m_sample(static_cast<uint32_t>(looped.size()), S3M_FLAG_LOOP | S3M_FLAG_STEREO, b))
        .build();
}

// Every pattern's stored length leaves out its own two bytes, and row 63 ends
// with a volume byte: only a reader that completes the rows keeps it.
Bytes s3m_short_lengths() {
    test_modules::S3mBuilder s3m = s3m_melody(
        s3m_sample(PLUCK_FRAMES, 0, raw(pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_8), false)),
        s3m_sample(PERIOD * CYCLES, S3M_FLAG_LOOP,
                   raw(held(CYCLES, PERIOD, AMPLITUDE_8, false), false)));
    for (auto& pattern : s3m.patterns)
        pattern.push_back({ROWS - 1, 3, 0x40, 2, S3M_VOLUME_ON_LAST_ROW});
    s3m.pattern_length_adjust = -2;
    return s3m.build();
}

// ------------------------------------------------------------------ MOD

struct ModShape {
    const char* signature;
    int channels;
    bool fifteen_samples;
};

// Two patterns in the song, a plucked sample and a held, looped one; no notes.
test_modules::ModBuilder mod_base(const ModShape& shape) {
    test_modules::ModBuilder mod;
    mod.signature = shape.signature;
    mod.channels = shape.channels;
    mod.fifteen_samples = shape.fifteen_samples;
    mod.patterns = PATTERNS;
    mod.song_length = PATTERNS;
    mod.orders[1] = 1;
    // Full volume, no finetune, restart byte 0: "M.K." files sized for eight
    // channels are then taken for eight, as the trackers that wrote them meant.
    mod.samples[0] = {PLUCK_FRAMES / 2, 0, 64, 0, 0};
    mod.samples[1] = {PERIOD * CYCLES / 2, 0, 64, 0, PERIOD * CYCLES / 2};
    mod.sample_data = {raw(pluck(PLUCK_FRAMES, PERIOD, AMPLITUDE_8), false),
                       raw(held(CYCLES, PERIOD, AMPLITUDE_8, false), false)};
    return mod;
}

test_modules::ModBuilder mod_melody(const ModShape& shape) {
    test_modules::ModBuilder mod = mod_base(shape);
    for (const Note& n : melody(shape.channels))
        mod.cell(n.pattern, n.row, n.channel,
                 {PERIODS[n.pitch], static_cast<uint8_t>(n.instrument), 0, 0});
    return mod;
}

// One channel's notes of the held sample, at stepped volumes: the loudness
// contour is then the same at any pitch (the reference players differ by half
// a semitone on MOD pitch, which moves where a plucked note has decayed and
// how voices of one pitch add up).
test_modules::ModBuilder held_notes_at_stepped_volumes(const ModShape& shape) {
    constexpr uint8_t RAW_SET_VOLUME = 0xC;
    constexpr uint8_t VOLUMES[] = {64, 12, 40, 0, 56, 24, 48};
    constexpr int ROWS_PER_NOTE = 2;
    test_modules::ModBuilder mod = mod_base(shape);
    size_t k = 0;
    for (int p = 0; p < PATTERNS; ++p)
        for (int row = 0; row < ROWS; row += ROWS_PER_NOTE, ++k)
            mod.cell(p, row, 0,
                     {PERIODS[SCALE[k % std::size(SCALE)]], 2, RAW_SET_VOLUME,
                      VOLUMES[k % std::size(VOLUMES)]});
    return mod;
}

// The held sample's loop as the 15-sample trackers wrote it: its start in
// bytes (read as words it would pass the sample's end), the loop alone played.
// Silence before the loop start makes either misreading heard.
constexpr uint16_t HELD_LOOP_START_BYTES = PERIOD * 6;
constexpr uint16_t HELD_LOOP_WORDS = (PERIOD * CYCLES - HELD_LOOP_START_BYTES) / 2;

Bytes fifteen_samples_loop_in_bytes() {
    test_modules::ModBuilder mod = held_notes_at_stepped_volumes({"", 4, true});
    mod.samples[1].loop_start_words = HELD_LOOP_START_BYTES;
    mod.samples[1].loop_length_words = HELD_LOOP_WORDS;
    std::fill_n(mod.sample_data[1].begin(), HELD_LOOP_START_BYTES, 0);
    return mod.build();
}

// A 15-sample module with what real ones hold beside the music: bytes outside
// printable ASCII in the title and a sample name, an empty sample with
// leftover loop fields, order entries past the song naming patterns the file
// lacks, 120 after the song length (the trackers' timer setting), and the
// file cut short inside its last sample (unplayed, so no reference player's
// reading of the missing bytes matters).
Bytes fifteen_samples_as_found() {
    constexpr size_t TITLE_AT = 0, TITLE_BYTES = 20, NAME_AT = 20, TIMER_AT = 471;
    constexpr uint8_t TIMER_SETTING = 120, UNSTORED_PATTERN = 40;
    constexpr uint16_t LAST_SAMPLE_WORDS = 500, CUT_BYTES = 300;
    test_modules::ModBuilder mod = held_notes_at_stepped_volumes({"", 4, true});
    mod.samples[1].loop_start_words = HELD_LOOP_START_BYTES;
    mod.samples[1].loop_length_words = HELD_LOOP_WORDS;
    mod.samples[2] = {0, 0, 0, 300, 7};
    mod.samples[3] = {LAST_SAMPLE_WORDS, 0, 64, 0, 0};
    for (int i = PATTERNS; i < 10; ++i) mod.orders[i] = UNSTORED_PATTERN;
    Bytes b = mod.build();
    const uint8_t title[] = {0xA9, '1', '9', '8', '8', 0x01, 'o', 'l', 'd'};
    std::fill_n(b.begin() + TITLE_AT, TITLE_BYTES, 0);
    std::copy(std::begin(title), std::end(title), b.begin() + TITLE_AT);
    b[NAME_AT + 1] = 0xE4;
    b[TIMER_AT] = TIMER_SETTING;
    b.resize(b.size() - CUT_BYTES);
    return b;
}

// An "M.K." module of a tracker without tempo: speed 31, then F20 meant as
// speed 32. Read as tempo (32 BPM) its pass lasts over 8 minutes. Its restart
// byte holds 120, as the Soundtrackers kept it.
Bytes mod_speed_fxx() {
    constexpr uint8_t SPEED = 0x1F, OLD_SPEED = 0x20, TIMER_SETTING = 120;
    test_modules::ModBuilder mod = held_notes_at_stepped_volumes({"M.K.", 4, false});
    // Unlooped samples with a loop of one word, as those trackers wrote them.
    for (test_modules::ModSample& sample : mod.samples)
        if (sample.loop_length_words == 0) sample.loop_length_words = 1;
    mod.restart = TIMER_SETTING;
    mod.song_length = 4;
    mod.orders[2] = 0;
    mod.orders[3] = 1;
    mod.cell(0, 0, 1, {0, 0, 0xF, SPEED});
    mod.cell(0, 1, 1, {0, 0, 0xF, OLD_SPEED});
    return mod.build();
}

} // namespace

std::vector<Seed> variant_seeds() {
    std::vector<Seed> seeds = {
        {"adpcm.xm", xm_adpcm(), nullptr},
        {"stereo.xm", xm_stereo(), nullptr},
        {"ogg.oxm", xm_ogg(), "Ogg Vorbis compressed samples (an OXM file) cannot be played"},
        {"version-1.03.xm", xm_version_103(), "XM version 1.03: only version 1.04 is read"},
        {"adpcm.s3m", s3m_adpcm(), nullptr},
        {"stereo.s3m", s3m_stereo(), nullptr},
        {"short-lengths.s3m", s3m_short_lengths(), nullptr},
    };
    const ModShape mods[] = {{"M&K!", 4, false}, {"FA04", 4, false}, {"FA06", 6, false},
                             {"FA08", 8, false}, {"CD61", 6, false}, {"M.K.", 8, false},
                             {"", 4, true}};
    for (const ModShape& m : mods) {
        std::string name = m.fifteen_samples ? "15-samples.mod"
                           : m.channels == 8 && std::string(m.signature) == "M.K."
                               ? "M.K.-8-channels.mod"
                               : std::string("sig-") + m.signature + ".mod";
        seeds.push_back({name, mod_melody(m).build(), nullptr});
    }
    seeds.push_back({"15-samples-loop-in-bytes.mod", fifteen_samples_loop_in_bytes(), nullptr});
    seeds.push_back({"15-samples-as-found.mod", fifteen_samples_as_found(), nullptr});
    seeds.push_back({"M.K.-speed-fxx.mod", mod_speed_fxx(), nullptr});
    return seeds;
}

} // namespace variant_seeds

// SPDX-License-Identifier: GPL-2.0-or-later
// Writes the fuzzers' built seeds into a folder: small modules of every format (IT too)
// and every MOD signature, each touching many effects, loop kinds, sample
// widths and envelope shapes, the modules of every loading variant
// (variant_seeds.h), and the compact image of each one that loads. Small
// inputs keep the fuzzers fast; the real modules come from the public corpus.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "compact_writer.h"
#include "it_writer.h"
#include "module_builders.h"
#include "quillrun/replayer.h"
#include "variant_seeds.h"
#include "xm_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_BAD_USAGE = 2;

constexpr int XM_EFFECT_COUNT = 36; // 0-9, A-Z
constexpr int XM_NOTE_KEY_OFF = 97;
constexpr int MOD_EFFECT_COUNT = 16;
constexpr int S3M_COMMAND_COUNT = 26; // A-Z
constexpr int IT_COMMAND_COUNT = 26;  // A-Z
constexpr int ROWS = 64;

xmwriter::Sample xm_sample(bool sixteen_bit, xmwriter::LoopType loop, int frames) {
    xmwriter::Sample s;
    s.sixteen_bit = sixteen_bit;
    const int scale = sixteen_bit ? 1000 : 9;
    for (int i = 0; i < frames; ++i)
        s.frames.push_back(static_cast<int16_t>((i % 24 - 12) * scale));
    s.loop = loop;
    if (loop != xmwriter::LOOP_NONE) {
        s.loop_start = static_cast<uint32_t>(frames / 4);
        s.loop_length = static_cast<uint32_t>(frames / 2);
    }
    return s;
}

// Every effect letter and volume-column kind, on four channels, with notes,
// key-offs and instrument changes between three instruments and an empty one.
xmwriter::Module xm_module(bool linear) {
    xmwriter::Module m;
    m.channels = 4;
    m.linear_frequencies = linear;
    m.orders = {0, 1, 0, 2};
    m.restart = 1;
    for (int p = 0; p < 2; ++p) {
        xmwriter::Pattern pattern;
        pattern.rows = static_cast<uint16_t>(p ? 20 : 40);
        pattern.cells.resize(size_t{pattern.rows} * m.channels);
        for (size_t i = 0; i < pattern.cells.size(); ++i) {
            const int k = static_cast<int>(i) + p * 7;
            xmwriter::Cell& c = pattern.cells[i];
            if (k % 3 == 0)
                c.note = static_cast<uint8_t>(k % 11 == 0 ? XM_NOTE_KEY_OFF : 30 + k % 40);
            if (k % 3 == 0) c.instrument = static_cast<uint8_t>(1 + k % 4);
            c.volume = static_cast<uint8_t>(k % 5 == 0 ? 0 : 0x10 + (k * 13) % 0xF0);
            c.effect = static_cast<uint8_t>(k % XM_EFFECT_COUNT);
            c.parameter = static_cast<uint8_t>(k * 37);
        }
        m.patterns.push_back(pattern);
    }
    m.patterns.push_back({}); // no packed data: 64 empty rows

    xmwriter::Instrument plain;
    plain.samples = {xm_sample(false, xmwriter::LOOP_NONE, 48)};
    plain.fadeout = 0x400;
    xmwriter::Instrument enveloped;
    enveloped.samples = {xm_sample(true, xmwriter::LOOP_PINGPONG, 64),
                         xm_sample(false, xmwriter::LOOP_FORWARD, 32)};
    for (size_t n = 0; n < enveloped.sample_map.size(); ++n)
        enveloped.sample_map[n] = static_cast<uint8_t>(n % 2);
    enveloped.volume_envelope = {{{0, 64}, {4, 16}, {10, 48}, {20, 0}}, 1, 1, 2, 7, {}};
    enveloped.panning_envelope = {{{0, 0}, {8, 64}, {16, 32}}, 0, 0, 2, 5, {}};
    enveloped.vibrato_type = 1;
    enveloped.vibrato_sweep = 8;
    enveloped.vibrato_depth = 6;
    enveloped.vibrato_rate = 20;
    enveloped.fadeout = 0x800;
    xmwriter::Instrument looped;
    looped.samples = {xm_sample(false, xmwriter::LOOP_FORWARD, 40)};
    looped.samples[0].relative_note = -12;
    looped.samples[0].finetune = -64;
    looped.samples[0].panning = 0;
    m.instruments = {plain, enveloped, looped, xmwriter::Instrument{}};
    return m;
}

// A MOD with the given signature: two stored patterns of every effect and the
// E sub-commands, two looped samples and one without a loop.
Bytes mod_module(const char* signature, int channels) {
    test_modules::ModBuilder mod;
    mod.signature = signature;
    mod.channels = channels;
    mod.patterns = 2;
    mod.song_length = 3;
    mod.orders[1] = 1;
    mod.samples[0] = {32, 0, 64, 8, 16};
    mod.samples[1] = {24, 5, 40, 0, 0};
    mod.samples[2] = {16, 12, 20, 4, 12};
    const uint16_t periods[] = {856, 428, 214, 113, 907};
    for (int p = 0; p < mod.patterns; ++p)
        for (int row = 0; row < ROWS; row += 2) {
            const int k = row / 2 + p * ROWS / 2;
            const int effect = k % MOD_EFFECT_COUNT;
            // The E command's sub-command rides in the parameter's high nibble.
            const uint8_t parameter =
                static_cast<uint8_t>(effect == 0xE ? (k % 16) << 4 | 3 : k * 29);
            mod.cell(p, row, k % channels,
                     {periods[k % 5], static_cast<uint8_t>(k % 4), static_cast<uint8_t>(effect),
                      parameter});
        }
    return mod.build();
}

// An S3M with every command letter, signed and unsigned, 8- and 16-bit and
// looped samples, a panning table and orders with markers.
Bytes s3m_module(uint16_t sample_format, bool panning_table) {
    test_modules::S3mBuilder s3m;
    s3m.sample_format = sample_format;
    s3m.panning_table = panning_table;
    for (int c = 0; c < 4; ++c) s3m.default_panning[c] = static_cast<uint8_t>(0x20 | (c * 5));
    s3m.orders = {0, 254, 1, 0, 255, 1};
    s3m.patterns.resize(2);
    for (int p = 0; p < 2; ++p)
        for (int row = 0; row < ROWS; row += 2) {
            const int k = row / 2 + p * ROWS / 2;
            test_modules::S3mEntry e{row, static_cast<uint8_t>(k % 4)};
            if (k % 3 == 0) {
                e.note = k % 13 == 0 ? 254 : (k % 5) << 4 | (k % 12);
                e.instrument = 1 + k % 3;
            }
            if (k % 4 == 1) e.volume = k % 65;
            e.command = 1 + k % S3M_COMMAND_COUNT;
            e.info = (k * 23) & 0xFF;
            s3m.patterns[p].push_back(e);
        }
    for (int k = 0; k < 3; ++k) {
        test_modules::S3mSample sample;
        sample.length = 48;
        sample.loop_start = k == 0 ? 0 : 8;
        sample.loop_end = k == 0 ? 0 : 40;
        sample.flags = static_cast<uint8_t>((k ? 1 : 0) | (k == 2 ? 4 : 0));
        sample.c2_speed = k == 1 ? 22050 : 8363;
        sample.data.resize(sample.length * (k == 2 ? 2 : 1));
        for (size_t i = 0; i < sample.data.size(); ++i)
            sample.data[i] = static_cast<uint8_t>(i * 11);
        s3m.samples.push_back(sample);
    }
    return s3m.build();
}

// An IT with every command letter, every kind of volume-column byte, note
// off, cut and fade, and compressed (2.14 and 2.15), plain, 8- and 16-bit,
// looped and sustain-looped samples; with instruments, envelopes, the filter
// and the file's own filter macros or without, with IT's or the old effects.
Bytes it_module(bool instruments, bool old_effects) {
    test_modules::ItBuilder it;
    it.flags = static_cast<uint16_t>(1 | 8 | (instruments ? 4 : 0) | (old_effects ? 16 : 0));
    it.orders = {0, 254, 1, 255, 0};
    it.patterns.resize(2);
    it.rows = {ROWS, 32};
    for (int p = 0; p < 2; ++p)
        for (int row = 0; row < it.rows[p]; row += 2) {
            const int k = row / 2 + p * ROWS / 2;
            test_modules::ItEntry e{row, static_cast<uint8_t>(k % 5)};
            if (k % 3 == 0) {
                e.note = k % 13 == 0 ? 254 : k % 17 == 0 ? 255 : k % 19 == 0 ? 130 : 24 + k % 60;
                e.instrument = 1 + k % 3;
            }
            if (k % 4 == 1) e.volume = (k * 7) % 213;
            e.command = 1 + k % IT_COMMAND_COUNT;
            e.info = (k * 23) & 0xFF;
            it.patterns[p].push_back(e);
        }
    for (int k = 0; k < 3; ++k) {
        test_modules::ItSample sample;
        sample.flags =
            static_cast<uint8_t>(1 | (k != 1 ? 8 : 0) | (k == 2 ? 2 : 0) | (k == 1 ? 16 | 64 : 32));
        sample.convert = static_cast<uint8_t>(1 | (k == 2 ? 4 : 0));
        sample.loop_start = sample.sustain_start = 8;
        sample.loop_end = sample.sustain_end = 40;
        sample.c5_speed = k == 1 ? 22050 : 8363;
        sample.global_volume = static_cast<uint8_t>(64 - 20 * k);
        for (int i = 0; i < 48; ++i)
            sample.frames.push_back(
                static_cast<int16_t>(k == 2 ? i * 1300 - 30000 : (i * 11) % 256 - 128));
        it.samples.push_back(sample);
        test_modules::ItInstrument instrument;
        instrument.sample = static_cast<uint8_t>(1 + k);
        instrument.new_note_action = static_cast<uint8_t>(k);
        instrument.fadeout = static_cast<uint16_t>(20 * k);
        instrument.volume = {static_cast<uint8_t>(k), 0, 2, 1, 1, {{64, 0}, {20, 4}, {40, 9}}};
        instrument.panning = {1, 0, 1, 0, 0, {{-32, 0}, {32, 6}}};
        if (k == 1) instrument.pitch = {1 | 0x80, 0, 1, 0, 0, {{-20, 0}, {30, 8}}};
        instrument.filter_cutoff = static_cast<uint8_t>(k == 0 ? 0x80 | 40 : 0);
        instrument.filter_resonance = static_cast<uint8_t>(k == 2 ? 0x80 | 90 : 0);
        it.instruments.push_back(instrument);
    }
    if (instruments) it.macros = {{9, "F0F001z"}, {10, "F0F000z"}, {9 + 16, "F0F00020"}};
    return it.build();
}

bool write(const std::string& folder, const std::string& name, const Bytes& bytes) {
    std::ofstream file(folder + "/" + name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return EXIT_BAD_USAGE;
    }
    const std::string folder = argv[1];
    struct Seed {
        std::string name;
        Bytes bytes;
    };
    std::vector<Seed> seeds = {
        {"linear.xm", xmwriter::write_xm(xm_module(true))},
        {"amiga.xm", xmwriter::write_xm(xm_module(false))},
        {"unsigned.s3m", s3m_module(2, true)},
        {"signed.s3m", s3m_module(1, false)},
        {"instruments.it", it_module(true, false)},
        {"samples-old-effects.it", it_module(false, true)},
    };
    const struct {
        const char* signature;
        int channels; // as stored: FLT8 keeps 4-channel patterns
    } signatures[] = {{"M.K.", 4},  {"M!K!", 4},  {"FLT4", 4}, {"OCTA", 8},
                      {"OKTA", 8},  {"CD81", 8},  {"FLT8", 4}, {"6CHN", 6},
                      {"12CH", 12}, {"10CN", 10}, {"TDZ3", 3}};
    for (const auto& s : signatures)
        seeds.push_back(
            {std::string("sig-") + s.signature + ".mod", mod_module(s.signature, s.channels)});

    // The refused variants stay seeds too: their neighbours are worth fuzzing.
    std::vector<Seed> refused;
    for (variant_seeds::Seed& v : variant_seeds::variant_seeds()) {
        if (!v.refusal) {
            seeds.push_back({v.name, std::move(v.bytes)});
            continue;
        }
        const replayer::ScanResult scan = replayer::module_prescan(v.bytes.data(), v.bytes.size());
        if (!scan.error || std::strcmp(scan.error, v.refusal) != 0) {
            std::fprintf(stderr, "%s: built seed not refused as meant: %s\n", v.name.c_str(),
                         scan.error ? scan.error : "it loads");
            return EXIT_FAILED;
        }
        refused.push_back({v.name, std::move(v.bytes)});
    }

    const size_t built = seeds.size();
    for (size_t i = 0; i < built; ++i) {
        const replayer::LoadResult loaded =
            replayer::load_module_checked(seeds[i].bytes.data(), seeds[i].bytes.size());
        if (!loaded.context) {
            std::fprintf(stderr, "%s: built seed refused: %s\n", seeds[i].name.c_str(),
                         loaded.error);
            return EXIT_FAILED;
        }
        seeds.push_back(
            {seeds[i].name + ".compact", compact_writer::write_compact(*loaded.context)});
        replayer::free_module(loaded.context);
    }
    seeds.insert(seeds.end(), refused.begin(), refused.end());
    for (const Seed& seed : seeds)
        if (!write(folder, seed.name, seed.bytes)) {
            std::fprintf(stderr, "%s/%s: cannot write\n", folder.c_str(), seed.name.c_str());
            return EXIT_FAILED;
        }
    return 0;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "module_builders.h"

#include <cstring>

namespace test_modules {

namespace {

void put16be(Bytes& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
void align16(Bytes& b) {
    b.resize((b.size() + 15) & ~size_t{15}, 0);
}

} // namespace

void ModBuilder::cell(int pattern, int row, int channel, ModCell c) {
    set_cells_.push_back({(static_cast<size_t>(pattern) * 64 + row) * channels + channel, c});
}

Bytes ModBuilder::build() const {
    Bytes b(1084, 0);
    std::memcpy(b.data(), "test module", 11);
    for (int i = 0; i < 31; ++i) {
        const size_t h = 20 + 30 * i;
        put16be(b, h + 22, samples[i].length_words);
        b[h + 24] = samples[i].finetune;
        b[h + 25] = samples[i].volume;
        put16be(b, h + 26, samples[i].loop_start_words);
        put16be(b, h + 28, samples[i].loop_length_words);
    }
    b[950] = song_length;
    b[951] = restart;
    std::memcpy(b.data() + 952, orders, 128);
    std::memcpy(b.data() + 1080, signature.data(), 4);
    const size_t pattern_bytes = static_cast<size_t>(patterns) * 64 * channels * 4;
    b.resize(1084 + pattern_bytes, 0);
    for (const auto& [index, c] : set_cells_) {
        const size_t at = 1084 + 4 * index;
        b[at] = static_cast<uint8_t>((c.instrument & 0xF0) | ((c.period >> 8) & 0x0F));
        b[at + 1] = static_cast<uint8_t>(c.period);
        b[at + 2] = static_cast<uint8_t>(((c.instrument & 0x0F) << 4) | (c.effect & 0x0F));
        b[at + 3] = c.parameter;
    }
    for (size_t k = 0; k < 31; ++k) {
        const bool given = k < sample_data.size() && !sample_data[k].empty();
        for (uint32_t i = 0; i < 2u * samples[k].length_words; ++i)
            b.push_back(given ? sample_data[k][i % sample_data[k].size()]
                              : static_cast<uint8_t>(i * 7));
    }
    if (fifteen_samples) {
        b.erase(b.begin() + 1080, b.begin() + 1084);
        b.erase(b.begin() + 20 + 30 * 15, b.begin() + 20 + 30 * 31);
    }
    return b;
}

ModBuilder fifteen_sample_module() {
    ModBuilder mod;
    mod.fifteen_samples = true;
    mod.patterns = 2;
    mod.song_length = 2;
    mod.orders[1] = 1;
    mod.samples[0] = {30, 0, 64, 0, 0};
    mod.samples[1] = {20, 0, 40, 10, 10};
    mod.cell(0, 0, 0, {428, 1, 0xC, 0x20});
    mod.cell(1, 63, 3, {214, 2, 0, 0});
    mod.cell(1, 0, 1, {0, 0, 0xF, 0x7D});
    return mod;
}

S3mBuilder::S3mBuilder() {
    std::memset(channel_settings, 255, sizeof channel_settings);
    const uint8_t first[4] = {0, 8, 1, 9};
    std::memcpy(channel_settings, first, 4);
}

Bytes S3mBuilder::build() const {
    Bytes b(96, 0);
    std::memcpy(b.data(), "test module", 11);
    b[28] = 0x1A;
    b[29] = 0x10;
    put16le(b, 32, static_cast<uint16_t>(orders.size()));
    put16le(b, 34, static_cast<uint16_t>(samples.size()));
    put16le(b, 36, static_cast<uint16_t>(patterns.size()));
    b[38] = flags;
    put16le(b, 40, tracker_version);
    put16le(b, 42, sample_format);
    std::memcpy(b.data() + 44, "SCRM", 4);
    b[48] = global_volume;
    b[49] = speed;
    b[50] = bpm;
    b[51] = master_volume;
    b[53] = panning_table ? 0xFC : 0;
    std::memcpy(b.data() + 64, channel_settings, 32);
    b.insert(b.end(), orders.begin(), orders.end());
    const size_t sample_pointers = b.size();
    b.resize(b.size() + 2 * samples.size(), 0);
    const size_t pattern_pointers = b.size();
    b.resize(b.size() + 2 * patterns.size(), 0);
    if (panning_table) b.insert(b.end(), default_panning, default_panning + 32);

    for (size_t k = 0; k < samples.size(); ++k) {
        const S3mSample& s = samples[k];
        align16(b);
        const size_t h = b.size();
        put16le(b, sample_pointers + 2 * k, static_cast<uint16_t>(h / 16));
        b.resize(h + 80, 0);
        b[h] = s.type;
        put32le(b, h + 16, s.length);
        put32le(b, h + 20, s.loop_start);
        put32le(b, h + 24, s.loop_end);
        b[h + 28] = s.volume;
        b[h + 30] = s.packing;
        b[h + 31] = s.flags;
        put32le(b, h + 32, s.c2_speed);
        std::memcpy(b.data() + h + 76, "SCRS", 4);
        align16(b);
        const size_t data = b.size();
        b[h + 13] = static_cast<uint8_t>((data / 16) >> 16);
        put16le(b, h + 14, static_cast<uint16_t>(data / 16));
        b.insert(b.end(), s.data.begin(), s.data.end());
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        align16(b);
        const size_t start = b.size();
        put16le(b, pattern_pointers + 2 * p, static_cast<uint16_t>(start / 16));
        b.resize(start + 2, 0);
        for (int row = 0; row < 64; ++row) {
            for (const S3mEntry& e : patterns[p]) {
                if (e.row != row) continue;
                uint8_t w = e.channel;
                if (e.note >= 0) w |= 0x20;
                if (e.volume >= 0) w |= 0x40;
                if (e.command >= 0) w |= 0x80;
                b.push_back(w);
                if (e.note >= 0) {
                    b.push_back(static_cast<uint8_t>(e.note));
                    b.push_back(static_cast<uint8_t>(e.instrument));
                }
                if (e.volume >= 0) b.push_back(static_cast<uint8_t>(e.volume));
                if (e.command >= 0) {
                    b.push_back(static_cast<uint8_t>(e.command));
                    b.push_back(static_cast<uint8_t>(e.info));
                }
            }
            b.push_back(0);
        }
        put16le(b, start, static_cast<uint16_t>(b.size() - start + pattern_length_adjust));
    }
    return b;
}

// ------------------------------------------------------------------- XM

xmwriter::Sample sample_8bit(std::vector<int16_t> frames) {
    xmwriter::Sample s;
    s.frames = std::move(frames);
    return s;
}

xmwriter::Instrument instrument_with(std::vector<xmwriter::Sample> samples) {
    xmwriter::Instrument ins;
    ins.samples = std::move(samples);
    return ins;
}

xmwriter::Module small_module() {
    xmwriter::Module m;
    m.channels = 1;
    m.orders = {0};
    xmwriter::Pattern p;
    p.rows = 4;
    p.cells.resize(4);
    p.cells[0] = {49, 1, 0, 0, 0};
    m.patterns.push_back(p);
    std::vector<int16_t> frames;
    for (int i = 0; i < 16; ++i) frames.push_back(static_cast<int16_t>(i * 8 - 64));
    m.instruments.push_back(instrument_with({sample_8bit(frames)}));
    return m;
}

xmwriter::Module module_with_empty_patterns(uint16_t count, uint16_t channels) {
    xmwriter::Module m;
    m.channels = channels;
    m.orders = {0};
    m.patterns.resize(count);
    return m;
}

} // namespace test_modules

// SPDX-License-Identifier: GPL-2.0-or-later
#include "it_writer.h"

#include <algorithm>
#include <cstring>

namespace test_modules {

namespace {

constexpr size_t HEADER = 0xC0, INSTRUMENT = 554, SAMPLE = 80;

// A bit stream written least significant bit first.
struct BitWriter {
    Bytes bytes;
    int used = 8;
    void put(uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (used == 8) {
                bytes.push_back(0);
                used = 0;
            }
            bytes.back() = static_cast<uint8_t>(bytes.back() | ((value >> i) & 1) << used++);
        }
    }
};

// The encoder moves between a short width (6), a middle one (8 or 16) and
// the full one (9 or 17), so every way of announcing a width is written.
struct Coder {
    int middle, top, change_bits;
    bool fits(int width, int32_t d) const {
        if (width == 6) return d >= -31 && d <= 31;
        if (width == middle) {
            const int32_t border = ((1 << middle) - 1) / 2 - middle / 2;
            const uint32_t v = static_cast<uint32_t>(d) & ((1u << middle) - 1);
            return !(v > static_cast<uint32_t>(border) &&
                     v <= static_cast<uint32_t>(border + middle));
        }
        return true;
    }
    void change(BitWriter& w, int from, int to) const {
        if (from == top) return w.put((1u << (top - 1)) | static_cast<uint32_t>(to - 1), top);
        const int code = to < from ? to : to - 1;
        if (from == middle)
            return w.put(static_cast<uint32_t>(((1 << middle) - 1) / 2 - middle / 2 + code),
                         middle);
        w.put(1u << 5, 6);
        w.put(static_cast<uint32_t>(code - 1), change_bits);
    }
};

} // namespace

ItBuilder::ItBuilder() {
    panning.fill(32);
    channel_volume.fill(64);
}

Bytes compress_it_sample(const std::vector<int16_t>& frames, bool sixteen_bit, bool twice) {
    const Coder coder = sixteen_bit ? Coder{16, 17, 4} : Coder{8, 9, 3};
    const size_t block = sixteen_bit ? 0x4000 : 0x8000;
    Bytes out;
    for (size_t start = 0; start < frames.size(); start += block) {
        BitWriter w;
        int width = coder.top;
        int32_t previous = 0, previous_delta = 0;
        for (size_t i = start; i < frames.size() && i < start + block; ++i) {
            int32_t d = frames[i] - previous;
            previous = frames[i];
            if (twice) {
                const int32_t dd = d - previous_delta;
                previous_delta = d;
                d = dd;
            }
            d = sixteen_bit ? static_cast<int16_t>(d) : static_cast<int8_t>(d);
            const int want = coder.fits(6, d)              ? 6
                             : coder.fits(coder.middle, d) ? coder.middle
                                                           : coder.top;
            if (want != width) coder.change(w, width, want);
            width = want;
            w.put(static_cast<uint32_t>(d) & ((1u << (width == coder.top ? width - 1 : width)) - 1),
                  width);
        }
        out.push_back(static_cast<uint8_t>(w.bytes.size()));
        out.push_back(static_cast<uint8_t>(w.bytes.size() >> 8));
        out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    }
    return out;
}

Bytes ItBuilder::build() const {
    const bool use_instruments = flags & 4;
    const size_t instrument_count = use_instruments ? instruments.size() : 0;
    Bytes b(HEADER, 0);
    std::memcpy(b.data(), "IMPMtest module", 15);
    put16le(b, 0x20, static_cast<uint16_t>(orders.size()));
    put16le(b, 0x22, static_cast<uint16_t>(instrument_count));
    put16le(b, 0x24, static_cast<uint16_t>(samples.size()));
    put16le(b, 0x26, static_cast<uint16_t>(patterns.size()));
    put16le(b, 0x28, format_version);
    put16le(b, 0x2A, format_version);
    put16le(b, 0x2C, flags);
    b[0x30] = global_volume;
    b[0x31] = mix_volume;
    b[0x32] = speed;
    b[0x33] = tempo;
    b[0x34] = separation;
    std::memcpy(b.data() + 0x40, panning.data(), 64);
    std::memcpy(b.data() + 0x80, channel_volume.data(), 64);
    b.insert(b.end(), orders.begin(), orders.end());
    const size_t pointers = b.size();
    b.resize(pointers + 4 * (instrument_count + samples.size() + patterns.size()), 0);
    auto pointer = [&](size_t index, size_t at) {
        put32le(b, pointers + 4 * index, static_cast<uint32_t>(at));
    };
    if (!macros.empty()) {
        constexpr size_t MACRO = 32, CONFIGURATION = (9 + 16 + 128) * MACRO;
        put16le(b, 0x2C, static_cast<uint16_t>(flags | 0x80));
        put16le(b, 0x2E, 8);
        const size_t at = b.size();
        b.resize(at + CONFIGURATION, 0);
        for (const auto& [index, text] : macros)
            std::memcpy(b.data() + at + MACRO * index, text.data(), std::min(text.size(), MACRO));
    }
    if (message) {
        put16le(b, 0x2E, static_cast<uint16_t>(b[0x2E] | 1));
        put16le(b, 0x36, static_cast<uint16_t>(std::strlen(message) + 1));
        put32le(b, 0x38, static_cast<uint32_t>(b.size()));
        b.insert(b.end(), message, message + std::strlen(message) + 1);
    }

    for (size_t k = 0; k < instrument_count; ++k) {
        const ItInstrument& in = instruments[k];
        const size_t h = b.size();
        pointer(k, h);
        b.resize(h + INSTRUMENT, 0);
        std::memcpy(b.data() + h, "IMPI", 4);
        b[h + 0x11] = in.new_note_action;
        put16le(b, h + 0x14, in.fadeout);
        b[h + 0x18] = in.global_volume;
        b[h + 0x19] = 32;
        b[h + 0x3A] = in.filter_cutoff;
        b[h + 0x3B] = in.filter_resonance;
        for (int n = 0; n < 120; ++n) {
            b[h + 0x40 + 2 * n] = static_cast<uint8_t>(std::clamp(n + in.transpose, 0, 119));
            b[h + 0x41 + 2 * n] = in.sample;
        }
        const ItEnvelope* envelopes[] = {&in.volume, &in.panning, &in.pitch};
        for (size_t e = 0; e < 3; ++e) {
            const size_t at = h + 0x130 + 0x52 * e;
            const ItEnvelope& env = *envelopes[e];
            b[at] = env.flags;
            b[at + 1] = static_cast<uint8_t>(env.nodes.size());
            b[at + 2] = env.loop_start;
            b[at + 3] = env.loop_end;
            b[at + 4] = env.sustain_start;
            b[at + 5] = env.sustain_end;
            for (size_t i = 0; i < env.nodes.size(); ++i) {
                b[at + 6 + 3 * i] = static_cast<uint8_t>(env.nodes[i].first);
                put16le(b, at + 7 + 3 * i, env.nodes[i].second);
            }
        }
    }
    std::vector<size_t> headers;
    for (size_t k = 0; k < samples.size(); ++k) {
        const ItSample& s = samples[k];
        const size_t h = b.size();
        headers.push_back(h);
        pointer(instrument_count + k, h);
        b.resize(h + SAMPLE, 0);
        std::memcpy(b.data() + h, "IMPS", 4);
        b[h + 0x11] = s.global_volume;
        b[h + 0x12] = s.flags;
        b[h + 0x13] = s.volume;
        b[h + 0x2E] = s.convert;
        b[h + 0x2F] = s.default_panning;
        const bool stereo = s.flags & 4;
        put32le(b, h + 0x30, static_cast<uint32_t>(s.frames.size() / (stereo ? 2 : 1)));
        put32le(b, h + 0x34, s.loop_start);
        put32le(b, h + 0x38, s.loop_end);
        put32le(b, h + 0x3C, s.c5_speed);
        put32le(b, h + 0x40, s.sustain_start);
        put32le(b, h + 0x44, s.sustain_end);
    }
    for (size_t k = 0; k < samples.size(); ++k) {
        const ItSample& s = samples[k];
        put32le(b, headers[k] + 0x48, static_cast<uint32_t>(b.size()));
        const bool sixteen_bit = s.flags & 2;
        if (s.flags & 8) {
            const size_t half = (s.flags & 4) ? s.frames.size() / 2 : s.frames.size();
            for (size_t side = 0; side * half < s.frames.size(); ++side) {
                const std::vector<int16_t> one(s.frames.begin() + side * half,
                                               s.frames.begin() + (side + 1) * half);
                const Bytes packed = compress_it_sample(one, sixteen_bit, s.convert & 4);
                b.insert(b.end(), packed.begin(), packed.end());
            }
            continue;
        }
        const int bias = (s.convert & 1) ? 0 : (sixteen_bit ? 0x8000 : 0x80);
        for (int16_t v : s.frames) {
            b.push_back(static_cast<uint8_t>(v + bias));
            if (sixteen_bit) b.push_back(static_cast<uint8_t>((v + bias) >> 8));
        }
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        const uint16_t row_count = p < rows.size() ? rows[p] : 64;
        const size_t h = b.size();
        pointer(instrument_count + samples.size() + p, h);
        b.resize(h + 8, 0);
        put16le(b, h + 2, row_count);
        for (int row = 0; row < row_count; ++row) {
            for (const ItEntry& e : patterns[p]) {
                if (e.row != row) continue;
                uint8_t mask = 0;
                if (e.note >= 0) mask |= 1;
                if (e.instrument >= 0) mask |= 2;
                if (e.volume >= 0) mask |= 4;
                if (e.command >= 0) mask |= 8;
                b.push_back(static_cast<uint8_t>((e.channel + 1) | 0x80));
                b.push_back(mask);
                if (e.note >= 0) b.push_back(static_cast<uint8_t>(e.note));
                if (e.instrument >= 0) b.push_back(static_cast<uint8_t>(e.instrument));
                if (e.volume >= 0) b.push_back(static_cast<uint8_t>(e.volume));
                if (e.command >= 0) {
                    b.push_back(static_cast<uint8_t>(e.command));
                    b.push_back(static_cast<uint8_t>(e.info));
                }
            }
            b.push_back(0);
        }
        put16le(b, h, static_cast<uint16_t>(b.size() - h - 8));
    }
    return b;
}

} // namespace test_modules

// SPDX-License-Identifier: GPL-2.0-or-later
// IT 2.14 / 2.15 compressed samples: blocks of a variable-width bit stream
// whose values are deltas, integrated once (2.14) or twice (2.15).
#include "it_layout.h"

namespace replayer::it {

namespace {

constexpr uint64_t BLOCK_LENGTH_BYTES = 2;
constexpr uint32_t BLOCK_FRAMES_8 = 0x8000;
constexpr uint32_t BLOCK_FRAMES_16 = 0x4000;
constexpr int EIGHT_BIT_SCALE = 256;

// Bits least significant first, out of one block's bytes (past them: 0).
struct BitReader {
    ByteReader bytes;
    uint64_t bit = 0;
    uint32_t read(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++bit)
            value |= uint32_t{(bytes.u8(bit >> 3) >> (bit & 7)) & 1u} << i;
        return value;
    }
};

// The widths of one sample size: values are `top` bits wide at most, and a
// width change is announced in one of three ways depending on the width.
struct Widths {
    int top;         // 9 for 8-bit samples, 17 for 16-bit ones
    int change_bits; // bits that follow the short-width marker
    int value_bits;  // 8 or 16
};
constexpr Widths WIDTHS_8 = {9, 3, 8};
constexpr Widths WIDTHS_16 = {17, 4, 16};

// A new width from a coded 1..top-1, skipping the current one.
int next_width(uint32_t coded, int width) {
    const int v = static_cast<int>(coded);
    return v < width ? v : v + 1;
}

int32_t sign_extend(uint32_t value, int bits) {
    const uint32_t sign = 1u << (bits - 1);
    return static_cast<int32_t>((value ^ sign) - sign);
}

} // namespace

uint64_t compressed_end(const ByteReader& in, uint64_t offset, uint32_t frames, bool sixteen_bit) {
    const uint32_t block_frames = sixteen_bit ? BLOCK_FRAMES_16 : BLOCK_FRAMES_8;
    for (uint32_t done = 0; done < frames && in.contains(offset); done += block_frames)
        offset += BLOCK_LENGTH_BYTES + in.u16le(offset);
    return offset;
}

uint64_t decode_compressed(int16_t* out, const ByteReader& in, uint64_t offset, uint32_t frames,
                           bool sixteen_bit, bool twice_integrated, bool average) {
    const Widths w = sixteen_bit ? WIDTHS_16 : WIDTHS_8;
    const uint32_t block_frames = sixteen_bit ? BLOCK_FRAMES_16 : BLOCK_FRAMES_8;
    uint32_t done = 0;
    while (done < frames && in.contains(offset)) {
        const uint16_t block_bytes = in.u16le(offset);
        offset += BLOCK_LENGTH_BYTES;
        BitReader bits{in.window(offset, offset + block_bytes)};
        offset += block_bytes;
        const uint32_t count = std::min(block_frames, frames - done);
        int width = w.top;
        int32_t once = 0, twice = 0;
        for (uint32_t i = 0; i < count;) {
            // A block that runs out of bits, or names a width no coder
            // writes, leaves its remaining frames silent.
            if (width < 1 || width > w.top || bits.bit >= 8ull * bits.bytes.length) break;
            const uint32_t v = bits.read(width);
            if (width <= 6) {
                if (v == 1u << (width - 1)) {
                    width = next_width(bits.read(w.change_bits) + 1, width);
                    continue;
                }
            } else if (width < w.top) {
                const uint32_t border = (((1u << w.value_bits) - 1) >> (w.top - width)) -
                                        static_cast<uint32_t>(w.value_bits / 2);
                if (v > border && v <= border + static_cast<uint32_t>(w.value_bits)) {
                    width = next_width(v - border, width);
                    continue;
                }
            } else if (v & (1u << w.value_bits)) {
                width = static_cast<int>((v + 1) & 0xFF);
                continue;
            }
            const int32_t delta =
                width < w.top ? sign_extend(v, width) : sign_extend(v, w.value_bits);
            once = sixteen_bit ? static_cast<int16_t>(once + delta)
                               : static_cast<int8_t>(once + delta);
            twice = sixteen_bit ? static_cast<int16_t>(twice + once)
                                : static_cast<int8_t>(twice + once);
            const int32_t value = twice_integrated ? twice : once;
            const auto frame = static_cast<int16_t>(sixteen_bit ? value : value * EIGHT_BIT_SCALE);
            int16_t& slot = out[done + i];
            slot = average ? static_cast<int16_t>((int32_t{slot} + frame) >> 1) : frame;
            ++i;
        }
        done += count;
    }
    return offset;
}

} // namespace replayer::it

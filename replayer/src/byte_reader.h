// The one bounded reader every loader uses: a byte at or past the end of the
// window reads as 0, so no module can make a loader read outside its bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace replayer {

struct ByteReader {
    const uint8_t* data;
    size_t length; // bytes readable from data

    uint8_t u8(uint64_t offset) const { return offset < length ? data[offset] : 0; }
    int8_t s8(uint64_t offset) const { return static_cast<int8_t>(u8(offset)); }
    uint16_t u16le(uint64_t offset) const {
        return static_cast<uint16_t>(u8(offset) | (u8(offset + 1) << 8));
    }
    uint16_t u16be(uint64_t offset) const {
        return static_cast<uint16_t>((u8(offset) << 8) | u8(offset + 1));
    }
    uint32_t u32le(uint64_t offset) const {
        return static_cast<uint32_t>(u16le(offset)) |
               (static_cast<uint32_t>(u16le(offset + 2)) << 16);
    }
    bool contains(uint64_t offset) const { return offset < length; }

    // How many of `count` values of `width` bytes each, from `offset` on, start
    // inside the bytes; every later one reads as zero bytes only.
    uint64_t values_inside(uint64_t offset, uint64_t width, uint64_t count) const {
        if (count == 0 || offset >= length) return 0;
        return std::min(count, (length - offset + width - 1) / width);
    }

    // A reader over [start, end) of this one, clipped to this one's bytes:
    // reads past `end` give 0 even where the module goes on.
    ByteReader window(uint64_t start, uint64_t end) const {
        if (start >= length || end <= start) return {data, 0};
        uint64_t stop = end < length ? end : length;
        return {data + start, static_cast<size_t>(stop - start)};
    }
};

// Stores the one value that every sample frame past the module's end decodes
// to. The context is zero-filled, so a zero value needs no stores: a short
// module that declares huge samples then costs neither time nor touched pages.
inline void fill_past_end(int16_t* out, uint64_t count, int16_t value) {
    if (value != 0) std::fill_n(out, count, value);
}

} // namespace replayer

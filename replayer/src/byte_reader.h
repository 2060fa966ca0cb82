// The one bounded reader every loader uses: a byte at or past the end of the
// window reads as 0, so no module can make a loader read outside its bytes.
#pragma once

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

    // A reader over [start, end) of this one, clipped to this one's bytes:
    // reads past `end` give 0 even where the module goes on.
    ByteReader window(uint64_t start, uint64_t end) const {
        if (start >= length || end <= start) return {data, 0};
        uint64_t stop = end < length ? end : length;
        return {data + start, static_cast<size_t>(stop - start)};
    }
};

} // namespace replayer

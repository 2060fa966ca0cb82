// SPDX-License-Identifier: GPL-2.0-or-later
// Little-endian output for the tools that write module files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ByteWriter {
    std::vector<uint8_t>& bytes; // appended to; owned by the caller

    void u8(uint8_t v) { bytes.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    // A fixed-width text field, zero-padded (or cut) to `width` bytes.
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    void append(const std::vector<uint8_t>& v) { bytes.insert(bytes.end(), v.begin(), v.end()); }
    // Pads (or cuts) what was written since `start` to exactly `size` bytes.
    void fit(size_t start, size_t size) { bytes.resize(start + size, 0); }

    // Overwrites bytes already written.
    void put8(size_t at, uint8_t v) { bytes[at] = v; }
    void put16(size_t at, uint16_t v) {
        put8(at, static_cast<uint8_t>(v));
        put8(at + 1, static_cast<uint8_t>(v >> 8));
    }
    void put32(size_t at, uint32_t v) {
        put16(at, static_cast<uint16_t>(v));
        put16(at + 2, static_cast<uint16_t>(v >> 16));
    }
};

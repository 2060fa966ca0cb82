// SPDX-License-Identifier: GPL-2.0-or-later
// The MOD file layout: where its parts lie, as named offsets, and the
// readers the prescan and the loader share.
#pragma once

#include "formats.h"

// Where a MOD keeps its parts (big-endian), for the recognition, the prescan
// and the loader alike. The 31-sample layout carries a signature; the oldest,
// 15-sample one has none, and its song and patterns sit earlier.
namespace replayer::mod {

struct Layout {
    uint8_t samples;      // sample headers, one instrument each
    uint64_t song_length; // the song length byte; the restart byte follows
    uint64_t orders;      // ORDER_COUNT order entries
    uint64_t patterns;    // the first pattern
};
inline constexpr Layout LAYOUT_31 = {31, 950, 952, 1084};
inline constexpr Layout LAYOUT_15 = {15, 470, 472, 600};

inline const Layout& layout_of(uint8_t format) {
    return format == FORMAT_MOD_15 ? LAYOUT_15 : LAYOUT_31;
}

inline constexpr uint64_t TITLE = 0;
inline constexpr uint64_t TITLE_BYTES = 20;
inline constexpr uint64_t SIGNATURE = 1080; // 4 bytes, 31-sample layout only
inline constexpr int ORDER_COUNT = 128;
inline constexpr uint32_t ROWS = 64;
inline constexpr uint64_t CELL_BYTES = 4;

// Sample header i at SAMPLE_HEADERS + SAMPLE_HEADER_BYTES x i.
inline constexpr uint64_t SAMPLE_HEADERS = 20;
inline constexpr uint64_t SAMPLE_HEADER_BYTES = 30;
inline constexpr uint64_t SAMPLE_NAME_BYTES = 22; // the name opens the header
inline constexpr uint64_t SAMPLE_LENGTH = 22;     // u16 words
inline constexpr uint64_t SAMPLE_FINETUNE = 24;
inline constexpr uint64_t SAMPLE_VOLUME = 25;
inline constexpr uint64_t SAMPLE_LOOP_START = 26;  // u16 words
inline constexpr uint64_t SAMPLE_LOOP_LENGTH = 28; // u16 words

inline uint64_t sample_header(int i) {
    return SAMPLE_HEADERS + SAMPLE_HEADER_BYTES * static_cast<uint64_t>(i);
}

// Bytes of data the file stores for sample i: its whole length, loop or not.
inline uint64_t sample_bytes(const ByteReader& in, int i) {
    return 2u * uint64_t{in.u16be(sample_header(i) + SAMPLE_LENGTH)};
}

inline constexpr uint64_t PATTERN_BYTES_PER_CHANNEL = ROWS * CELL_BYTES;
inline constexpr uint8_t FIFTEEN_SAMPLE_CHANNELS = 4;

inline bool is_15_sample(const Layout& layout) {
    return layout.samples == LAYOUT_15.samples;
}

// The part of one sample the context keeps, in frames. A looped sample keeps
// only the data up to its loop end; in the 15-sample layout its loop start
// counts bytes, and it plays its loop alone, from the loop start on.
struct SampleShape {
    uint32_t stored;
    uint32_t loop_length;
    uint32_t first = 0; // the frame of the file's data the kept part starts at
};

SampleShape sample_shape(const ByteReader& in, const Layout& layout, int i);

// The highest of the first `orders` order entries.
uint8_t highest_order(const ByteReader& in, const Layout& layout, int orders = ORDER_COUNT);

// How many 64-row patterns the file stores: up to the highest entry of all
// ORDER_COUNT orders, whatever the song length says. The 15-sample trackers
// stored only the patterns the song plays, so there the entries past the song
// length count only when the file is long enough to hold what they name.
uint32_t stored_patterns(const ByteReader& in, const Layout& layout);

} // namespace replayer::mod

// SPDX-License-Identifier: GPL-2.0-or-later
// Internal interface of module loading: the one bounded byte reader, format
// recognition and the prescan of every format, the loaders that fill a context
// sized from the prescan, the conversions they share and the clean-up pass that
// ends every load. Each format's file layout is in its own header beside its
// loader (xm_layout.h, mod_layout.h, s3m_layout.h, compact_layout.h).
//
// Each prescan fills the counts of its format into `scan` (format already set)
// and returns null, or returns the reason the module is refused. Each loader
// receives the zero-filled context with its header pointers set from the scan;
// it returns null, or the reason the module is refused (only the compact
// reader, which does not trust its image, refuses anything at this stage).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "quillrun/replayer.h"

namespace replayer {

// ------------------------------------------------------------ byte reader

// A byte at or past the end of the window reads as 0, so no module can make a
// loader read outside its bytes.
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

// ------------------------------------------------------------ sample data

// How one channel of a sample's frames is stored in the file.
enum class SampleCoding : uint8_t {
    DELTA_8,  // XM: 8-bit deltas of a running value
    DELTA_16, // XM: 16-bit little-endian deltas of a running value
    PCM_8,    // S3M: 8-bit values
    PCM_16,   // S3M: 16-bit little-endian values
    ADPCM_4,  // a table of 16 signed 8-bit deltas, then one 4-bit table index
              // per frame, two to a byte, low nibble first; the deltas add up
              // to a running 8-bit value that starts at 0
};

struct SampleSource {
    SampleCoding coding;
    uint64_t offset;      // first byte of this channel's data
    bool unsigned_values; // PCM: stored with a bias of half the range
};

inline constexpr uint64_t ADPCM_TABLE_BYTES = 16;

// Bytes an ADPCM sample of `frames` frames takes in the file.
inline uint64_t adpcm_bytes(uint64_t frames) {
    return ADPCM_TABLE_BYTES + (frames + 1) / 2;
}

// Decodes the first `frames` frames of one channel into `out`. Bytes past the
// module's end read as 0; where that makes every later frame one value, the
// zero-filled context is not touched for a zero value (see fill_past_end).
void decode_sample(int16_t* out, const ByteReader& in, const SampleSource& source, uint32_t frames);

// A stereo sample stores all its left frames, then all its right ones. The
// engine plays one frame per position, so each frame is the mean of the two:
// a sound on one side only is kept (at half its level) rather than dropped.
void decode_stereo_sample(int16_t* out, const ByteReader& in, const SampleSource& left,
                          const SampleSource& right, uint32_t frames);

// Both formats know 4-bit ADPCM only for 8-bit mono samples.
inline constexpr char REFUSED_WIDE_ADPCM[] = "4-bit ADPCM sample marked 16-bit or stereo";

// ------------------------------------------------------- prescan and load

const char* prescan_xm(const ByteReader& in, ModuleScan& scan);
const char* prescan_mod(const ByteReader& in, ModuleScan& scan);
const char* prescan_s3m(const ByteReader& in, ModuleScan& scan);
const char* prescan_compact(const ByteReader& in, ModuleScan& scan);
const char* prescan_it(const ByteReader& in, ModuleScan& scan);

const char* load_xm(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_mod(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_s3m(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_compact(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_it(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);

// What a song starts at when its file gives no speed or BPM (or none usable).
inline constexpr uint8_t DEFAULT_SPEED = 6; // ticks per row
inline constexpr uint8_t DEFAULT_BPM = 125;

// Order lists of S3M and IT, from byte `orders` on: 254 marks an entry to
// skip; 255 ends a song, and the orders after it hold further songs (a
// tracker plays only the first; players offer the others), which fill what
// room the order table has left.
struct OrderCount {
    uint16_t song_length;       // entries kept, 0..256
    bool names_missing_pattern; // an entry names a pattern the file lacks
    bool first_song_too_long;   // the first song alone has more than 256
};
OrderCount count_orders(const ByteReader& in, uint64_t orders, uint16_t order_count,
                        uint16_t pattern_count);

// Fills the order table with the entries count_orders kept (one added empty
// pattern, right after the file's, stands in for missing ones) and marks the
// song breaks.
void fill_orders(ReplayContext& ctx, const ByteReader& in, uint64_t orders, uint16_t order_count,
                 uint16_t pattern_count);

// Sets a sample's finetune and relative note from the rate at which it plays
// middle C (S3M's C-4, IT's C-5); 0 leaves it unshifted. They hold it to a
// sixteenth of a semitone; IT keeps the rest in fine_pitch.
void set_middle_c_pitch(SampleRecord& sample, uint32_t hz, bool keep_fine_pitch = false);

// Rewrites a raw XM/MOD effect (0..15) and parameter into internal codes.
void convert_effect(PatternSlot& slot);

// Decides, on a loaded MOD ready to play, whether its Fxx from 0x20 up set
// the speed (the trackers before ProTracker) rather than the tempo.
void settle_mod_timing(ReplayContext& ctx, const ByteReader& in);

// ---------------------------------------------------------------- envelopes

// Bits of a file's envelope type byte.
inline constexpr uint8_t ENVELOPE_TYPE_ON = 1;
inline constexpr uint8_t ENVELOPE_TYPE_SUSTAIN = 2;
inline constexpr uint8_t ENVELOPE_TYPE_LOOP = 4;

// Makes `envelope` safe for playback: either off (all zero) or 1..25 points
// with strictly increasing frames, a sustain point that exists or
// SUSTAIN_NONE, and a loop that is absent (0, 0) or lies inside the points.
void sanitize_envelope(EnvelopeRecord& envelope, uint8_t type);

// -------------------------------------------------------------- clean-up

// Cleans effect parameters that playback must never see (out-of-range jumps and
// volumes, zero parameters of effects that would divide or never fire).
void post_pass(ReplayContext& ctx);

// ----------------------------------------------------------- XM loader parts

// Unpacks the file's patterns into consecutive rows of the slot array,
// advancing ctx.total_rows; returns the offset where the instruments start.
uint64_t load_xm_patterns(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in,
                          uint16_t pattern_count);

// Reads the instruments from `offset` on: envelopes, sample maps, sample
// records and sample data, advancing ctx.sample_count and
// ctx.total_sample_frames.
void load_xm_instruments(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in,
                         uint64_t offset);

} // namespace replayer

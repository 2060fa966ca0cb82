// SPDX-License-Identifier: GPL-2.0-or-later
// Internal interface of module loading: the one bounded byte reader, format
// recognition and the prescan of every format, the loaders that fill a context
// sized from the prescan, the conversions they share, the clean-up pass that
// ends every load, and the file layouts the prescans and loaders both walk.
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

const char* load_xm(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_mod(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_s3m(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_compact(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);

// What a song starts at when its file gives no speed or BPM (or none usable).
inline constexpr uint8_t DEFAULT_SPEED = 6; // ticks per row
inline constexpr uint8_t DEFAULT_BPM = 125;

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

// Makes `envelope` safe for playback: either off (all zero) or 1..12 points
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

// -------------------------------------------------------------- XM layout

// The prescan (which sizes the context) and the loader (which fills it) both
// step through patterns, instruments and samples with these helpers, so they
// cannot disagree about where a record starts or how many frames a sample keeps.
namespace replayer::xm {

// Module header.
inline constexpr uint64_t VERSION_OFFSET = 58;     // u16
inline constexpr uint16_t VERSION = 0x0104;        // the one version read
inline constexpr uint64_t HEADER_SIZE_OFFSET = 60; // u32, counted from offset 60
inline constexpr uint64_t SONG_LENGTH_OFFSET = 64;
inline constexpr uint64_t RESTART_OFFSET = 66;
inline constexpr uint64_t CHANNELS_OFFSET = 68;
inline constexpr uint64_t PATTERNS_OFFSET = 70;
inline constexpr uint64_t INSTRUMENTS_OFFSET = 72;
inline constexpr uint64_t FLAGS_OFFSET = 74;
inline constexpr uint64_t SPEED_OFFSET = 76;
inline constexpr uint64_t BPM_OFFSET = 78;
inline constexpr uint64_t ORDERS_OFFSET = 80;
inline constexpr uint16_t FLAG_LINEAR_FREQUENCIES = 1;

inline constexpr uint16_t MAX_CHANNELS = 255;
inline constexpr uint16_t MAX_PATTERNS = 256;
inline constexpr uint16_t MAX_INSTRUMENTS = 255;
inline constexpr uint16_t MAX_SONG_LENGTH = ORDER_TABLE_SIZE;
inline constexpr uint16_t MAX_ROWS = MAX_PATTERN_ROWS;
inline constexpr uint16_t MAX_SAMPLES_PER_INSTRUMENT = 255;
inline constexpr uint16_t EMPTY_PATTERN_ROWS = 64;
inline constexpr uint8_t MAX_SPEED = 31;
inline constexpr uint8_t MAX_BPM = 255;

// Pattern header.
inline constexpr uint64_t PATTERN_ROWS_OFFSET = 5;        // u16
inline constexpr uint64_t PATTERN_PACKED_SIZE_OFFSET = 7; // u16

// Instrument header.
inline constexpr uint64_t INSTRUMENT_SAMPLES_OFFSET = 27; // u16
inline constexpr uint64_t SAMPLE_MAP_OFFSET = 33;
inline constexpr uint64_t VOLUME_POINTS_OFFSET = 129;
inline constexpr uint64_t PANNING_POINTS_OFFSET = 177;
inline constexpr uint64_t ENVELOPE_POINT_BYTES = 4;
inline constexpr uint64_t VOLUME_COUNT_OFFSET = 225;
inline constexpr uint64_t PANNING_COUNT_OFFSET = 226;
inline constexpr uint64_t VOLUME_SUSTAIN_OFFSET = 227; // then loop start, loop end
inline constexpr uint64_t PANNING_SUSTAIN_OFFSET = 230;
inline constexpr uint64_t VOLUME_TYPE_OFFSET = 233;
inline constexpr uint64_t PANNING_TYPE_OFFSET = 234;
inline constexpr uint64_t VIBRATO_TYPE_OFFSET = 235; // then sweep, depth, rate
inline constexpr uint64_t FADEOUT_OFFSET = 239;      // u16

// Sample header: always 40 bytes, whatever the instrument header declares.
inline constexpr uint64_t SAMPLE_HEADER_BYTES = 40;
inline constexpr uint64_t SAMPLE_LOOP_START_OFFSET = 4;
inline constexpr uint64_t SAMPLE_LOOP_LENGTH_OFFSET = 8;
inline constexpr uint64_t SAMPLE_VOLUME_OFFSET = 12;
inline constexpr uint64_t SAMPLE_FINETUNE_OFFSET = 13;
inline constexpr uint64_t SAMPLE_TYPE_OFFSET = 14;
inline constexpr uint64_t SAMPLE_PANNING_OFFSET = 15;
inline constexpr uint64_t SAMPLE_RELATIVE_NOTE_OFFSET = 16;
inline constexpr uint64_t SAMPLE_PACKING_OFFSET = 17; // reserved in the format
inline constexpr uint8_t SAMPLE_LOOP_BITS = 3;
inline constexpr uint8_t SAMPLE_PINGPONG_BIT = 2;
inline constexpr uint8_t SAMPLE_16BIT_BIT = 0x10;
inline constexpr uint8_t SAMPLE_STEREO_BIT = 0x20;
inline constexpr uint8_t SAMPLE_PACKING_ADPCM = 0xAD; // 4-bit ADPCM data

// The playback position has 20 integer bits; a ping-pong loop needs one more
// for its backward half.
inline constexpr uint32_t MAX_SAMPLE_FRAMES = 0xFFFFF;
inline constexpr uint32_t MAX_PINGPONG_FRAMES = 0x7FFFF;

struct PatternHeader {
    uint64_t data_start; // first packed byte
    uint64_t data_end;   // one past the last packed byte; the next header starts here
    uint16_t rows;       // effective rows: 64 for an empty pattern or a row count of 0
    bool empty;          // no packed data
    bool rows_too_many;  // packed data with more rows than a pattern may have
};

inline PatternHeader read_pattern_header(const ByteReader& in, uint64_t p) {
    PatternHeader h{};
    const uint16_t rows = in.u16le(p + PATTERN_ROWS_OFFSET);
    const uint16_t packed = in.u16le(p + PATTERN_PACKED_SIZE_OFFSET);
    h.data_start = p + in.u32le(p);
    h.data_end = h.data_start + packed;
    h.empty = packed == 0;
    h.rows = (h.empty || rows == 0) ? EMPTY_PATTERN_ROWS : rows;
    h.rows_too_many = !h.empty && rows > MAX_ROWS;
    return h;
}

// Where the patterns end and the first instrument begins; the loader and the
// prescan both need it before touching instruments.
inline uint64_t first_pattern_offset(const ByteReader& in) {
    return HEADER_SIZE_OFFSET + in.u32le(HEADER_SIZE_OFFSET);
}

// The instrument header [start, end): its fields are read within it.
struct InstrumentHeader {
    ByteReader fields; // bytes at or past the header's end read as 0
    uint64_t end;      // sample headers start here
    uint16_t samples;  // declared sample count
};

inline InstrumentHeader read_instrument_header(const ByteReader& in, uint64_t p) {
    InstrumentHeader h{};
    h.end = p + in.u32le(p);
    h.fields = in.window(p, h.end);
    h.samples = h.fields.u16le(INSTRUMENT_SAMPLES_OFFSET);
    return h;
}

// What a sample header says, and how much of its data the context keeps.
// Lengths and loop points count bytes of plain data: a 16-bit sample has two
// per frame, a stereo one two channels' worth (left frames, then right ones);
// a 4-bit ADPCM sample counts its frames, as plain 8-bit data would take.
struct SampleGeometry {
    uint64_t data_bytes;    // bytes of data the file stores for this sample
    uint64_t right_channel; // stereo: where the right frames start, from the data's start
    uint32_t stored_frames; // frames kept: the whole sample, or up to the loop end
    uint32_t loop_frames;   // frames in the loop, 0 = none
    uint32_t frame_limit;   // most frames the engine can address for this sample
    bool sixteen_bit;
    bool stereo;
    bool adpcm;
    bool pingpong;
};

inline SampleGeometry read_sample_geometry(const ByteReader& in, uint64_t q) {
    const uint64_t length = in.u32le(q);
    const uint64_t loop_start_raw = in.u32le(q + SAMPLE_LOOP_START_OFFSET);
    const uint64_t loop_length_raw = in.u32le(q + SAMPLE_LOOP_LENGTH_OFFSET);
    const uint8_t type = in.u8(q + SAMPLE_TYPE_OFFSET);
    // A loop type with an empty loop is no loop at all: keeping only the part
    // up to the loop start would throw the rest of the sound away.
    const bool looped = (type & SAMPLE_LOOP_BITS) != 0 && loop_length_raw != 0;

    SampleGeometry g{};
    g.sixteen_bit = (type & SAMPLE_16BIT_BIT) != 0;
    g.stereo = (type & SAMPLE_STEREO_BIT) != 0;
    g.adpcm = in.u8(q + SAMPLE_PACKING_OFFSET) == SAMPLE_PACKING_ADPCM;
    g.pingpong = looped && (type & SAMPLE_PINGPONG_BIT) != 0;
    g.data_bytes = g.adpcm ? adpcm_bytes(length) : length;
    uint64_t stored = length, loop = 0;
    if (looped) {
        // 64-bit sums: a start and length near 2^32 must not wrap into range.
        const uint64_t loop_start = loop_start_raw < length ? loop_start_raw : length;
        loop = loop_start + loop_length_raw <= length ? loop_length_raw : 0;
        stored = loop_start + loop; // the stored part ends at the loop end
    }
    const int shift = (g.sixteen_bit ? 1 : 0) + (g.stereo ? 1 : 0);
    if (!g.adpcm) {
        stored >>= shift;
        loop >>= shift;
    }
    g.right_channel = (length >> shift) << (g.sixteen_bit ? 1 : 0);
    g.stored_frames = static_cast<uint32_t>(stored);
    g.loop_frames = static_cast<uint32_t>(loop);
    g.frame_limit = g.pingpong ? MAX_PINGPONG_FRAMES : MAX_SAMPLE_FRAMES;
    return g;
}

} // namespace replayer::xm

// ------------------------------------------------------------- MOD layout

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

// ------------------------------------------------------------- S3M layout

// The file layout and the steps that turn packed patterns into slots.
namespace replayer::s3m {

inline constexpr uint64_t ORDER_COUNT = 32;      // u16
inline constexpr uint64_t INSTRUMENT_COUNT = 34; // u16
inline constexpr uint64_t PATTERN_COUNT = 36;    // u16
inline constexpr uint64_t FLAGS = 38;
inline constexpr uint64_t TRACKER_VERSION = 40; // u16
inline constexpr uint64_t SAMPLE_FORMAT = 42;   // u16, 1 = signed
inline constexpr uint64_t GLOBAL_VOLUME = 48;
inline constexpr uint64_t INITIAL_SPEED = 49;
inline constexpr uint64_t INITIAL_BPM = 50;
inline constexpr uint64_t MASTER_VOLUME = 51; // bit 7: stereo
inline constexpr uint64_t PANNING_MARKER = 53;
inline constexpr uint64_t CHANNEL_SETTINGS = 64;
inline constexpr uint64_t ORDERS = 96;

inline constexpr int CHANNELS = 32;            // channel-setting bytes
inline constexpr uint8_t PLAYED_SETTINGS = 16; // settings 0..15 are played
inline constexpr uint8_t FIRST_RIGHT_SETTING = 8;
inline constexpr uint8_t ORDER_END = 255;
inline constexpr uint8_t ORDER_SKIP = 254;
inline constexpr uint32_t ROWS = 64;
inline constexpr uint64_t PARAGRAPH = 16; // parapointers count 16-byte units

// Where the parapointer tables start, from the header counts.
struct Layout {
    uint16_t order_count;
    uint16_t instrument_count;
    uint16_t pattern_count; // as in the file, without an added pattern
    uint64_t instrument_pointers() const { return ORDERS + order_count; }
    uint64_t pattern_pointers() const { return instrument_pointers() + 2u * instrument_count; }
    uint64_t default_panning() const { return pattern_pointers() + 2u * pattern_count; }
};

Layout read_layout(const ByteReader& in);

// The S3M channel each internal channel plays, and back: internal channel of
// every S3M channel, or NO_CHANNEL when it is not played.
inline constexpr uint8_t NO_CHANNEL = 0xFF;
struct ChannelMap {
    uint8_t internal[CHANNELS]; // per S3M channel
    uint8_t setting[CHANNELS];  // per S3M channel, as stored
    uint8_t count;
};

ChannelMap read_channel_map(const ByteReader& in);

// Decodes pattern `index` (64 rows) into `slots` (64 x channel count, zeroed).
void load_pattern(const ByteReader& in, const Layout& layout, const ChannelMap& map, uint16_t index,
                  PatternSlot* slots);

// Rewrites SBy pattern loops of one decoded pattern into the engine's loop
// effects, placed where a free slot allows.
void rework_loops(PatternSlot* slots, uint8_t channel_count);

} // namespace replayer::s3m

// -------------------------------------------------------- compact reader

// Where the sections lie, and the checks that keep a hand-made or damaged
// image from steering playback out of bounds.
namespace replayer::compact {

// Section positions and record strides, in bytes from the start of the image.
struct Sections {
    uint64_t patterns, slots, instruments, samples, sample_data, orders, end;
    uint32_t pattern_stride, slot_stride, instrument_stride, sample_stride;
};

// Works out the sections from the header and the counts; returns the reason
// the layout is unusable, or null.
const char* locate_sections(const ByteReader& in, const ModuleScan& scan, Sections& out);

// Each returns the reason the loaded record is refused, or null.
const char* check_pattern(const PatternRecord& pattern, uint32_t total_rows);
const char* check_sample(const SampleRecord& sample, uint32_t total_frames);
const char* check_orders(const ReplayContext& ctx);

// A stored float frame as a 16-bit frame: truncated toward zero, clamped to
// the 16-bit range, NaN as silence.
int16_t frame_from_float(float value);

} // namespace replayer::compact

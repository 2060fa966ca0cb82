// SPDX-License-Identifier: GPL-2.0-or-later
// The S3M file layout: where its parts lie, as named offsets, and the
// readers the prescan and the loader share.
#pragma once

#include "formats.h"

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

// SPDX-License-Identifier: GPL-2.0-or-later
// Which kind of MOD a file is (its signature, an 8-channel module tagged as a
// 4-channel one, the 15-sample layout without a signature) and what its
// context must hold.
#include <cstring>

#include "mod_layout.h"

namespace replayer {

namespace {

using namespace mod;

constexpr uint8_t FOUR_CHANNELS = 4;
constexpr uint8_t EIGHT_CHANNELS = 8;

// Signatures that name a channel count and the plain layout (FLT8 pairs its
// patterns). Some trackers tagged 8-channel modules "M.K." as well.
struct Signature {
    char text[5];
    uint8_t channels; // 0: no signature that names a layout
    ModuleFormat format;
    bool may_hide_eight_channels = false;
};
constexpr Signature PLAIN_SIGNATURES[] = {
    {"M.K.", 4, FORMAT_MOD, true}, {"M!K!", 4, FORMAT_MOD}, {"M&K!", 4, FORMAT_MOD},
    {"FLT4", 4, FORMAT_MOD},       {"FA04", 4, FORMAT_MOD}, {"FA06", 6, FORMAT_MOD},
    {"CD61", 6, FORMAT_MOD},       {"OCTA", 8, FORMAT_MOD}, {"OKTA", 8, FORMAT_MOD},
    {"CD81", 8, FORMAT_MOD},       {"FA08", 8, FORMAT_MOD}, {"FLT8", 8, FORMAT_MOD_FLT8},
};

bool is_digit(uint8_t c, char low) {
    return c >= low && c <= '9';
}

Signature read_signature(const ByteReader& in) {
    uint8_t s[4];
    for (int i = 0; i < 4; ++i) s[i] = in.u8(SIGNATURE + i);
    for (const Signature& p : PLAIN_SIGNATURES)
        if (std::memcmp(s, p.text, 4) == 0) return p;
    if (is_digit(s[0], '1') && s[1] == 'C' && s[2] == 'H' && s[3] == 'N')
        return {"", static_cast<uint8_t>(s[0] - '0'), FORMAT_MOD};
    if (is_digit(s[0], '1') && is_digit(s[1], '0') && s[2] == 'C' && (s[3] == 'H' || s[3] == 'N'))
        return {"", static_cast<uint8_t>(10 * (s[0] - '0') + (s[1] - '0')), FORMAT_MOD};
    if (s[0] == 'T' && s[1] == 'D' && s[2] == 'Z' && is_digit(s[3], '1'))
        return {"", static_cast<uint8_t>(s[3] - '0'), FORMAT_MOD};
    return {"", 0, FORMAT_MOD};
}

// Bytes a module of the layout takes with `channels` channels: header,
// patterns up to the highest order entry, and every sample's full data.
uint64_t module_bytes(const ByteReader& in, const Layout& layout, uint8_t channels) {
    uint64_t bytes = layout.patterns;
    bytes += (highest_order(in, layout) + uint64_t{1}) * ROWS * channels * CELL_BYTES;
    for (int i = 0; i < layout.samples; ++i) bytes += sample_bytes(in, i);
    return bytes;
}

// An 8-channel module under the 4-channel tag is taken for 8 channels only
// with every mark the trackers that wrote them left:
// its size is that of 8-channel patterns to the byte (or one byte more), its
// restart byte is 0, no sample has a finetune and every sample with data has
// full volume. Any other "M.K." module stays 4 channels, as it always loaded.
bool eight_channels_tagged_as_four(const ByteReader& in) {
    if (in.u8(LAYOUT_31.song_length + 1) != 0) return false;
    for (int i = 0; i < LAYOUT_31.samples; ++i) {
        const uint64_t h = sample_header(i);
        if (in.u8(h + SAMPLE_FINETUNE) != 0) return false;
        if (sample_bytes(in, i) != 0 && in.u8(h + SAMPLE_VOLUME) != MAX_VOLUME) return false;
    }
    const uint64_t size = module_bytes(in, LAYOUT_31, EIGHT_CHANNELS);
    return in.length == size || in.length == size + 1;
}

// The 15-sample layout has no signature, so a file is taken for one only on
// the evidence its trackers left in every field they wrote: no finetune
// (those trackers had none), volumes at most 64, samples of at most 64 KiB
// whose loops start within them (counted in bytes), a song of 1 to 128 orders
// naming patterns 0..63, some sample data, pattern cells whose sample numbers
// fit in four bits (the bits 31-sample trackers added stay 0), and a file that
// holds its patterns and every sample but the last, which may be cut short.
// Names are no evidence: real files hold any bytes in them.
constexpr uint16_t MAX_SAMPLE_WORDS = 0x8000;
constexpr uint8_t MAX_15_SAMPLE_PATTERNS = 64;
constexpr uint8_t SAMPLE_NUMBER_HIGH_BITS = 0xF0; // of a cell's first byte

bool plausible_15_sample_header(const ByteReader& in, int i) {
    const uint64_t h = sample_header(i);
    const uint16_t length = in.u16be(h + SAMPLE_LENGTH);
    if (in.u8(h + SAMPLE_FINETUNE) != 0 || in.u8(h + SAMPLE_VOLUME) > MAX_VOLUME ||
        length > MAX_SAMPLE_WORDS)
        return false;
    // An empty sample's loop fields were never looked at; some files hold
    // leftovers there.
    return length == 0 || (in.u16be(h + SAMPLE_LOOP_START) <= 2u * length &&
                           in.u16be(h + SAMPLE_LOOP_LENGTH) <= MAX_SAMPLE_WORDS);
}

bool cells_name_15_samples(const ByteReader& in, uint64_t from, uint64_t to) {
    for (uint64_t at = from; at < to; at += CELL_BYTES)
        if (in.u8(at) & SAMPLE_NUMBER_HIGH_BITS) return false;
    return true;
}

enum class Fifteen { NO, SHORT, YES };

// A file that passes every check but its length is a 15-sample module cut
// short before its last sample: it is refused as that, which says more than
// "unrecognised".
Fifteen fifteen_sample_module(const ByteReader& in) {
    const Layout& layout = LAYOUT_15;
    uint64_t sample_data = 0, before_last = 0;
    for (int i = 0; i < layout.samples; ++i) {
        if (!plausible_15_sample_header(in, i)) return Fifteen::NO;
        if (sample_bytes(in, i) != 0) before_last = sample_data;
        sample_data += sample_bytes(in, i);
    }
    const uint8_t song_length = in.u8(layout.song_length);
    if (sample_data == 0 || song_length < 1 || song_length > ORDER_COUNT ||
        highest_order(in, layout, song_length) >= MAX_15_SAMPLE_PATTERNS)
        return Fifteen::NO;
    const uint64_t patterns_end = layout.patterns + uint64_t{stored_patterns(in, layout)} *
                                                        FIFTEEN_SAMPLE_CHANNELS *
                                                        PATTERN_BYTES_PER_CHANNEL;
    if (!cells_name_15_samples(in, layout.patterns, patterns_end)) return Fifteen::NO;
    return in.length >= patterns_end + before_last ? Fifteen::YES : Fifteen::SHORT;
}

} // namespace

const char* prescan_mod(const ByteReader& in, ModuleScan& scan) {
    Signature signature = read_signature(in);
    if (signature.channels == 0) {
        switch (fifteen_sample_module(in)) {
        case Fifteen::NO:
            return "unrecognised module format";
        case Fifteen::SHORT:
            return "15-sample module shorter than its patterns and samples";
        case Fifteen::YES:
            signature = {"", FOUR_CHANNELS, FORMAT_MOD_15};
            break;
        }
    } else if (signature.may_hide_eight_channels && eight_channels_tagged_as_four(in)) {
        signature.channels = EIGHT_CHANNELS;
    }
    const Layout& layout = layout_of(signature.format);
    scan.format = signature.format;
    scan.channel_count = signature.channels;
    scan.instrument_count = layout.samples;
    scan.sample_count = layout.samples;
    uint64_t frames = 0;
    for (int i = 0; i < layout.samples; ++i) frames += sample_shape(in, layout, i).stored;
    scan.total_sample_frames = static_cast<uint32_t>(frames);
    scan.song_length = in.u8(layout.song_length);
    uint32_t patterns = stored_patterns(in, layout);
    if (signature.format == FORMAT_MOD_FLT8) patterns = (patterns + 1) >> 1;
    scan.pattern_count = static_cast<uint16_t>(patterns);
    scan.total_rows = ROWS * patterns;
    // The 15-sample recognition has bounded the file's length already.
    if (!is_15_sample(layout) && frames + layout.patterns > in.length)
        return "module shorter than its sample data";
    return nullptr;
}

} // namespace replayer

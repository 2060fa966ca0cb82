// SPDX-License-Identifier: GPL-2.0-or-later
// Whether a MOD's Fxx from 0x20 up sets the tempo or the speed.
//
// ProTracker made Fxx from 0x20 up a tempo (BPM); the Soundtrackers and
// NoiseTracker before it had no tempo command and took every Fxx for a speed,
// and their "M.K." files look like ProTracker's in every header byte. So the
// song decides. A 4-channel "M.K." module whose Fxx from 0x20 up never share a
// row with an Fxx below 0x20 (setting speed and tempo on one row is how a
// ProTracker song starts), and whose pass lasts 8 minutes or more with them as
// tempo but less with them as speed, was written for a tracker without tempo:
// read as tempo, such songs crawl (values like F20..F40 are 32..64 BPM).
#include <cstring>

#include "engine/engine.h"
#include "mod_layout.h"

namespace replayer {

namespace {

using namespace mod;

constexpr char OLD_TRACKER_SIGNATURE[] = "M.K.";
constexpr uint8_t OLD_TRACKER_CHANNELS = 4;
constexpr uint8_t RAW_SPEED_OR_BPM = 15;
constexpr uint8_t FIRST_BPM_VALUE = 32;
constexpr uint64_t SPEED_CHECK_SECONDS = 480;
constexpr uint8_t EFFECT_BITS = 0x0F; // of a cell's third byte

enum class HighFxx { NONE, ALONE, BESIDE_A_SPEED };

// Reads the file's cells: once loaded, an F00 has become a jump like Bxx.
HighFxx high_fxx(const ByteReader& in, uint32_t patterns) {
    bool any = false;
    uint64_t at = LAYOUT_31.patterns;
    for (uint64_t row = 0; row < uint64_t{patterns} * ROWS; ++row) {
        bool low = false, high = false;
        for (int c = 0; c < OLD_TRACKER_CHANNELS; ++c, at += CELL_BYTES) {
            if ((in.u8(at + 2) & EFFECT_BITS) != RAW_SPEED_OR_BPM) continue;
            (in.u8(at + 3) >= FIRST_BPM_VALUE ? high : low) = true;
        }
        if (low && high) return HighFxx::BESIDE_A_SPEED;
        any = any || high;
    }
    return any ? HighFxx::ALONE : HighFxx::NONE;
}

// Fxx from 0x20 up load as EFFECT_SET_BPM; every speed the file sets below
// 0x20 stays below it, so the change can be undone.
void high_fxx_as_speed(ReplayContext& ctx, bool speed) {
    const uint64_t slot_count = uint64_t{ctx.total_rows} * ctx.channel_count;
    for (uint64_t i = 0; i < slot_count; ++i) {
        PatternSlot& s = ctx.slots[i];
        if (s.parameter < FIRST_BPM_VALUE) continue;
        if (speed && s.effect == EFFECT_SET_BPM) s.effect = EFFECT_SET_SPEED;
        if (!speed && s.effect == EFFECT_SET_SPEED) s.effect = EFFECT_SET_BPM;
    }
}

} // namespace

void settle_mod_timing(ReplayContext& ctx, const ByteReader& in) {
    char signature[4];
    for (int i = 0; i < 4; ++i) signature[i] = static_cast<char>(in.u8(SIGNATURE + i));
    if (ctx.channel_count != OLD_TRACKER_CHANNELS ||
        std::memcmp(signature, OLD_TRACKER_SIGNATURE, sizeof signature) != 0 ||
        high_fxx(in, ctx.pattern_count) != HighFxx::ALONE)
        return;
    const uint64_t rate = ctx.settings.sample_rate;
    const PassInfo as_tempo = measure_pass(&ctx, PASS_LIMIT_SECONDS * rate);
    if (as_tempo.frames < SPEED_CHECK_SECONDS * rate) return;
    high_fxx_as_speed(ctx, true);
    const PassInfo as_speed = measure_pass(&ctx, as_tempo.frames);
    if (!as_speed.ended || as_speed.frames >= as_tempo.frames) high_fxx_as_speed(ctx, false);
}

} // namespace replayer

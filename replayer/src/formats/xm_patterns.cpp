// SPDX-License-Identifier: GPL-2.0-or-later
// XM patterns: unpacks the packed rows into the slot array and rewrites XM
// notes and effects into the engine's numbering.
#include "xm_layout.h"

namespace replayer {

namespace {

constexpr uint8_t PACKED_FLAG = 0x80;
constexpr uint8_t HAS_NOTE = 0x01;
constexpr uint8_t HAS_INSTRUMENT = 0x02;
constexpr uint8_t HAS_VOLUME = 0x04;
constexpr uint8_t HAS_EFFECT = 0x08;
constexpr uint8_t HAS_PARAMETER = 0x10;

constexpr uint8_t XM_KEY_OFF = 97;
constexpr uint8_t LAST_RAW_EFFECT = 15; // 0..F go through convert_effect

// Lettered XM effects beyond F (G = 16 ... X = 33).
constexpr uint8_t XM_KEY_OFF_EFFECT = 20;   // K
constexpr uint8_t XM_EXTRA_FINE_PORTA = 33; // X
constexpr uint8_t XM_EXTRA_FINE_UP = 0x1;
constexpr uint8_t XM_EXTRA_FINE_DOWN = 0x2;

// Effects G H L P R T keep their number and parameter: the internal codes were
// chosen to match them.
constexpr bool kept_as_is(uint8_t effect) {
    return effect == EFFECT_SET_GLOBAL_VOLUME || effect == EFFECT_GLOBAL_VOLUME_SLIDE ||
           effect == EFFECT_SET_ENVELOPE_POSITION || effect == EFFECT_PANNING_SLIDE ||
           effect == EFFECT_MULTI_RETRIG || effect == EFFECT_TREMOR;
}

void clear_effect(PatternSlot& slot) {
    slot.effect = 0;
    slot.parameter = 0;
}

void convert_note(PatternSlot& slot) {
    // 128 and up play as key-offs anyway; store the one key-off value.
    if (slot.note == XM_KEY_OFF || slot.note >= NOTE_KEY_OFF)
        slot.note = NOTE_KEY_OFF;
    else if (slot.note > xm::NOTE_COUNT)
        slot.note = NOTE_NONE; // not a note an XM can hold
}

void convert_lettered_effect(PatternSlot& slot) {
    if (kept_as_is(slot.effect)) return;
    if (slot.effect == XM_KEY_OFF_EFFECT) {
        // K00 is a key-off right on the row: the same as a key-off note.
        if (slot.parameter == 0) {
            slot.note = NOTE_KEY_OFF;
            clear_effect(slot);
        }
        return;
    }
    if (slot.effect == XM_EXTRA_FINE_PORTA) {
        const uint8_t x = slot.parameter >> 4, y = slot.parameter & 0x0F;
        if (x == XM_EXTRA_FINE_UP)
            slot.effect = EFFECT_EXTRA_FINE_PORTA_UP;
        else if (x == XM_EXTRA_FINE_DOWN)
            slot.effect = EFFECT_EXTRA_FINE_PORTA_DOWN;
        else
            return clear_effect(slot);
        slot.parameter = y;
        return;
    }
    clear_effect(slot); // effects the engine does not play
}

void convert_xm_effect(PatternSlot& slot) {
    if (slot.effect > LAST_RAW_EFFECT) return convert_lettered_effect(slot);
    convert_effect(slot);
    const bool waveform =
        slot.effect == EFFECT_VIBRATO_WAVEFORM || slot.effect == EFFECT_TREMOLO_WAVEFORM;
    // An XM plays its random waveform as the square one.
    if (waveform && (slot.parameter & WAVEFORM_NUMBER_BITS) == WAVEFORM_RANDOM)
        slot.parameter =
            static_cast<uint8_t>((slot.parameter & ~WAVEFORM_NUMBER_BITS) | WAVEFORM_SQUARE);
}

// Unpacks one pattern's data into `slots` (rows x channels of them). Reads stop
// at the end of the packed data; what is missing stays empty.
void unpack_pattern(const ByteReader& packed, PatternSlot* slots, uint64_t slot_count) {
    uint64_t at = 0;
    for (uint64_t i = 0; i < slot_count && at < packed.length; ++i) {
        PatternSlot& slot = slots[i];
        const uint8_t first = packed.u8(at++);
        if (first & PACKED_FLAG) {
            if (first & HAS_NOTE) slot.note = packed.u8(at++);
            if (first & HAS_INSTRUMENT) slot.instrument = packed.u8(at++);
            if (first & HAS_VOLUME) slot.volume = packed.u8(at++);
            if (first & HAS_EFFECT) slot.effect = packed.u8(at++);
            if (first & HAS_PARAMETER) slot.parameter = packed.u8(at++);
        } else {
            slot.note = first;
            slot.instrument = packed.u8(at++);
            slot.volume = packed.u8(at++);
            slot.effect = packed.u8(at++);
            slot.parameter = packed.u8(at++);
        }
        convert_note(slot);
        convert_xm_effect(slot);
    }
}

} // namespace

uint64_t load_xm_patterns(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in,
                          uint16_t pattern_count) {
    uint64_t p = xm::first_pattern_offset(in);
    for (uint16_t j = 0; j < pattern_count; ++j) {
        const xm::PatternHeader h = xm::read_pattern_header(in, p);
        PatternRecord& pattern = ctx.patterns[j];
        pattern.first_row = static_cast<uint16_t>(ctx.total_rows);
        pattern.row_count = h.rows;
        // The prescan reserved exactly these rows; never write past them.
        if (uint64_t{ctx.total_rows} + h.rows > scan.total_rows) break;
        if (!h.empty) {
            PatternSlot* slots = ctx.slots + uint64_t{ctx.total_rows} * ctx.channel_count;
            unpack_pattern(in.window(h.data_start, h.data_end), slots,
                           uint64_t{h.rows} * ctx.channel_count);
        }
        ctx.total_rows += h.rows;
        p = h.data_end;
    }
    return p;
}

} // namespace replayer

// SPDX-License-Identifier: GPL-2.0-or-later
// Raw XM/MOD effects 0..15 into the engine's effect codes, shared by both loaders.
#include "formats.h"

namespace replayer {

namespace {

constexpr uint8_t RAW_PATTERN_BREAK = 13;
constexpr uint8_t RAW_EXTENDED = 14;
constexpr uint8_t RAW_SPEED_OR_BPM = 15;
constexpr uint8_t FIRST_BPM_VALUE = 32;     // Fxx below this sets ticks per row
constexpr uint8_t NIBBLE_TO_PANNING = 17;   // 0..15 -> 0..255
constexpr uint8_t WAVEFORM_NUMBER_BITS = 3; // E4y/E7y: y bits 0..1 the waveform, bit 2 keep phase
constexpr uint8_t WAVEFORM_KEEP_PHASE_FLAG = 4;

// Exy: what the sub-command x makes of its nibble y.
using SubCommand = void (*)(PatternSlot& slot, uint8_t y);

void set(PatternSlot& slot, uint8_t effect, uint8_t parameter) {
    slot.effect = effect;
    slot.parameter = parameter;
}

template <uint8_t Effect> void sub_nibble(PatternSlot& s, uint8_t y) {
    set(s, Effect, y);
}
void sub_none(PatternSlot& s, uint8_t) {
    set(s, EFFECT_ARPEGGIO, 0);
}
void sub_glissando(PatternSlot& s, uint8_t) {
    set(s, EFFECT_GLISSANDO, 1);
}
template <uint8_t Effect> void sub_waveform(PatternSlot& s, uint8_t y) {
    set(s, Effect,
        static_cast<uint8_t>((y & WAVEFORM_NUMBER_BITS) |
                             ((y & WAVEFORM_KEEP_PHASE_FLAG) ? WAVEFORM_KEEP_PHASE : 0)));
}
void sub_panning(PatternSlot& s, uint8_t y) {
    set(s, EFFECT_SET_CHANNEL_PANNING, static_cast<uint8_t>(y * NIBBLE_TO_PANNING));
}

constexpr SubCommand EXTENDED[16] = {
    sub_none,                                  // E0: filter, not played
    sub_nibble<EFFECT_FINE_PORTA_UP>,          // E1
    sub_nibble<EFFECT_FINE_PORTA_DOWN>,        // E2
    sub_glissando,                             // E3
    sub_waveform<EFFECT_VIBRATO_WAVEFORM>,     // E4
    sub_nibble<EFFECT_SET_FINETUNE>,           // E5
    sub_nibble<EFFECT_PATTERN_LOOP>,           // E6
    sub_waveform<EFFECT_TREMOLO_WAVEFORM>,     // E7
    sub_panning,                               // E8
    sub_nibble<EFFECT_RETRIGGER>,              // E9
    sub_nibble<EFFECT_FINE_VOLUME_SLIDE_UP>,   // EA
    sub_nibble<EFFECT_FINE_VOLUME_SLIDE_DOWN>, // EB
    sub_nibble<EFFECT_NOTE_CUT>,               // EC
    sub_nibble<EFFECT_NOTE_DELAY>,             // ED
    sub_nibble<EFFECT_PATTERN_DELAY>,          // EE
    sub_none,                                  // EF: not played
};

} // namespace

void convert_effect(PatternSlot& slot) {
    switch (slot.effect) {
    case RAW_PATTERN_BREAK:
        slot.parameter = static_cast<uint8_t>(10 * (slot.parameter >> 4) + (slot.parameter & 15));
        return;
    case RAW_EXTENDED:
        EXTENDED[slot.parameter >> 4](slot, slot.parameter & 0x0F);
        return;
    case RAW_SPEED_OR_BPM:
        slot.effect = slot.parameter < FIRST_BPM_VALUE ? EFFECT_SET_SPEED : EFFECT_SET_BPM;
        return;
    default:
        return; // 0..12 keep their codes
    }
}

} // namespace replayer

// Raw XM/MOD effects 0..15 into the engine's effect codes, shared by both loaders.
#include "formats.h"

namespace replayer {

namespace {

constexpr uint8_t RAW_PATTERN_BREAK = 13;
constexpr uint8_t RAW_EXTENDED = 14;
constexpr uint8_t RAW_SPEED_OR_BPM = 15;
constexpr uint8_t FIRST_BPM_VALUE = 32; // Fxx below this sets ticks per row
constexpr uint8_t KEEP_PHASE_BIT = 0x80;
constexpr uint8_t NIBBLE_TO_PANNING = 17; // 0..15 -> 0..255

uint8_t waveform_parameter(uint8_t y) {
    return static_cast<uint8_t>((y & 3) | ((y & 4) ? KEEP_PHASE_BIT : 0));
}

// Exy by x: the internal code, or EFFECT_COUNT for "no effect".
void convert_extended(PatternSlot& slot) {
    const uint8_t x = slot.parameter >> 4, y = slot.parameter & 0x0F;
    switch (x) {
    case 0x1:
        slot.effect = EFFECT_FINE_PORTA_UP;
        slot.parameter = y;
        return;
    case 0x2:
        slot.effect = EFFECT_FINE_PORTA_DOWN;
        slot.parameter = y;
        return;
    case 0x3:
        slot.effect = EFFECT_GLISSANDO;
        slot.parameter = 1;
        return;
    case 0x4:
        slot.effect = EFFECT_VIBRATO_WAVEFORM;
        slot.parameter = waveform_parameter(y);
        return;
    case 0x5:
        slot.effect = EFFECT_SET_FINETUNE;
        slot.parameter = y;
        return;
    case 0x6:
        slot.effect = EFFECT_PATTERN_LOOP;
        slot.parameter = y;
        return;
    case 0x7:
        slot.effect = EFFECT_TREMOLO_WAVEFORM;
        slot.parameter = waveform_parameter(y);
        return;
    case 0x8:
        slot.effect = EFFECT_SET_CHANNEL_PANNING;
        slot.parameter = static_cast<uint8_t>(y * NIBBLE_TO_PANNING);
        return;
    case 0x9:
        slot.effect = EFFECT_RETRIGGER;
        slot.parameter = y;
        return;
    case 0xA:
        slot.effect = EFFECT_FINE_VOLUME_SLIDE_UP;
        slot.parameter = y;
        return;
    case 0xB:
        slot.effect = EFFECT_FINE_VOLUME_SLIDE_DOWN;
        slot.parameter = y;
        return;
    case 0xC:
        slot.effect = EFFECT_NOTE_CUT;
        slot.parameter = y;
        return;
    case 0xD:
        slot.effect = EFFECT_NOTE_DELAY;
        slot.parameter = y;
        return;
    case 0xE:
        slot.effect = EFFECT_PATTERN_DELAY;
        slot.parameter = y;
        return;
    default:
        slot.effect = 0;
        slot.parameter = 0;
        return; // E0y, EFy
    }
}

} // namespace

void convert_effect(PatternSlot& slot) {
    switch (slot.effect) {
    case RAW_PATTERN_BREAK:
        slot.parameter = static_cast<uint8_t>(10 * (slot.parameter >> 4) + (slot.parameter & 15));
        return;
    case RAW_EXTENDED:
        convert_extended(slot);
        return;
    case RAW_SPEED_OR_BPM:
        slot.effect = slot.parameter < FIRST_BPM_VALUE ? EFFECT_SET_SPEED : EFFECT_SET_BPM;
        return;
    default:
        return; // 0..12 keep their codes
    }
}

} // namespace replayer

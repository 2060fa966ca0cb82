// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: the effect codes of pattern slots, the one numbering
// every loader converts its format's effects into. Included by replayer.h.
#pragma once

#include <cstdint>

namespace replayer {

// Internal effect codes: every loader produces these, playback consumes only these.
enum EffectCode : uint8_t {
    EFFECT_ARPEGGIO = 0,
    EFFECT_PORTA_UP = 1,
    EFFECT_PORTA_DOWN = 2,
    EFFECT_TONE_PORTA = 3,
    EFFECT_VIBRATO = 4,
    EFFECT_TONE_PORTA_VOLSLIDE = 5,
    EFFECT_VIBRATO_VOLSLIDE = 6,
    EFFECT_TREMOLO = 7,
    EFFECT_SET_PANNING = 8,
    EFFECT_SAMPLE_OFFSET = 9,
    EFFECT_VOLUME_SLIDE = 10,
    EFFECT_POSITION_JUMP = 11,
    EFFECT_SET_VOLUME = 12,
    EFFECT_PATTERN_BREAK = 13,
    EFFECT_SET_SPEED = 14,
    EFFECT_SET_BPM = 15,
    EFFECT_SET_GLOBAL_VOLUME = 16,
    EFFECT_GLOBAL_VOLUME_SLIDE = 17,
    EFFECT_EXTRA_FINE_PORTA_UP = 18,
    EFFECT_EXTRA_FINE_PORTA_DOWN = 19,
    EFFECT_KEY_OFF = 20,
    EFFECT_SET_ENVELOPE_POSITION = 21,
    EFFECT_FINE_VIBRATO = 22,
    EFFECT_S3M_PORTA_UP = 23,
    EFFECT_S3M_PORTA_DOWN = 24,
    EFFECT_PANNING_SLIDE = 25,
    EFFECT_S3M_VIBRATO_VOLSLIDE = 26,
    EFFECT_MULTI_RETRIG = 27,
    EFFECT_S3M_TONE_PORTA_VOLSLIDE = 28,
    EFFECT_TREMOR = 29,
    EFFECT_ROW_LOOP = 30,
    EFFECT_S3M_VOLUME_SLIDE = 31,
    EFFECT_S3M_RETRIG = 32,
    EFFECT_FINE_PORTA_UP = 33,
    EFFECT_FINE_PORTA_DOWN = 34,
    EFFECT_GLISSANDO = 35,
    EFFECT_VIBRATO_WAVEFORM = 36,
    EFFECT_SET_FINETUNE = 37,
    EFFECT_PATTERN_LOOP = 38,
    EFFECT_TREMOLO_WAVEFORM = 39,
    EFFECT_SET_CHANNEL_PANNING = 40,
    EFFECT_RETRIGGER = 41,
    EFFECT_FINE_VOLUME_SLIDE_UP = 42,
    EFFECT_FINE_VOLUME_SLIDE_DOWN = 43,
    EFFECT_NOTE_CUT = 44,
    EFFECT_NOTE_DELAY = 45,
    EFFECT_PATTERN_DELAY = 46,
    EFFECT_S3M_TREMOLO = 47,
    EFFECT_S3M_ARPEGGIO = 48,
    EFFECT_S3M_TREMOR = 49,
    EFFECT_SET_CHANNEL_VOLUME = 50,     // IT Mxx: 0..64
    EFFECT_CHANNEL_VOLUME_SLIDE = 51,   // IT Nxy, slid as Dxy slides the volume
    EFFECT_IT_GLOBAL_VOLUME_SLIDE = 52, // IT Wxy, on 0..128, slid as Dxy
    EFFECT_IT_PANNING_SLIDE = 53,       // IT Pxy on 0..64 (x0 right, 0y left), slid as Dxy
    EFFECT_TEMPO_SLIDE = 54,            // IT T0x down, T1x up, by x a later tick
    EFFECT_NOTE_FADE = 55,              // the channel's note fades out, its key still held
    EFFECT_PAST_NOTES = 56,          // IT S70..S72: the channel's background notes cut, off, fade
    EFFECT_SET_NEW_NOTE_ACTION = 57, // IT S73..S76: NNA_CUT..NNA_NOTE_FADE for the note playing
    EFFECT_SET_FILTER_MACRO = 58,    // IT SFx: Z00..Z7F run parametered macro x (0..15)
    EFFECT_MIDI_MACRO = 59,          // IT Zxx: the macro's filter setting, on the row tick
    EFFECT_ENVELOPE_SWITCH = 60,     // IT S77..S7C: 7 + 2k turns envelope k (volume, panning,
                                     // pitch) off for the playing note, 8 + 2k back on
    EFFECT_PANBRELLO = 61,           // IT Yxy: the panning swings by depth y at speed x
    EFFECT_PANBRELLO_WAVEFORM = 62,  // IT S5x: WAVEFORM_SINE, _RAMP_DOWN, _SQUARE or _RANDOM
    EFFECT_FINE_PATTERN_DELAY = 63,  // IT S6x: the row lasts x ticks longer, channels adding up
    EFFECT_HIGH_OFFSET = 64,         // IT SAx: sample offsets from now on add x times 65536 frames
    EFFECT_COUNT = 65,
    EFFECT_IGNORED = 255,
};

} // namespace replayer

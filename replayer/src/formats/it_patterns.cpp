// SPDX-License-Identifier: GPL-2.0-or-later
// IT packed patterns: channel masks, notes, the volume column and the command
// table that maps IT commands onto the engine's effect codes.
#include <algorithm>

#include "it_layout.h"

namespace replayer::it {

namespace {

constexpr uint8_t MARKER_CHANNEL = 0x3F;
constexpr uint8_t MARKER_NEW_MASK = 0x80;
constexpr uint8_t MASK_NOTE = 1;
constexpr uint8_t MASK_INSTRUMENT = 2;
constexpr uint8_t MASK_VOLUME = 4;
constexpr uint8_t MASK_COMMAND = 8;
constexpr uint8_t MASK_LAST_NOTE = 16;
constexpr uint8_t MASK_LAST_INSTRUMENT = 32;
constexpr uint8_t MASK_LAST_VOLUME = 64;
constexpr uint8_t MASK_LAST_COMMAND = 128;

constexpr uint8_t NOTE_BYTE_OFF = 255;
constexpr uint8_t NOTE_BYTE_CUT = 254;

// Volume column bytes and the XM column they become.
constexpr uint8_t VOLUME_LAST = 64;
constexpr uint8_t FINE_UP_FIRST = 65;
constexpr uint8_t FINE_DOWN_FIRST = 75;
constexpr uint8_t SLIDE_UP_FIRST = 85;
constexpr uint8_t SLIDE_DOWN_FIRST = 95;
constexpr uint8_t PITCH_DOWN_FIRST = 105;
constexpr uint8_t PITCH_UP_FIRST = 115;
constexpr uint8_t PITCH_UP_LAST = 124;
constexpr uint8_t PANNING_FIRST = 128;
constexpr uint8_t PANNING_LAST = 192;
constexpr uint8_t PORTA_FIRST = 193;
constexpr uint8_t VIBRATO_FIRST = 203;
constexpr uint8_t VIBRATO_LAST = 212;
constexpr uint8_t COMMAND_RANGE = 10; // each ranged command takes 0..9
constexpr uint8_t XM_COLUMN_SET = 0x10;
constexpr uint8_t XM_COLUMN_SLIDE_DOWN = 0x60;
constexpr uint8_t XM_COLUMN_SLIDE_UP = 0x70;
constexpr uint8_t XM_COLUMN_FINE_DOWN = 0x80;
constexpr uint8_t XM_COLUMN_FINE_UP = 0x90;
constexpr uint8_t XM_COLUMN_VIBRATO = 0xB0;
constexpr uint8_t XM_COLUMN_PANNING = 0xC0;
constexpr uint8_t XM_COLUMN_PORTA = 0xF0;
constexpr uint8_t PITCH_SLIDE_SCALE = 4; // a column pitch slide of x is Exx of 4x
constexpr uint8_t PORTA_SPEEDS[COMMAND_RANGE] = {0, 1, 4, 8, 16, 32, 64, 96, 128, 255};
constexpr uint8_t XM_PORTA_UNIT = 16;
constexpr uint8_t XM_PANNING_UNIT = 4; // IT panning 0..64 in XM's 16 steps

constexpr uint8_t FIRST_TEMPO = 0x20; // T0x and T1x slide the tempo instead
constexpr uint8_t PAST_NOTE_ACTIONS = 3, NEW_NOTE_ACTIONS = 4, LAST_ENVELOPE_SWITCH = 0xC;
constexpr uint8_t NIBBLE_TO_PANNING = 17;
constexpr uint8_t SURROUND_ON = 1;
constexpr uint8_t RETRIG_NO_VOLUME_CHANGE = 0x80;

void set(PatternSlot& slot, uint8_t effect, uint8_t parameter) {
    slot.effect = effect;
    slot.parameter = parameter;
}

// ------------------------------------------------------------ S sub-commands

void convert_s(PatternSlot& s, uint8_t info) {
    const uint8_t y = info & 15;
    switch (info >> 4) {
    case 0x1:
        return set(s, EFFECT_GLISSANDO, y ? 1 : 0);
    case 0x3:
        return set(s, EFFECT_VIBRATO_WAVEFORM, y & 3);
    case 0x4:
        return set(s, EFFECT_TREMOLO_WAVEFORM, y & 3);
    case 0x5:
        return set(s, EFFECT_PANBRELLO_WAVEFORM, y & 3);
    case 0x6:
        return set(s, EFFECT_FINE_PATTERN_DELAY, y);
    case 0x7:
        // S70..S72 act on the channel's background notes, S73..S76 choose the
        // playing note's new-note action, S77..S7C switch its envelopes.
        if (y < PAST_NOTE_ACTIONS) return set(s, EFFECT_PAST_NOTES, y);
        if (y < PAST_NOTE_ACTIONS + NEW_NOTE_ACTIONS) return set(s, EFFECT_SET_NEW_NOTE_ACTION, y);
        if (y <= LAST_ENVELOPE_SWITCH) return set(s, EFFECT_ENVELOPE_SWITCH, y);
        return set(s, EFFECT_IGNORED, info);
    case 0x8:
        return set(s, EFFECT_SET_CHANNEL_PANNING, static_cast<uint8_t>(y * NIBBLE_TO_PANNING));
    case 0x9:
        // S91: surround, played centred as surround channels are.
        return y == SURROUND_ON ? set(s, EFFECT_SET_CHANNEL_PANNING, CENTRE_PANNING)
                                : set(s, EFFECT_IGNORED, info);
    case 0xA:
        return set(s, EFFECT_HIGH_OFFSET, y);
    case 0xB:
        return set(s, EFFECT_PATTERN_LOOP, y);
    case 0xC:
        return set(s, EFFECT_NOTE_CUT, y);
    case 0xD:
        return set(s, EFFECT_NOTE_DELAY, y);
    case 0xE:
        return set(s, EFFECT_PATTERN_DELAY, y);
    case 0xF:
        return set(s, EFFECT_SET_FILTER_MACRO, y);
    default:
        return set(s, EFFECT_IGNORED, info);
    }
}

// ---------------------------------------------------------------- commands

// What each command letter (A = 1) becomes; the letters with rules of their
// own are handled in convert_command.
constexpr uint8_t COMMANDS[] = {
    EFFECT_IGNORED,                 // 0: no command
    EFFECT_SET_SPEED,               // A
    EFFECT_POSITION_JUMP,           // B
    EFFECT_PATTERN_BREAK,           // C: rows in hexadecimal, as stored
    EFFECT_S3M_VOLUME_SLIDE,        // D
    EFFECT_S3M_PORTA_DOWN,          // E
    EFFECT_S3M_PORTA_UP,            // F
    EFFECT_TONE_PORTA,              // G
    EFFECT_VIBRATO,                 // H
    EFFECT_S3M_TREMOR,              // I
    EFFECT_S3M_ARPEGGIO,            // J
    EFFECT_S3M_VIBRATO_VOLSLIDE,    // K
    EFFECT_S3M_TONE_PORTA_VOLSLIDE, // L
    EFFECT_SET_CHANNEL_VOLUME,      // M
    EFFECT_CHANNEL_VOLUME_SLIDE,    // N
    EFFECT_SAMPLE_OFFSET,           // O
    EFFECT_IT_PANNING_SLIDE,        // P
    EFFECT_S3M_RETRIG,              // Q
    EFFECT_S3M_TREMOLO,             // R
    EFFECT_IGNORED,                 // S: convert_s
    EFFECT_SET_BPM,                 // T
    EFFECT_FINE_VIBRATO,            // U
    EFFECT_SET_GLOBAL_VOLUME,       // V
    EFFECT_IT_GLOBAL_VOLUME_SLIDE,  // W
    EFFECT_SET_CHANNEL_PANNING,     // X
    EFFECT_PANBRELLO,               // Y
    EFFECT_MIDI_MACRO,              // Z: what its MIDI macro does to the filter
};
constexpr uint8_t COMMAND_COUNT = sizeof COMMANDS;
constexpr uint8_t COMMAND_A = 1, COMMAND_H = 8, COMMAND_Q = 17, COMMAND_S = 19, COMMAND_T = 20,
                  COMMAND_U = 21, COMMAND_V = 22;
constexpr uint8_t FINE_VIBRATO_SCALE = 4; // Uxy is Hxy at a quarter of the depth
constexpr uint8_t LARGEST_FINE_DEPTH = 15;

// IT's own vibrato is twice as fine as the other trackers' (old effects play
// theirs): a depth the fine vibrato holds goes there, others are halved.
void convert_vibrato(PatternSlot& slot, uint8_t command, uint8_t info, bool old_effects) {
    const uint8_t speed = info & 0xF0, depth = info & 15;
    if (old_effects) return set(slot, COMMANDS[command], info);
    // In fine-vibrato depth units: H depth d is 2d of them, U depth d is d / 2.
    const unsigned fine = command == COMMAND_H ? 2u * depth : (depth + 1u) / 2;
    if (fine <= LARGEST_FINE_DEPTH)
        return set(slot, EFFECT_FINE_VIBRATO, static_cast<uint8_t>(speed | fine));
    set(slot, EFFECT_VIBRATO,
        static_cast<uint8_t>(speed | ((fine + FINE_VIBRATO_SCALE / 2) / FINE_VIBRATO_SCALE)));
}

void convert_command(PatternSlot& slot, uint8_t command, uint8_t info, uint8_t remembered_s,
                     const EffectMode& mode) {
    if (command == 0 || command >= COMMAND_COUNT) return set(slot, EFFECT_ARPEGGIO, 0);
    switch (command) {
    case COMMAND_H:
    case COMMAND_U:
        return convert_vibrato(slot, command, info, mode.old_effects);
    case COMMAND_A:
        return set(slot, info ? EFFECT_SET_SPEED : EFFECT_ARPEGGIO, info);
    case COMMAND_Q:
        return set(slot, EFFECT_S3M_RETRIG, info < 16 ? info | RETRIG_NO_VOLUME_CHANGE : info);
    case COMMAND_S:
        if (info == 0) info = remembered_s; // S00 repeats the channel's last S command
        return info ? convert_s(slot, info) : set(slot, EFFECT_ARPEGGIO, 0);
    case COMMAND_T:
        return set(slot, info >= FIRST_TEMPO ? EFFECT_SET_BPM : EFFECT_TEMPO_SLIDE, info);
    case COMMAND_V:
        return set(slot, info <= MAX_IT_VOLUME ? EFFECT_SET_GLOBAL_VOLUME : EFFECT_IGNORED, info);
    default:
        return set(slot, COMMANDS[command], info);
    }
}

// Places an effect the volume column cannot hold into a free effect column.
void into_free_effect(PatternSlot& slot, uint8_t effect, uint8_t parameter) {
    if (slot.effect == EFFECT_ARPEGGIO && slot.parameter == 0) set(slot, effect, parameter);
}

void convert_volume(PatternSlot& slot, uint8_t v) {
    auto ranged = [&](uint8_t first, uint8_t column) {
        slot.volume = static_cast<uint8_t>(column + (v - first));
    };
    if (v <= VOLUME_LAST) return void(slot.volume = static_cast<uint8_t>(XM_COLUMN_SET + v));
    if (v < FINE_DOWN_FIRST) return ranged(FINE_UP_FIRST, XM_COLUMN_FINE_UP);
    if (v < SLIDE_UP_FIRST) return ranged(FINE_DOWN_FIRST, XM_COLUMN_FINE_DOWN);
    if (v < SLIDE_DOWN_FIRST) return ranged(SLIDE_UP_FIRST, XM_COLUMN_SLIDE_UP);
    if (v < PITCH_DOWN_FIRST) return ranged(SLIDE_DOWN_FIRST, XM_COLUMN_SLIDE_DOWN);
    if (v < PITCH_UP_FIRST)
        return into_free_effect(slot, EFFECT_S3M_PORTA_DOWN,
                                static_cast<uint8_t>(PITCH_SLIDE_SCALE * (v - PITCH_DOWN_FIRST)));
    if (v <= PITCH_UP_LAST)
        return into_free_effect(slot, EFFECT_S3M_PORTA_UP,
                                static_cast<uint8_t>(PITCH_SLIDE_SCALE * (v - PITCH_UP_FIRST)));
    if (v >= PANNING_FIRST && v <= PANNING_LAST) {
        // IT's panning sets the channel's panning, as X does.
        if (slot.effect == EFFECT_ARPEGGIO && slot.parameter == 0)
            return set(slot, EFFECT_SET_CHANNEL_PANNING,
                       static_cast<uint8_t>(std::min(255, (v - PANNING_FIRST) * 4)));
        const uint8_t pan =
            std::min<uint8_t>(15, static_cast<uint8_t>((v - PANNING_FIRST) / XM_PANNING_UNIT));
        return void(slot.volume = static_cast<uint8_t>(XM_COLUMN_PANNING + pan));
    }
    if (v >= PORTA_FIRST && v < VIBRATO_FIRST) {
        const uint8_t speed = PORTA_SPEEDS[v - PORTA_FIRST];
        if (slot.effect == EFFECT_ARPEGGIO && slot.parameter == 0)
            return set(slot, EFFECT_TONE_PORTA, speed);
        const uint8_t units = speed == 0 ? 0 : std::clamp<uint8_t>(speed / XM_PORTA_UNIT, 1, 15);
        return void(slot.volume = static_cast<uint8_t>(XM_COLUMN_PORTA + units));
    }
    if (v >= VIBRATO_FIRST && v <= VIBRATO_LAST) return ranged(VIBRATO_FIRST, XM_COLUMN_VIBRATO);
}

// Bytes past the notes, but for the cut and the off, fade the note.
uint8_t convert_note(uint8_t n, bool has_instrument) {
    if (n == NOTE_BYTE_OFF) return NOTE_KEY_OFF;
    if (n == NOTE_BYTE_CUT) return has_instrument ? NOTE_INSTRUMENT_ONLY : NOTE_NONE;
    if (n > LAST_NOTE_BYTE) return NOTE_FADE;
    return static_cast<uint8_t>(n + 1);
}

// What a channel's last entry held, for the mask bits that repeat it.
struct Last {
    uint8_t mask, note, instrument, volume, command, info, s_info;
};

// Walks one pattern's packed entries; entry(row, channel, mask, last) gets
// each entry with `last` holding its values.
template <typename Entry>
void walk_entries(const ByteReader& in, const Layout& layout, uint16_t k, Entry entry) {
    const uint64_t header = pattern_header(in, layout, k);
    if (header == 0) return;
    const uint64_t data = header + PATTERN_HEADER_BYTES;
    const ByteReader packed = in.window(data, data + in.u16le(header + PATTERN_PACKED_LENGTH));
    const uint16_t rows = pattern_rows(in, layout, k);
    Last last[CHANNELS] = {};
    uint64_t pos = 0;
    for (uint16_t row = 0; row < rows && pos < packed.length;) {
        const uint8_t marker = packed.u8(pos++);
        if (marker == 0) {
            ++row;
            continue;
        }
        const uint8_t channel = (marker - 1) & MARKER_CHANNEL;
        Last& l = last[channel];
        if (marker & MARKER_NEW_MASK) l.mask = packed.u8(pos++);
        const uint8_t mask = l.mask;
        if (mask & MASK_NOTE) l.note = packed.u8(pos++);
        if (mask & MASK_INSTRUMENT) l.instrument = packed.u8(pos++);
        if (mask & MASK_VOLUME) l.volume = packed.u8(pos++);
        if (mask & MASK_COMMAND) {
            l.command = packed.u8(pos);
            l.info = packed.u8(pos + 1);
            pos += 2;
        }
        entry(row, channel, mask, l);
    }
}

} // namespace

uint16_t pattern_rows(const ByteReader& in, const Layout& layout, uint16_t k) {
    const uint64_t header = pattern_header(in, layout, k);
    if (header == 0) return EMPTY_PATTERN_ROWS;
    return std::clamp<uint16_t>(in.u16le(header + PATTERN_ROWS), 1, MAX_ROWS);
}

uint8_t channels_used(const ByteReader& in, const Layout& layout) {
    uint8_t used = 0;
    for (uint16_t k = 0; k < layout.pattern_count; ++k)
        walk_entries(in, layout, k, [&](uint16_t, uint8_t channel, uint8_t mask, const Last&) {
            if (mask & (MASK_NOTE | MASK_INSTRUMENT | MASK_VOLUME | MASK_COMMAND | MASK_LAST_NOTE |
                        MASK_LAST_INSTRUMENT | MASK_LAST_VOLUME | MASK_LAST_COMMAND))
                used = std::max<uint8_t>(used, static_cast<uint8_t>(channel + 1));
        });
    return used;
}

void load_pattern(const ByteReader& in, const Layout& layout, uint16_t k, uint8_t channel_count,
                  const EffectMode& mode, PatternSlot* slots) {
    walk_entries(in, layout, k, [&](uint16_t row, uint8_t channel, uint8_t mask, Last& l) {
        if (channel >= channel_count) return;
        PatternSlot& slot = slots[row * channel_count + channel];
        const bool note = mask & (MASK_NOTE | MASK_LAST_NOTE);
        const bool instrument = mask & (MASK_INSTRUMENT | MASK_LAST_INSTRUMENT);
        if (instrument) slot.instrument = l.instrument;
        if (note)
            slot.note = convert_note(l.note, instrument);
        else if (instrument)
            slot.note = NOTE_INSTRUMENT_ONLY;
        if (mask & (MASK_COMMAND | MASK_LAST_COMMAND)) {
            if (l.command == COMMAND_S && l.info) l.s_info = l.info;
            convert_command(slot, l.command, l.info, l.s_info, mode);
        }
        if (mask & (MASK_VOLUME | MASK_LAST_VOLUME)) convert_volume(slot, l.volume);
        // A note cut silences the channel on the row tick.
        if (note && l.note == NOTE_BYTE_CUT) {
            if (slot.volume == 0)
                slot.volume = XM_COLUMN_SET;
            else
                into_free_effect(slot, EFFECT_SET_VOLUME, 0);
        }
    });
}

} // namespace replayer::it

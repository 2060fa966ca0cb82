// SPDX-License-Identifier: GPL-2.0-or-later
// S3M packed patterns: entries, notes, volumes and the command tables that map
// S3M commands onto the engine's effect codes.
#include <algorithm>

#include "s3m_layout.h"

namespace replayer::s3m {

namespace {

constexpr uint8_t ENTRY_CHANNEL = 0x1F;
constexpr uint8_t ENTRY_NOTE = 0x20;
constexpr uint8_t ENTRY_VOLUME = 0x40;
constexpr uint8_t ENTRY_COMMAND = 0x80;
constexpr uint64_t PACKED_LENGTH_BYTES = 2;   // the u16 length, meant to count itself
constexpr uint64_t MAX_PACKED_BYTES = 0xFFFF; // the most a 16-bit length can count

constexpr uint8_t NOTE_BYTE_OFF = 254;
constexpr uint8_t NOTE_BYTE_EMPTY = 255;
constexpr uint8_t HIGHEST_OCTAVE = 7;
constexpr uint8_t HIGHEST_SEMITONE = 11;
constexpr uint8_t VOLUME_COLUMN_SET = 0x10; // XM column: set volume 0..64

constexpr uint8_t FIRST_BPM = 33; // Txx below this cannot be played
constexpr uint8_t RETRIG_NO_VOLUME_CHANGE = 0x80;
constexpr uint8_t X_FULL_RIGHT = 128; // X80: hard right
constexpr uint8_t NIBBLE_TO_PANNING = 17;

// What a command handler may look at besides the info byte.
struct CommandContext {
    uint8_t setting;    // the S3M channel's setting, 0..15
    uint8_t remembered; // last non-zero info of this S3M channel in this pattern
};

void set(PatternSlot& slot, uint8_t effect, uint8_t parameter) {
    slot.effect = effect;
    slot.parameter = parameter;
}

// ------------------------------------------------------------ S sub-commands

using SubHandler = void (*)(PatternSlot&, uint8_t y, uint8_t info, const CommandContext&);

void sub_ignored(PatternSlot& s, uint8_t, uint8_t info, const CommandContext&) {
    set(s, EFFECT_IGNORED, info);
}
void sub_glissando(PatternSlot& s, uint8_t, uint8_t, const CommandContext&) {
    set(s, EFFECT_GLISSANDO, 1);
}
void sub_finetune(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_SET_FINETUNE, y);
}
void sub_vibrato_waveform(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_VIBRATO_WAVEFORM, y & 3);
}
void sub_tremolo_waveform(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_TREMOLO_WAVEFORM, y & 3);
}
void sub_panning(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_SET_CHANNEL_PANNING, static_cast<uint8_t>(y * NIBBLE_TO_PANNING));
}
// Old stereo control: swaps a channel hard to the side it does not sit on, or
// centres it.
void sub_stereo_control(PatternSlot& s, uint8_t y, uint8_t info, const CommandContext& c) {
    const bool right_channel = c.setting >= FIRST_RIGHT_SETTING;
    if (y >= 8) return set(s, EFFECT_IGNORED, info);
    if (y >= 4) return set(s, EFFECT_SET_CHANNEL_PANNING, CENTRE_PANNING);
    const bool to_right = (y & 1) ? !right_channel : right_channel;
    set(s, EFFECT_SET_CHANNEL_PANNING, to_right ? MAX_PANNING : 0);
}
void sub_pattern_loop(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_PATTERN_LOOP, y);
}
void sub_note_cut(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_NOTE_CUT, y);
}
void sub_note_delay(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_NOTE_DELAY, y);
}
void sub_pattern_delay(PatternSlot& s, uint8_t y, uint8_t, const CommandContext&) {
    set(s, EFFECT_PATTERN_DELAY, y);
}

constexpr SubHandler SUB_COMMANDS[16] = {
    sub_ignored,          sub_glissando,  sub_finetune,       sub_vibrato_waveform, // S0..S3
    sub_tremolo_waveform, sub_ignored,    sub_ignored,        sub_ignored,          // S4..S7
    sub_panning,          sub_ignored,    sub_stereo_control, sub_pattern_loop,     // S8..SB
    sub_note_cut,         sub_note_delay, sub_pattern_delay,  sub_ignored,          // SC..SF
};

// ---------------------------------------------------------------- commands

using Handler = void (*)(PatternSlot&, uint8_t info, const CommandContext&);

void command_s(PatternSlot& s, uint8_t info, const CommandContext& c) {
    if (info == 0) info = c.remembered; // S00 repeats the channel's last S command
    if (info == 0) return set(s, EFFECT_ARPEGGIO, 0);
    SUB_COMMANDS[info >> 4](s, info & 15, info, c);
}
void command_q(PatternSlot& s, uint8_t info, const CommandContext&) {
    set(s, EFFECT_S3M_RETRIG, info < 16 ? info | RETRIG_NO_VOLUME_CHANGE : info);
}
void command_t(PatternSlot& s, uint8_t info, const CommandContext&) {
    if (info == 0) return set(s, EFFECT_ARPEGGIO, 0);
    set(s, info >= FIRST_BPM ? EFFECT_SET_BPM : EFFECT_IGNORED, info);
}
void command_v(PatternSlot& s, uint8_t info, const CommandContext&) {
    set(s, info <= MAX_VOLUME ? EFFECT_SET_GLOBAL_VOLUME : EFFECT_IGNORED, info);
}
void command_x(PatternSlot& s, uint8_t info, const CommandContext&) {
    if (info > X_FULL_RIGHT) return set(s, EFFECT_IGNORED, info);
    set(s, EFFECT_SET_CHANNEL_PANNING,
        info == X_FULL_RIGHT ? MAX_PANNING : static_cast<uint8_t>(2 * info));
}

// A command either maps to a code chosen by whether its info is zero, or has
// its own handler.
struct CommandRule {
    uint8_t with_info;
    uint8_t without_info;
    Handler special;
};

constexpr CommandRule IGNORED = {EFFECT_IGNORED, EFFECT_ARPEGGIO, nullptr};
constexpr CommandRule plain(uint8_t code) {
    return {code, code, nullptr};
}

constexpr CommandRule COMMANDS[] = {
    IGNORED,                                      // 0: no command
    {EFFECT_SET_SPEED, EFFECT_ARPEGGIO, nullptr}, // A
    plain(EFFECT_POSITION_JUMP),                  // B
    plain(EFFECT_PATTERN_BREAK),                  // C
    plain(EFFECT_S3M_VOLUME_SLIDE),               // D
    plain(EFFECT_S3M_PORTA_DOWN),                 // E
    plain(EFFECT_S3M_PORTA_UP),                   // F
    plain(EFFECT_TONE_PORTA),                     // G
    plain(EFFECT_VIBRATO),                        // H
    plain(EFFECT_S3M_TREMOR),                     // I
    plain(EFFECT_S3M_ARPEGGIO),                   // J
    plain(EFFECT_S3M_VIBRATO_VOLSLIDE),           // K
    plain(EFFECT_S3M_TONE_PORTA_VOLSLIDE),        // L
    IGNORED,                                      // M
    IGNORED,                                      // N
    plain(EFFECT_SAMPLE_OFFSET),                  // O
    IGNORED,                                      // P
    {0, 0, command_q},                            // Q
    plain(EFFECT_S3M_TREMOLO),                    // R
    {0, 0, command_s},                            // S
    {0, 0, command_t},                            // T
    plain(EFFECT_FINE_VIBRATO),                   // U
    {0, 0, command_v},                            // V
    IGNORED,                                      // W
    {0, 0, command_x},                            // X
    IGNORED,                                      // Y
    IGNORED,                                      // Z
};
constexpr uint8_t COMMAND_COUNT = sizeof COMMANDS / sizeof COMMANDS[0];

void convert_command(PatternSlot& slot, uint8_t command, uint8_t info, const CommandContext& c) {
    const CommandRule& rule = command < COMMAND_COUNT ? COMMANDS[command] : IGNORED;
    if (rule.special) return rule.special(slot, info, c);
    set(slot, info ? rule.with_info : rule.without_info, info);
}

// Octave in the high nibble, semitone in the low one. Bytes no tracker writes
// (octave above 7, semitone above 11) are treated like the empty note byte.
uint8_t convert_note(uint8_t n, uint8_t instrument) {
    if (n == NOTE_BYTE_OFF) return NOTE_KEY_OFF;
    const uint8_t octave = n >> 4, semitone = n & 15;
    if (n == NOTE_BYTE_EMPTY || octave > HIGHEST_OCTAVE || semitone > HIGHEST_SEMITONE)
        return instrument ? NOTE_INSTRUMENT_ONLY : NOTE_NONE;
    return static_cast<uint8_t>(semitone + 12 * octave + 1);
}

} // namespace

void load_pattern(const ByteReader& in, const Layout& layout, const ChannelMap& map, uint16_t index,
                  PatternSlot* slots) {
    const uint16_t pointer = in.u16le(layout.pattern_pointers() + 2u * index);
    if (pointer == 0) return; // no data: the header cannot hold a pattern
    const uint64_t start = PARAGRAPH * pointer;
    // A length too short to hold itself leaves the pattern empty.
    if (in.u16le(start) < PACKED_LENGTH_BYTES) return;
    // The rows are read until 64 are complete, even past the stored length:
    // some trackers store a length that leaves out its own two bytes, so the
    // last entry of row 63 ends 2 bytes past it. A pattern whose rows end
    // within its length reads the same either way.
    const uint64_t data = start + PACKED_LENGTH_BYTES;
    const ByteReader packed = in.window(data, data + MAX_PACKED_BYTES);
    uint8_t remembered[CHANNELS] = {};
    const uint8_t channel_count = map.count;

    uint64_t pos = 0;
    for (uint32_t row = 0; row < ROWS && pos < packed.length;) {
        const uint8_t w = packed.u8(pos++);
        if (w == 0) {
            ++row;
            continue;
        }
        PatternSlot entry{};
        const uint8_t channel = w & ENTRY_CHANNEL;
        if (w & ENTRY_NOTE) {
            entry.instrument = packed.u8(pos + 1);
            entry.note = convert_note(packed.u8(pos), entry.instrument);
            pos += 2;
        }
        if (w & ENTRY_VOLUME)
            entry.volume = VOLUME_COLUMN_SET + std::min(packed.u8(pos++), MAX_VOLUME);
        uint8_t command = 0, info = 0;
        if (w & ENTRY_COMMAND) {
            command = packed.u8(pos);
            info = packed.u8(pos + 1);
            pos += 2;
        }
        const uint8_t internal = map.internal[channel];
        if (internal == NO_CHANNEL) continue;
        if (w & ENTRY_COMMAND) {
            if (info) remembered[channel] = info;
            convert_command(entry, command, info, {map.setting[channel], remembered[channel]});
        }
        slots[row * channel_count + internal] = entry;
    }
}

} // namespace replayer::s3m

// SPDX-License-Identifier: GPL-2.0-or-later
// IT's MIDI macros, as far as they set the filter: the replayer plays no
// MIDI, so a macro is kept only when it is the filter message F0 F0 0k v
// (k 0 cutoff, 1 resonance; v a byte or the command's parameter).
#include <algorithm>

#include "it_layout.h"

namespace replayer::it {

namespace {

constexpr int MACRO_BYTES = 32; // ASCII, ended by a zero or by its length
constexpr int FILTER_MESSAGE_BYTES = 4;
constexpr uint8_t FILTER_STATUS = 0xF0;
constexpr uint8_t FILTER_CUTOFF_CODE = 0;
constexpr uint8_t FILTER_RESONANCE_CODE = 1;
constexpr uint8_t MAX_FILTER_VALUE = 127;
constexpr int PARAMETER = -1;                // the byte the command's parameter fills
constexpr int DEFAULT_RESONANCE_MACROS = 16; // Z80..Z8F: resonance 0, 8 .. 120
constexpr uint8_t RESONANCE_PER_DEFAULT_MACRO = 8;

struct Macro {
    uint8_t kind;     // MACRO_*
    bool parametered; // the value is the command's parameter
    uint8_t value;    // else this one, 0..127
};

// The bytes of a macro: pairs of hexadecimal digits or 'z', spaces skipped.
// Anything else (another MIDI variable, an odd digit) makes it one the
// replayer does not follow.
Macro parse_macro(const ByteReader& in, uint64_t at) {
    int bytes[FILTER_MESSAGE_BYTES + 1];
    int count = 0, high = -1;
    for (int i = 0; i < MACRO_BYTES; ++i) {
        const char c = static_cast<char>(in.u8(at + i));
        if (c == 0) break;
        if (c == ' ') continue;
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (count > FILTER_MESSAGE_BYTES) return {};
        if ((c == 'z' || c == 'Z') && high < 0) {
            bytes[count++] = PARAMETER;
        } else if (digit >= 0 && high < 0) {
            high = digit;
        } else if (digit >= 0) {
            bytes[count++] = high << 4 | digit;
            high = -1;
        } else {
            return {};
        }
    }
    if (count != FILTER_MESSAGE_BYTES || high >= 0 || bytes[0] != FILTER_STATUS ||
        bytes[1] != FILTER_STATUS)
        return {};
    const uint8_t kind = bytes[2] == FILTER_CUTOFF_CODE      ? MACRO_CUTOFF
                         : bytes[2] == FILTER_RESONANCE_CODE ? MACRO_RESONANCE
                                                             : MACRO_NONE;
    if (bytes[3] == PARAMETER) return {kind, true, 0};
    return {kind, false, static_cast<uint8_t>(std::min(bytes[3], int{MAX_FILTER_VALUE}))};
}

// Where the MIDI configuration lies: after the pattern pointers and the edit
// history, when the file says it holds one; 0 when it does not.
uint64_t configuration_offset(const ByteReader& in, const Layout& layout) {
    const uint16_t special = in.u16le(SPECIAL);
    if (!(special & SPECIAL_MIDI_CONFIGURATION)) return 0;
    uint64_t at = layout.pattern_pointers() + 4u * layout.pattern_count;
    if (special & SPECIAL_EDIT_HISTORY)
        at += EDIT_HISTORY_COUNT_BYTES + EDIT_ENTRY_BYTES * in.u16le(at);
    return at + MIDI_CONFIGURATION_BYTES <= in.length ? at : 0;
}

} // namespace

void load_macros(MacroSet& macros, const ByteReader& in, const Layout& layout) {
    macros = MacroSet{};
    const uint64_t at = configuration_offset(in, layout);
    if (at == 0) {
        // IT's own configuration: SF0 sets the cutoff, Z80..Z8F the resonance.
        macros.parametered[0] = MACRO_CUTOFF;
        for (int k = 0; k < DEFAULT_RESONANCE_MACROS; ++k) {
            macros.fixed_kind[k] = MACRO_RESONANCE;
            macros.fixed_value[k] = static_cast<uint8_t>(k * RESONANCE_PER_DEFAULT_MACRO);
        }
        return;
    }
    for (int k = 0; k < PARAMETERED_MACROS; ++k) {
        const Macro m = parse_macro(in, at + PARAMETERED_MACRO_TABLE + k * MACRO_BYTES);
        macros.parametered[k] = m.parametered ? m.kind : MACRO_NONE;
    }
    for (int k = 0; k < FIXED_MACROS; ++k) {
        const Macro m = parse_macro(in, at + FIXED_MACRO_TABLE + k * MACRO_BYTES);
        macros.fixed_kind[k] = m.kind;
        // In a fixed macro the parameter is the command's own 0x80..0xFF, less 0x80.
        macros.fixed_value[k] = m.parametered ? static_cast<uint8_t>(k) : m.value;
    }
}

} // namespace replayer::it

// SPDX-License-Identifier: GPL-2.0-or-later
// A pattern cell as trackers show it: the internal effect codes written back
// in the notation of the module's tracker (XM and MOD share one, S3M has its
// own), their parameters as the tracker stored them.
#include <cstdio>
#include <cstring>

#include "engine.h"

namespace replayer {

namespace {

constexpr size_t CELL_TEXT_LENGTH = CELL_TEXT_SIZE - 1;
constexpr int SEMITONES = 12;
constexpr uint8_t NIBBLE_TO_PANNING = 17;
constexpr uint8_t KEEP_PHASE_NIBBLE_BIT = 4;

// How the parameter was changed on loading, so it can be written back.
enum class Shape : uint8_t {
    as_stored,
    nibble,   // a sub-command: the letter, then sub-command and nibble
    decimal,  // pattern break rows, stored as a number, written in decimal digits
    panning,  // 0..255 from a nibble
    waveform, // waveform number and the keep-phase bit from a nibble
};

struct Notation {
    char letter;     // 0: none in this notation
    uint8_t command; // the sub-command nibble for Shape::nibble
};

struct EffectText {
    Notation xm, s3m;
    Shape shape;
};

// Indexed by EffectCode.
constexpr EffectText EFFECT_TEXT[EFFECT_COUNT] = {
    {{'0', 0}, {'J', 0}, Shape::as_stored},  // arpeggio
    {{'1', 0}, {'F', 0}, Shape::as_stored},  // portamento up
    {{'2', 0}, {'E', 0}, Shape::as_stored},  // portamento down
    {{'3', 0}, {'G', 0}, Shape::as_stored},  // tone portamento
    {{'4', 0}, {'H', 0}, Shape::as_stored},  // vibrato
    {{'5', 0}, {'L', 0}, Shape::as_stored},  // tone portamento + volume slide
    {{'6', 0}, {'K', 0}, Shape::as_stored},  // vibrato + volume slide
    {{'7', 0}, {'R', 0}, Shape::as_stored},  // tremolo
    {{'8', 0}, {'X', 0}, Shape::as_stored},  // set panning
    {{'9', 0}, {'O', 0}, Shape::as_stored},  // sample offset
    {{'A', 0}, {'D', 0}, Shape::as_stored},  // volume slide
    {{'B', 0}, {'B', 0}, Shape::as_stored},  // position jump
    {{'C', 0}, {0, 0}, Shape::as_stored},    // set volume
    {{'D', 0}, {'C', 0}, Shape::decimal},    // pattern break
    {{'F', 0}, {'A', 0}, Shape::as_stored},  // set speed
    {{'F', 0}, {'T', 0}, Shape::as_stored},  // set tempo
    {{'G', 0}, {'V', 0}, Shape::as_stored},  // set global volume
    {{'H', 0}, {'W', 0}, Shape::as_stored},  // global volume slide
    {{'X', 1}, {0, 0}, Shape::nibble},       // extra fine portamento up
    {{'X', 2}, {0, 0}, Shape::nibble},       // extra fine portamento down
    {{'K', 0}, {0, 0}, Shape::as_stored},    // key off
    {{'L', 0}, {0, 0}, Shape::as_stored},    // envelope position
    {{0, 0}, {'U', 0}, Shape::as_stored},    // fine vibrato
    {{0, 0}, {'F', 0}, Shape::as_stored},    // S3M portamento up
    {{0, 0}, {'E', 0}, Shape::as_stored},    // S3M portamento down
    {{'P', 0}, {'P', 0}, Shape::as_stored},  // panning slide
    {{0, 0}, {'K', 0}, Shape::as_stored},    // S3M vibrato + volume slide
    {{'R', 0}, {'Q', 0}, Shape::as_stored},  // multi retrigger
    {{0, 0}, {'L', 0}, Shape::as_stored},    // S3M tone portamento + volume slide
    {{'T', 0}, {'I', 0}, Shape::as_stored},  // tremor
    {{0, 0}, {'S', 0xB}, Shape::nibble},     // S3M one-row loop
    {{0, 0}, {'D', 0}, Shape::as_stored},    // S3M volume slide
    {{0, 0}, {'Q', 0}, Shape::as_stored},    // S3M retrigger
    {{'E', 1}, {0, 0}, Shape::nibble},       // fine portamento up
    {{'E', 2}, {0, 0}, Shape::nibble},       // fine portamento down
    {{'E', 3}, {'S', 1}, Shape::nibble},     // glissando
    {{'E', 4}, {'S', 3}, Shape::waveform},   // vibrato waveform
    {{'E', 5}, {'S', 2}, Shape::nibble},     // finetune
    {{'E', 6}, {'S', 0xB}, Shape::nibble},   // pattern loop
    {{'E', 7}, {'S', 4}, Shape::waveform},   // tremolo waveform
    {{'E', 8}, {'S', 8}, Shape::panning},    // channel panning
    {{'E', 9}, {'Q', 0}, Shape::nibble},     // retrigger
    {{'E', 0xA}, {0, 0}, Shape::nibble},     // fine volume slide up
    {{'E', 0xB}, {0, 0}, Shape::nibble},     // fine volume slide down
    {{'E', 0xC}, {'S', 0xC}, Shape::nibble}, // note cut
    {{'E', 0xD}, {'S', 0xD}, Shape::nibble}, // note delay
    {{'E', 0xE}, {'S', 0xE}, Shape::nibble}, // pattern delay
    {{0, 0}, {'R', 0}, Shape::as_stored},    // S3M tremolo
    {{0, 0}, {'J', 0}, Shape::as_stored},    // S3M arpeggio
    {{0, 0}, {'I', 0}, Shape::as_stored},    // S3M tremor
    {{0, 0}, {'M', 0}, Shape::as_stored},    // IT channel volume
    {{0, 0}, {'N', 0}, Shape::as_stored},    // IT channel volume slide
    {{0, 0}, {'W', 0}, Shape::as_stored},    // IT global volume slide
    {{0, 0}, {'P', 0}, Shape::as_stored},    // IT panning slide
    {{0, 0}, {'T', 0}, Shape::as_stored},    // IT tempo slide
    {{0, 0}, {0, 0}, Shape::as_stored},      // note fade (a note byte in IT)
    {{0, 0}, {'S', 0x7}, Shape::nibble},     // IT past note actions
    {{0, 0}, {'S', 0x7}, Shape::nibble},     // IT new-note action
    {{0, 0}, {'S', 0xF}, Shape::nibble},     // IT filter macro choice
    {{0, 0}, {'Z', 0}, Shape::as_stored},    // IT MIDI macro
    {{0, 0}, {'S', 0x7}, Shape::nibble},     // IT envelope switch
    {{0, 0}, {'Y', 0}, Shape::as_stored},    // IT panbrello
    {{0, 0}, {'S', 0x5}, Shape::nibble},     // IT panbrello waveform
    {{0, 0}, {'S', 0x6}, Shape::nibble},     // IT fine pattern delay
    {{0, 0}, {'S', 0xA}, Shape::nibble},     // IT high offset
};

// Volume column commands 0x6..0xF by their letter.
constexpr char VOLUME_LETTERS[] = "dcbauhplrg";

void note_text(uint8_t note, char* out) {
    static constexpr char NAMES[] = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (note == NOTE_NONE) {
        std::memcpy(out, "...", 3);
    } else if (note >= NOTE_KEY_OFF) {
        std::memcpy(out, "===", 3);
    } else if (note > NOTE_LAST) {
        std::memcpy(out, "^^^", 3);
    } else {
        const int index = note - 1;
        std::memcpy(out, NAMES + 2 * (index % SEMITONES), 2);
        out[2] = static_cast<char>('0' + index / SEMITONES);
    }
}

void volume_text(uint8_t column, char* out) {
    const uint8_t command = volume_column_command(column);
    if (column >= VOLUME_COLUMN_SET_FIRST && column <= VOLUME_COLUMN_SET_LAST) {
        std::snprintf(out, 4, "v%02u", static_cast<unsigned>(column - VOLUME_COLUMN_SET_FIRST));
    } else if (command >= VOLUME_COLUMN_SLIDE_DOWN) {
        std::snprintf(out, 4, "%c%02u", VOLUME_LETTERS[command - VOLUME_COLUMN_SLIDE_DOWN],
                      static_cast<unsigned>(column & 0x0F));
    } else {
        std::memcpy(out, "...", 4);
    }
}

void effect_text(const EffectText& text, bool s3m, uint8_t p, char* out) {
    // A code without this notation's form is written in the other's.
    Notation n = s3m ? text.s3m : text.xm;
    if (!n.letter) n = s3m ? text.xm : text.s3m;
    unsigned value = p;
    switch (text.shape) {
    case Shape::as_stored:
        break;
    case Shape::nibble:
        value = (n.command << 4) | (p & 0x0F);
        break;
    case Shape::decimal:
        value = ((p / 10u % 10u) << 4) | (p % 10u);
        break;
    case Shape::panning:
        value = (n.command << 4) | (p / NIBBLE_TO_PANNING);
        break;
    case Shape::waveform:
        value =
            (n.command << 4) | (p & 3u) | ((p & WAVEFORM_KEEP_PHASE) ? KEEP_PHASE_NIBBLE_BIT : 0);
        break;
    }
    std::snprintf(out, 4, "%c%02X", n.letter, value & 0xFFu);
}

} // namespace

size_t cell_text(const ReplayContext& ctx, const PatternSlot& cell, char* out, size_t capacity) {
    char text[CELL_TEXT_SIZE] = "... .. ... ...";
    note_text(cell.note, text);
    if (cell.instrument) std::snprintf(text + 4, 3, "%02X", cell.instrument);
    text[6] = ' ';
    volume_text(cell.volume, text + 7);
    text[10] = ' ';
    // IT writes a note fade in the note column (older images hold it as an
    // effect).
    if (cell.note == NOTE_FADE || cell.effect == EFFECT_NOTE_FADE) {
        std::memcpy(text, "~~~", 3);
        text[3] = ' ';
    }
    const bool empty_effect =
        (cell.effect == EFFECT_ARPEGGIO && cell.parameter == 0) || cell.effect == EFFECT_NOTE_FADE;
    if (cell.effect < EFFECT_COUNT && !empty_effect)
        effect_text(EFFECT_TEXT[cell.effect],
                    ctx.song.format == FORMAT_S3M || ctx.song.format == FORMAT_IT, cell.parameter,
                    text + 11);
    if (capacity) {
        const size_t n = capacity - 1 < CELL_TEXT_LENGTH ? capacity - 1 : CELL_TEXT_LENGTH;
        std::memcpy(out, text, n);
        out[n] = '\0';
    }
    return CELL_TEXT_LENGTH;
}

} // namespace replayer

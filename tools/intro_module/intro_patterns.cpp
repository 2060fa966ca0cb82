// SPDX-License-Identifier: GPL-2.0-or-later
// The intro module's patterns: a drum groove, a bass line, arpeggiated chords,
// two lead melodies and a pad over two four-bar chord progressions in A minor.
#include <cstdint>
#include <string>
#include <vector>

#include "intro_module.h"

namespace {

using xmwriter::Cell;
using xmwriter::Pattern;

enum Channel { DRUMS, HATS, BASS, ARP, LEAD, PAD };
enum InstrumentNumber : uint8_t {
    KICK = 1,
    SNARE,
    HIHAT,
    BASS_SYNTH,
    CHIP,
    LEAD_SYNTH,
    PAD_SYNTH,
    PLUCK
};

// XM effect numbers.
constexpr uint8_t FX_ARPEGGIO = 0x0, FX_PORTA_DOWN = 0x2, FX_TONE_PORTA = 0x3, FX_VIBRATO = 0x4,
                  FX_VOLUME_SLIDE = 0xA, FX_POSITION_JUMP = 0xB, FX_SET_VOLUME = 0xC,
                  FX_SPEED = 0xF, FX_KEY_OFF = 20; // K
constexpr uint8_t KEY_OFF_NOTE = 97;
constexpr uint8_t VOLUME_COLUMN_SET = 0x10; // 0x10 + volume 0..64
constexpr int ROWS = 64, BAR = 16, BARS = ROWS / BAR;

struct Chord {
    int root;   // semitone above C
    bool minor; // else major
};
using Progression = Chord[BARS];
constexpr Progression PROGRESSION_A = {{9, true}, {5, false}, {0, false}, {7, false}}; // Am F C G
constexpr Progression PROGRESSION_B = {{5, false}, {7, false}, {4, true}, {9, true}};  // F G Em Am

// Sixteen tokens per bar: ".." rest, "==" key off, "A4", "C#5"; a leading '~'
// slides to the note with tone portamento.
const char* const MELODY_A[BARS] = {
    "A4 .. .. .. C5 .. .. .. E5 .. D5 .. C5 .. .. ..",
    "A4 .. .. .. .. .. .. .. F4 .. G4 .. A4 .. .. ..",
    "G4 .. .. .. E4 .. .. .. G4 .. C5 .. .. .. B4 ..",
    "D5 .. .. .. .. .. B4 .. G4 .. .. .. == .. .. ..",
};
const char* const MELODY_B[BARS] = {
    "C5 .. .. .. A4 .. .. .. ~F5 .. .. .. E5 .. D5 ..",
    "D5 .. .. .. B4 .. .. .. ~G5 .. .. .. F5 .. E5 ..",
    "E5 .. .. .. B4 .. G4 .. ~B4 .. .. .. C5 .. D5 ..",
    "C5 .. .. .. .. .. .. .. ~A4 .. .. .. == .. .. ..",
};

uint8_t note(int octave, int semitone) {
    return static_cast<uint8_t>(octave * 12 + semitone + 1);
}

struct Grid {
    Pattern pattern;
    explicit Grid(uint16_t rows) {
        pattern.rows = rows;
        pattern.cells.resize(size_t{rows} * INTRO_CHANNELS);
    }
    Cell& at(int row, int channel) { return pattern.cells[size_t(row) * INTRO_CHANNELS + channel]; }
    void play(int row, int channel, uint8_t n, uint8_t instrument, uint8_t volume = 0) {
        Cell& c = at(row, channel);
        c.note = n;
        c.instrument = instrument;
        c.volume = volume;
    }
    void effect(int row, int channel, uint8_t effect, uint8_t parameter) {
        at(row, channel).effect = effect;
        at(row, channel).parameter = parameter;
    }
};

void add_drums(Grid& g, int first_bar, int bars) {
    for (int b = first_bar; b < first_bar + bars; ++b) {
        const int r = b * BAR;
        for (int k : {0, 8, 10}) g.play(r + k, DRUMS, note(4, 0), KICK);
        for (int s : {4, 12}) g.play(r + s, DRUMS, note(4, 0), SNARE);
    }
}

void add_hats(Grid& g, int first_row, int end_row) {
    for (int r = first_row; r < end_row; r += 2)
        g.play(r, HATS, note(5, 0), HIHAT, VOLUME_COLUMN_SET + (r % 4 == 0 ? 48 : 24));
}

void add_bass(Grid& g, const Progression& p) {
    for (int b = 0; b < BARS; ++b) {
        const int r = b * BAR, root = p[b].root;
        for (int k : {0, 3, 6, 11}) g.play(r + k, BASS, note(2, root), BASS_SYNTH);
        g.play(r + 8, BASS, note(3, root), BASS_SYNTH);
        g.play(r + 14, BASS, note(2, root), BASS_SYNTH);
        // Short notes: released a few ticks into the row.
        g.effect(r + 6, BASS, FX_KEY_OFF, 3);
        g.effect(r + 14, BASS, FX_KEY_OFF, 3);
    }
}

void add_arpeggio(Grid& g, const Progression& p, int channel, uint8_t instrument) {
    for (int b = 0; b < BARS; ++b) {
        const int r = b * BAR;
        g.play(r, channel, note(4, p[b].root), instrument);
        for (int k = 0; k < BAR; ++k)
            g.effect(r + k, channel, FX_ARPEGGIO, p[b].minor ? 0x37 : 0x47);
    }
}

void add_pad(Grid& g, const Progression& p, uint8_t fade_speed) {
    for (int b = 0; b < BARS; ++b) {
        const int r = b * BAR;
        g.play(r, PAD, note(3, p[b].root), PAD_SYNTH);
        g.effect(r, PAD, FX_SET_VOLUME, 40);
        for (int k = 10; k < BAR; ++k) g.effect(r + k, PAD, FX_VOLUME_SLIDE, fade_speed);
    }
}

uint8_t parse_note(const std::string& token) {
    static const int SEMITONES[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    size_t i = token[0] == '~' ? 1 : 0;
    int semitone = SEMITONES[token[i] - 'A'];
    if (token[i + 1] == '#') ++semitone, ++i;
    return note(token[i + 1] - '0', semitone);
}

// Writes a melody; with `vibrato`, held notes get a vibrato after their attack.
void add_melody(Grid& g, const char* const (&bars)[BARS], int channel, uint8_t instrument,
                bool vibrato) {
    bool sliding = false;
    int held = 0;
    for (int b = 0; b < BARS; ++b) {
        size_t pos = 0;
        const std::string text = bars[b];
        for (int k = 0; k < BAR; ++k) {
            const size_t end = text.find(' ', pos);
            const std::string token = text.substr(pos, end - pos);
            pos = end == std::string::npos ? text.size() : end + 1;
            const int row = b * BAR + k;
            if (token == "..") {
                ++held;
                if (sliding)
                    g.effect(row, channel, FX_TONE_PORTA, 0);
                else if (vibrato && held >= 2)
                    g.effect(row, channel, FX_VIBRATO, 0x34);
                continue;
            }
            held = 0;
            sliding = false;
            if (token == "==") {
                g.play(row, channel, KEY_OFF_NOTE, 0);
                continue;
            }
            g.play(row, channel, parse_note(token), instrument);
            if (token[0] == '~') {
                g.effect(row, channel, FX_TONE_PORTA, 0x18);
                sliding = true;
            }
        }
    }
}

// Pattern 0: an 8-row count-in at a slightly slower tempo.
Pattern count_in() {
    Grid g(8);
    g.play(0, DRUMS, note(4, 0), KICK);
    g.effect(0, DRUMS, FX_SPEED, 120); // BPM
    g.effect(0, PAD, FX_SPEED, 6);     // ticks per row
    for (int r : {4, 6, 7}) g.play(r, DRUMS, note(4, 0), SNARE);
    add_hats(g, 0, 8);
    return g.pattern;
}

Pattern groove(bool arpeggio) {
    Grid g(ROWS);
    add_drums(g, 0, BARS);
    g.effect(0, DRUMS, FX_SPEED, 125); // back to full tempo
    add_hats(g, 0, ROWS);
    add_bass(g, PROGRESSION_A);
    if (arpeggio) add_arpeggio(g, PROGRESSION_A, ARP, CHIP);
    return g.pattern;
}

Pattern verse(const Progression& p, const char* const (&melody)[BARS], bool pad, bool vibrato) {
    Grid g(ROWS);
    add_drums(g, 0, BARS);
    g.effect(0, DRUMS, FX_SPEED, 6); // after the build-up's faster rows
    add_hats(g, 0, ROWS);
    add_bass(g, p);
    add_arpeggio(g, p, ARP, &melody == &MELODY_B ? PLUCK : CHIP);
    add_melody(g, melody, LEAD, LEAD_SYNTH, vibrato);
    if (pad) add_pad(g, p, 0x01);
    return g.pattern;
}

Pattern breakdown() {
    Grid g(ROWS);
    add_hats(g, 32, ROWS);
    add_arpeggio(g, PROGRESSION_B, ARP, PLUCK);
    add_pad(g, PROGRESSION_B, 0x02);
    return g.pattern;
}

// Drums thicken, the last bar rolls falling toms and plays one tick faster.
Pattern build_up() {
    Grid g(ROWS);
    add_drums(g, 0, BARS - 1);
    add_hats(g, 0, ROWS);
    add_bass(g, PROGRESSION_A);
    add_arpeggio(g, PROGRESSION_A, ARP, CHIP);
    const int roll = (BARS - 1) * BAR;
    g.effect(roll, HATS, FX_SPEED, 5);
    for (int k = 0; k < BAR; ++k) {
        g.play(roll + k, DRUMS, note(5, 12 - k / 2), k % 2 ? SNARE : KICK);
        g.effect(roll + k, DRUMS, FX_PORTA_DOWN, 0x08);
    }
    return g.pattern;
}

// The pads fade, the lead says goodbye, and the song goes back to the top.
Pattern outro() {
    Grid g(ROWS);
    add_pad(g, PROGRESSION_A, 0x01);
    add_arpeggio(g, PROGRESSION_A, ARP, PLUCK);
    g.play(0, LEAD, note(5, 9), LEAD_SYNTH);
    g.effect(8, LEAD, FX_KEY_OFF, 4);
    g.play(32, LEAD, note(5, 4), LEAD_SYNTH);
    g.effect(40, LEAD, FX_KEY_OFF, 4);
    g.effect(ROWS - 1, DRUMS, FX_POSITION_JUMP, 1);
    return g.pattern;
}

} // namespace

std::vector<Pattern> intro_patterns() {
    return {
        count_in(),                                   // 0
        groove(false),                                // 1
        groove(true),                                 // 2
        verse(PROGRESSION_A, MELODY_A, false, false), // 3
        verse(PROGRESSION_B, MELODY_B, false, false), // 4
        breakdown(),                                  // 5
        build_up(),                                   // 6
        verse(PROGRESSION_A, MELODY_A, true, true),   // 7
        verse(PROGRESSION_B, MELODY_B, true, true),   // 8
        outro(),                                      // 9
    };
}

std::vector<uint8_t> intro_orders() {
    return {0, 1, 2, 3, 4, 3, 4, 5, 6, 7, 8, 7, 8, 5, 6, 7, 9};
}

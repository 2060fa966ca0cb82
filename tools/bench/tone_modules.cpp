// SPDX-License-Identifier: GPL-2.0-or-later
// Writes the two tone modules the quality benchmark renders: a looped 16-bit
// sine of period 8 frames held at C-5 (16726 Hz, a 2090.75 Hz tone), and one
// of period 2.5 frames (two cycles in 5 frames) held at C-7 (66904 Hz: a
// 26761.6 Hz tone, above the Nyquist frequency of 48000 Hz output).
//
// And the click module: a full-scale sine of period 100 frames at C-4, cut on
// tick 3 of row 1 while it sounds mid-cycle, then the same sample started
// again on row 2 at frame 256 (sample offset 1), mid-cycle too.
//
// usage: tone_modules DIR   (writes DIR/sine8.xm, DIR/sine2p5.xm, DIR/cut.xm)
#include <cmath>
#include <cstdio>
#include <string>

#include "xm_writer.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double FULL_SCALE = 32767.0;
constexpr uint8_t NOTE_C4 = 49, NOTE_C5 = 61, NOTE_C7 = 85; // 1 = C-0
constexpr uint8_t EFFECT_EXTENDED = 0xE, EFFECT_SAMPLE_OFFSET = 0x9;
constexpr uint8_t CUT_ON_TICK_3 = 0xC3;
constexpr uint16_t ROWS = 256; // 30.72 s at speed 6, 125 BPM

xmwriter::Module tone(int frames, int cycles, uint8_t note) {
    xmwriter::Sample sample;
    sample.sixteen_bit = true;
    for (int i = 0; i < frames; ++i)
        sample.frames.push_back(static_cast<int16_t>(
            std::lround(FULL_SCALE * std::sin(2.0 * PI * cycles * i / frames))));
    sample.loop = xmwriter::LOOP_FORWARD;
    sample.loop_length = static_cast<uint32_t>(frames);
    xmwriter::Instrument instrument;
    instrument.samples = {sample};
    xmwriter::Pattern pattern;
    pattern.rows = ROWS;
    pattern.cells.resize(size_t{ROWS} * 2);
    pattern.cells[0] = {note, 1, 0, 0, 0};
    xmwriter::Module m;
    m.name = "tone";
    m.channels = 2;
    m.orders = {0};
    m.patterns = {pattern};
    m.instruments = {instrument};
    return m;
}

xmwriter::Module cut() {
    xmwriter::Module m = tone(100, 1, NOTE_C4);
    m.patterns[0].cells[2] = {0, 0, 0, EFFECT_EXTENDED, CUT_ON_TICK_3};
    m.patterns[0].cells[4] = {NOTE_C4, 1, 0, EFFECT_SAMPLE_OFFSET, 1};
    m.patterns[0].rows = 8;
    m.patterns[0].cells.resize(16);
    return m;
}

bool write(const std::string& path, const xmwriter::Module& m) {
    const std::vector<uint8_t> bytes = xmwriter::write_xm(m);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tone_modules DIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    if (!write(dir + "/sine8.xm", tone(8, 1, NOTE_C5)) ||
        !write(dir + "/sine2p5.xm", tone(5, 2, NOTE_C7)) || !write(dir + "/cut.xm", cut())) {
        std::fprintf(stderr, "tone_modules: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}

// Writes the intro's XM module. Deterministic: every run, on every build,
// writes the same bytes. Usage: make_intro_module OUT.xm
#include <cstdio>

#include "intro_module.h"

namespace {
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr uint16_t SPEED = 6; // ticks per row
constexpr uint16_t BPM = 125;
constexpr uint16_t RESTART_ORDER = 1; // after the count-in
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_intro_module OUT.xm\n");
        return EXIT_USAGE;
    }
    xmwriter::Module m;
    m.name = "quillrun skylet2";
    m.channels = INTRO_CHANNELS;
    m.speed = SPEED;
    m.bpm = BPM;
    m.restart = RESTART_ORDER;
    m.orders = intro_orders();
    m.patterns = intro_patterns();
    m.instruments = intro_instruments();
    const std::vector<uint8_t> bytes = xmwriter::write_xm(m);

    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return EXIT_FAILED;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "make_intro_module: %s: write failed\n", argv[1]);
        return EXIT_FAILED;
    }
    return 0;
}

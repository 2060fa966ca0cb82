// SPDX-License-Identifier: GPL-2.0-or-later
#include "module_info.h"

#include <bitset>

namespace {

constexpr size_t TITLE_CAPACITY = 64; // every format's title field is shorter

const char* format_name(uint8_t format) {
    switch (format) {
    case replayer::FORMAT_COMPACT:
        return "compact";
    case replayer::FORMAT_XM:
        return "xm";
    case replayer::FORMAT_MOD:
        return "mod";
    case replayer::FORMAT_MOD_FLT8:
        return "mod-flt8";
    case replayer::FORMAT_S3M:
        return "s3m";
    case replayer::FORMAT_MOD_15:
        return "mod-15";
    case replayer::FORMAT_IT:
        return "it";
    default:
        return "unknown";
    }
}

// Effect codes present in the slots; code 0 only where it is an arpeggio
// (with parameter 0 it is the empty effect).
std::bitset<256> effects_used(const replayer::ReplayContext& ctx) {
    std::bitset<256> used;
    const uint64_t slots = uint64_t{ctx.total_rows} * ctx.channel_count;
    for (uint64_t i = 0; i < slots; ++i) {
        const replayer::PatternSlot& s = ctx.slots[i];
        if (s.effect != replayer::EFFECT_ARPEGGIO || s.parameter != 0) used.set(s.effect);
    }
    return used;
}

} // namespace

void print_module_info(std::FILE* out, const replayer::LoadResult& loaded,
                       const std::vector<uint8_t>& bytes) {
    const replayer::ModuleScan& scan = loaded.scan;
    replayer::ReplayContext* ctx = loaded.context;
    std::fprintf(out, "format: %s\n", format_name(scan.format));
    char title[TITLE_CAPACITY];
    replayer::module_name(bytes.data(), bytes.size(), replayer::NAME_TITLE, 0, title, sizeof title);
    std::fprintf(out, "title: %s\n", title);
    std::fprintf(out, "channels: %u\n", unsigned{scan.channel_count});
    std::fprintf(out, "voices: %u\n", unsigned{scan.voice_count});
    std::fprintf(out, "patterns: %u\n", unsigned{scan.pattern_count});
    std::fprintf(out, "total_rows: %u\n", unsigned{scan.total_rows});
    std::fprintf(out, "instruments: %u\n", unsigned{scan.instrument_count});
    std::fprintf(out, "samples: %u\n", unsigned{scan.sample_count});
    std::fprintf(out, "sample_frames: %u\n", unsigned{scan.total_sample_frames});
    std::fprintf(out, "song_length: %u\n", unsigned{scan.song_length});
    std::fprintf(out, "restart_position: %u\n", unsigned{ctx->restart_position});
    std::fprintf(out, "tempo: %u\n", unsigned{ctx->default_speed});
    std::fprintf(out, "bpm: %u\n", unsigned{ctx->default_bpm});
    std::fprintf(out, "context_bytes: %u\n", unsigned{loaded.context_bytes});

    std::fprintf(out, "effects_used:");
    const std::bitset<256> used = effects_used(*ctx);
    const char* separator = " ";
    for (unsigned code = 0; code < used.size(); ++code) {
        if (!used.test(code)) continue;
        std::fprintf(out, "%s%u", separator, code);
        separator = ",";
    }
    std::fprintf(out, "\n");

    const replayer::PassInfo pass = replayer::measure_pass(
        ctx, uint64_t{replayer::PASS_LIMIT_SECONDS} * replayer::OUTPUT_SAMPLE_RATE);
    std::fprintf(out, "duration_s: %.3f\n",
                 static_cast<double>(pass.frames) / replayer::OUTPUT_SAMPLE_RATE);

    std::vector<replayer::SubsongInfo> subsongs(replayer::MAX_SUBSONGS);
    const uint32_t count = replayer::list_subsongs(ctx, subsongs.data(), replayer::MAX_SUBSONGS);
    std::fprintf(out, "subsongs: %u\n", count);
    for (uint32_t i = 0; i < count; ++i)
        std::fprintf(out, "subsong_%u: order %u, duration_s %.3f\n", i + 1,
                     unsigned{subsongs[i].start_order}, subsongs[i].seconds);
}

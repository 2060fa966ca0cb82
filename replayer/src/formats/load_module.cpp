// SPDX-License-Identifier: GPL-2.0-or-later
// The common loading road: prescan, size, one zero-filled allocation, the
// format's loader, the clean-up pass and the playback set-up.
#include <cstdlib>

#include "engine/engine.h"
#include "formats.h"

namespace replayer {

namespace {

constexpr int EXIT_BAD_MODULE = 1;

// Lays the regions out one after another behind the header, in the order the
// layout fixes, from the counts the prescan found.
void set_region_pointers(ReplayContext& ctx, const ModuleScan& scan) {
    auto* base = reinterpret_cast<uint8_t*>(&ctx);
    auto* channels = base + sizeof(ReplayContext);
    // The background voices follow the channels' own records.
    auto* instruments =
        channels + sizeof(ChannelState) * (size_t{scan.channel_count} + scan.voice_count);
    auto* samples = instruments + sizeof(InstrumentRecord) * scan.instrument_count;
    auto* patterns = samples + sizeof(SampleRecord) * scan.sample_count;
    auto* sample_data = patterns + sizeof(PatternRecord) * scan.pattern_count;
    auto* slots = sample_data + sizeof(int16_t) * uint64_t{scan.total_sample_frames};
    auto* row_visits = slots + sizeof(PatternSlot) * uint64_t{scan.total_rows} * scan.channel_count;
    ctx.channels = reinterpret_cast<ChannelState*>(channels);
    ctx.instruments = reinterpret_cast<InstrumentRecord*>(instruments);
    ctx.samples = reinterpret_cast<SampleRecord*>(samples);
    ctx.patterns = reinterpret_cast<PatternRecord*>(patterns);
    ctx.sample_data = reinterpret_cast<int16_t*>(sample_data);
    ctx.slots = reinterpret_cast<PatternSlot*>(slots);
    ctx.row_visits = row_visits;
}

// Every loader starts from the counts the prescan made room for.
void adopt_scan(ReplayContext& ctx, const ModuleScan& scan) {
    ctx.total_rows = scan.total_rows;
    ctx.total_sample_frames = scan.total_sample_frames;
    ctx.pattern_count = scan.pattern_count;
    ctx.sample_count = scan.sample_count;
    ctx.song_length = scan.song_length;
    ctx.channel_count = scan.channel_count;
    ctx.instrument_count = scan.instrument_count;
    ctx.voice_count = scan.voice_count;
}

const char* run_loader(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in) {
    switch (scan.format) {
    case FORMAT_COMPACT:
        return load_compact(ctx, scan, in);
    case FORMAT_XM:
        return load_xm(ctx, scan, in);
    case FORMAT_S3M:
        return load_s3m(ctx, scan, in);
    case FORMAT_IT:
        return load_it(ctx, scan, in);
    default:
        return load_mod(ctx, scan, in);
    }
}

} // namespace

LoadResult load_module_checked(const uint8_t* data, size_t length) {
    const ScanResult scanned = module_prescan(data, length);
    LoadResult result{};
    result.format = static_cast<ModuleFormat>(scanned.scan.format);
    result.scan = scanned.scan;
    result.error = scanned.error;
    if (result.error) return result;
    const SizeResult size = context_size(scanned.scan);
    result.error = size.error;
    if (result.error) return result;
    result.context_bytes = size.bytes;

    auto* ctx = static_cast<ReplayContext*>(std::calloc(1, size.bytes));
    result.error = ctx ? nullptr : "out of memory";
    if (result.error) return result;
    set_region_pointers(*ctx, scanned.scan);
    adopt_scan(*ctx, scanned.scan);
    result.error = run_loader(*ctx, scanned.scan, ByteReader{data, length});
    if (result.error) {
        std::free(ctx);
        return result;
    }
    post_pass(*ctx);
    ctx->song.format = scanned.scan.format;
    ctx->song.end_order = song_end_after(*ctx, 0);
    prepare_playback(*ctx);
    if (scanned.scan.format == FORMAT_MOD) settle_mod_timing(*ctx, ByteReader{data, length});
    result.context = ctx;
    return result;
}

ReplayContext* load_module(const uint8_t* data, size_t length) {
    LoadResult result = load_module_checked(data, length);
    if (!result.context) std::exit(EXIT_BAD_MODULE);
    return result.context;
}

} // namespace replayer

// Internal interface between the common loading path (prescan dispatch,
// context sizing, allocation, post-pass) and the per-format code.
//
// Each prescan fills the counts of its format into `scan` (format already set)
// and returns null, or returns the reason the module is refused. Each loader
// receives the zero-filled context with its header pointers set from the scan;
// it returns null, or the reason the module is refused (only the compact
// reader, which does not trust its image, refuses anything at this stage).
#pragma once

#include "byte_reader.h"
#include "replayer/replayer.h"

namespace replayer {

const char* prescan_xm(const ByteReader& in, ModuleScan& scan);
const char* prescan_mod(const ByteReader& in, ModuleScan& scan);
const char* prescan_s3m(const ByteReader& in, ModuleScan& scan);
const char* prescan_compact(const ByteReader& in, ModuleScan& scan);

const char* load_xm(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_mod(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_s3m(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);
const char* load_compact(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in);

// The tempo a song starts at when its file gives none (or none usable).
inline constexpr uint8_t DEFAULT_BPM = 125;

// Rewrites a raw XM/MOD effect (0..15) and parameter into internal codes.
void convert_effect(PatternSlot& slot);

} // namespace replayer

// The parts of the XM loader, one file each; load_xm (xm_loader.cpp) runs them.
#pragma once

#include "loaders.h"

namespace replayer {

// Unpacks the file's patterns into consecutive rows of the slot array,
// advancing ctx.total_rows; returns the offset where the instruments start.
uint64_t load_xm_patterns(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in,
                          uint16_t pattern_count);

// Reads the instruments from `offset` on: envelopes, sample maps, sample
// records and sample data, advancing ctx.sample_count and
// ctx.total_sample_frames.
void load_xm_instruments(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in,
                         uint64_t offset);

} // namespace replayer

// The steps that end every load, whatever the format.
#pragma once

#include "replayer/replayer.h"

namespace replayer {

// Cleans effect parameters that playback must never see (out-of-range jumps and
// volumes, zero parameters of effects that would divide or never fire).
void post_pass(ReplayContext& ctx);

// Zeroes the playback state, channels and row visits and sets the song's
// starting values, ready to render at OUTPUT_SAMPLE_RATE.
void prepare_playback(ReplayContext& ctx);

} // namespace replayer

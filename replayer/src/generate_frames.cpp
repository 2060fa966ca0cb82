// Placeholder until the playback engine lands: renders silence.
#include <cstring>

#include "replayer/replayer.h"

namespace replayer {

void generate_frames(ReplayContext*, float* output, uint32_t frame_count) {
    std::memset(output, 0, (frame_count & 0xFFFF) * OUTPUT_CHANNELS * sizeof(float));
}

} // namespace replayer

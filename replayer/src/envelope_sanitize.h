// Envelope clean-up shared by the loaders that read envelopes from a file.
#pragma once

#include <cstdint>

#include "replayer/replayer.h"

namespace replayer {

// Bits of a file's envelope type byte.
inline constexpr uint8_t ENVELOPE_ON = 1;
inline constexpr uint8_t ENVELOPE_SUSTAIN = 2;
inline constexpr uint8_t ENVELOPE_LOOP = 4;

// Makes `envelope` safe for playback: either off (all zero) or 1..12 points
// with strictly increasing frames, a sustain point that exists or
// SUSTAIN_NONE, and a loop that is absent (0, 0) or lies inside the points.
void sanitize_envelope(EnvelopeRecord& envelope, uint8_t type);

} // namespace replayer

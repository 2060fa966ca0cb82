// An envelope is either usable as it stands or switched off: playback walks
// its points by index and must never step past the used ones. One point is a
// usable envelope: a constant at that point's value.
#include "envelope_sanitize.h"

#include <cstring>

namespace replayer {

namespace {

bool frames_increase(const EnvelopeRecord& e) {
    for (int i = 1; i < e.point_count; ++i)
        if (e.points[i].frame <= e.points[i - 1].frame) return false;
    return true;
}

} // namespace

void sanitize_envelope(EnvelopeRecord& e, uint8_t type) {
    if (e.point_count > ENVELOPE_MAX_POINTS) e.point_count = ENVELOPE_MAX_POINTS;
    const bool usable = (type & ENVELOPE_ON) && e.point_count > 0 && frames_increase(e);
    if (!usable) {
        std::memset(&e, 0, sizeof e);
        return;
    }
    if (e.loop_start >= e.point_count) e.loop_start = e.loop_end = 0;
    if (e.loop_end >= e.point_count || e.loop_end <= e.loop_start || !(type & ENVELOPE_LOOP))
        e.loop_start = e.loop_end = 0;
    if (e.sustain >= e.point_count || !(type & ENVELOPE_SUSTAIN)) e.sustain = SUSTAIN_NONE;
}

} // namespace replayer

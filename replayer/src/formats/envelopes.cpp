// SPDX-License-Identifier: GPL-2.0-or-later
// An envelope is either usable as it stands or switched off: playback walks
// its points by index and must never step past the used ones. One point is a
// usable envelope: a constant at that point's value.
#include <cstring>

#include "formats.h"

namespace replayer {

const char* envelope_error(const EnvelopeRecord& e) {
    if (e.point_count == 0) {
        if (e.sustain || e.loop_start || e.loop_end || e.sustain_end)
            return "switched-off envelope with points";
        return nullptr;
    }
    if (e.point_count > ENVELOPE_MAX_POINTS) return "envelope point count above 25";
    for (int i = 1; i < e.point_count; ++i)
        if (e.points[i].frame <= e.points[i - 1].frame) return "envelope frames do not increase";
    for (int i = 0; i < e.point_count; ++i)
        if (e.points[i].value > MAX_VOLUME) return "envelope value above 64";
    if (e.sustain >= e.point_count && e.sustain != SUSTAIN_NONE)
        return "envelope sustain point not a point";
    if (e.sustain != SUSTAIN_NONE && (e.sustain_end < e.sustain || e.sustain_end >= e.point_count))
        return "envelope sustain loop not inside the points";
    if (e.sustain == SUSTAIN_NONE && e.sustain_end) return "envelope sustain loop without sustain";
    const bool no_loop = e.loop_start == 0 && e.loop_end == 0;
    if (!no_loop && !(e.loop_start < e.loop_end && e.loop_end < e.point_count))
        return "envelope loop points invalid";
    return nullptr;
}

// The type bits decide what is used; whatever then still breaks a rule (frames
// that do not increase) switches the envelope off.
void sanitize_envelope(EnvelopeRecord& e, uint8_t type) {
    if (e.point_count > ENVELOPE_MAX_POINTS) e.point_count = ENVELOPE_MAX_POINTS;
    if (e.loop_start >= e.point_count) e.loop_start = e.loop_end = 0;
    if (e.loop_end >= e.point_count || e.loop_end <= e.loop_start || !(type & ENVELOPE_TYPE_LOOP))
        e.loop_start = e.loop_end = 0;
    if (e.sustain >= e.point_count || !(type & ENVELOPE_TYPE_SUSTAIN)) e.sustain = SUSTAIN_NONE;
    if (e.sustain == SUSTAIN_NONE)
        e.sustain_end = 0;
    else if (e.sustain_end < e.sustain || e.sustain_end >= e.point_count)
        e.sustain_end = e.sustain; // a single sustain point
    if (!(type & ENVELOPE_TYPE_ON) || envelope_error(e)) std::memset(&e, 0, sizeof e);
}

} // namespace replayer

// SPDX-License-Identifier: GPL-2.0-or-later
// The clean-up pass that ends every load: effect parameters playback must never
// see are rewritten into ones it plays safely.
#include "formats.h"

namespace replayer {

namespace {
constexpr uint8_t VOLUME_COLUMN_VIBRATO_SPEED_ZERO = 0xA0; // plays as nothing
constexpr uint8_t LOW_NIBBLE = 0x0F;
constexpr uint8_t MAX_PATTERN_DELAY = 15; // rows; a nibble in every source format

// Effects whose parameter is one nibble in every source format; a compact image
// may carry any byte, and playback scales these parameters into byte memories.
bool takes_one_nibble(uint8_t effect) {
    return effect == EFFECT_FINE_PORTA_UP || effect == EFFECT_FINE_PORTA_DOWN ||
           effect == EFFECT_FINE_VOLUME_SLIDE_UP || effect == EFFECT_FINE_VOLUME_SLIDE_DOWN ||
           effect == EFFECT_SET_FINETUNE;
}
} // namespace

void post_pass(ReplayContext& ctx) {
    const uint64_t slot_count = uint64_t{ctx.total_rows} * ctx.channel_count;
    const uint8_t global_maximum =
        (ctx.tracker_rules & RULE_IT) ? MAX_IT_GLOBAL_VOLUME : MAX_VOLUME;
    for (uint64_t i = 0; i < slot_count; ++i) {
        PatternSlot& s = ctx.slots[i];
        // Most slots carry no effect, and no rule below is about effect 0:
        // skipping them keeps huge, mostly empty pattern arrays cheap.
        if (s.effect == EFFECT_ARPEGGIO && s.volume != VOLUME_COLUMN_VIBRATO_SPEED_ZERO) continue;
        if (s.effect == EFFECT_POSITION_JUMP && s.parameter >= ctx.song_length) s.parameter = 0;
        if (s.effect == EFFECT_SET_VOLUME && s.parameter > MAX_VOLUME) s.parameter = MAX_VOLUME;
        if (s.effect == EFFECT_SET_GLOBAL_VOLUME && s.parameter > global_maximum)
            s.parameter = global_maximum;
        if (s.effect == EFFECT_NOTE_CUT && s.parameter == 0) s.effect = EFFECT_SET_VOLUME;
        if (s.effect == EFFECT_NOTE_DELAY && s.parameter == 0) s.effect = EFFECT_ARPEGGIO;
        if (s.effect == EFFECT_RETRIGGER && s.parameter == 0) {
            s.effect = EFFECT_ARPEGGIO;
            if (s.note == NOTE_NONE) s.note = NOTE_RETRIGGER;
        }
        // Speed or BPM 0 would stop the clock: it means "back to the restart".
        if ((s.effect == EFFECT_SET_SPEED || s.effect == EFFECT_SET_BPM) && s.parameter == 0) {
            s.effect = EFFECT_POSITION_JUMP;
            s.parameter = ctx.restart_position;
        }
        if (takes_one_nibble(s.effect)) s.parameter &= LOW_NIBBLE;
        if (s.effect == EFFECT_PATTERN_DELAY && s.parameter > MAX_PATTERN_DELAY)
            s.parameter = MAX_PATTERN_DELAY;
        if (s.volume == VOLUME_COLUMN_VIBRATO_SPEED_ZERO) s.volume = 0;
    }
}

} // namespace replayer

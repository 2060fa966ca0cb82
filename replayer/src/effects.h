// The effect handlers behind the table in effects_table.cpp, by family. Each
// takes the context, the channel and the slot's parameter; the row handlers run
// on the row tick (inside handle_row), the tick handlers on later ticks.
#pragma once

#include "engine.h"

namespace replayer {

// Stores a parameter into a memory unless it is 0 (0 means "as before").
inline void remember(uint8_t& memory, uint8_t parameter) {
    if (parameter) memory = parameter;
}

// Shared by the plain volume slide and the effects that combine it.
void volume_slide(ChannelState& ch);

// pitch
void tick_arpeggio(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_tone_porta(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_vibrato(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_volume_slide_memory(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_tone_porta_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_vibrato_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_extra_fine_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_extra_fine_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_shared_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_shared_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_vibrato_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_tone_porta_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_porta_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_porta_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_glissando(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_vibrato_waveform(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_arpeggio(ReplayContext& ctx, ChannelState& ch, uint8_t p);

// volume
void tick_tremolo(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_volume(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_global_volume(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_global_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_key_off(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_envelope_position(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_tremor(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_tremor(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_shared_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void shared_multi_retrig(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_tremolo_waveform(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_retrigger(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_volume_up(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_fine_volume_down(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_note_cut(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_shared_tremolo(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void shared_tremor(ReplayContext& ctx, ChannelState& ch, uint8_t p);

// panning
void row_set_panning(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_panning_slide(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_channel_panning(ReplayContext& ctx, ChannelState& ch, uint8_t p);

// flow
void row_position_jump(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_pattern_break(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_speed(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_set_bpm(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_row_loop(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_pattern_loop(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void tick_note_delay(ReplayContext& ctx, ChannelState& ch, uint8_t p);
void row_pattern_delay(ReplayContext& ctx, ChannelState& ch, uint8_t p);

} // namespace replayer

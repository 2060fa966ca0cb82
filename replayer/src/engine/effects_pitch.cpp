// SPDX-License-Identifier: GPL-2.0-or-later
// Pitch effects: arpeggio, portamentos, tone portamento, vibrato and their
// settings. A period slide of 4 units per parameter unit keeps the amounts of
// the linear and Amiga tables comparable.
#include "engine.h"

namespace replayer {

namespace {

constexpr int SLIDE_UNITS = 4;               // period units per parameter unit
constexpr uint8_t SHARED_EXTRA_FINE = 0xE;   // high nibble: extra-fine slide on the row tick
constexpr uint8_t SHARED_FINE = 0xF;         // high nibble: fine slide on the row tick
constexpr uint8_t SHARED_LAST_COARSE = 0xDF; // larger memories slide only on the row tick
constexpr int FINE_FINETUNE_UNITS = 4;       // fine portamento memory holds 4 x amount

// The shared portamentos: Ex and Fx parameters slide once on the row tick.
void shared_porta_row(ChannelState& ch, int direction) {
    const uint8_t m = ch.shared_memory;
    const int amount = m & 0x0F;
    if ((m >> 4) == SHARED_EXTRA_FINE)
        slide_period(ch, direction * amount, SlideMode::cut);
    else if ((m >> 4) == SHARED_FINE)
        slide_period(ch, direction * SLIDE_UNITS * amount, SlideMode::cut);
}

void shared_porta_tick(ChannelState& ch, int direction) {
    if (ch.shared_memory <= SHARED_LAST_COARSE)
        slide_period(ch, direction * SLIDE_UNITS * ch.shared_memory, SlideMode::cut);
}

} // namespace

void tick_arpeggio(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    if (p) arpeggio_step(ctx, ch, p);
}

void row_porta_up(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.porta_up_memory, p);
}

void tick_porta_up(ReplayContext&, ChannelState& ch, uint8_t) {
    slide_period(ch, -SLIDE_UNITS * ch.porta_up_memory, SlideMode::clamped);
}

void row_porta_down(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.porta_down_memory, p);
}

void tick_porta_down(ReplayContext&, ChannelState& ch, uint8_t) {
    slide_period(ch, SLIDE_UNITS * ch.porta_down_memory, SlideMode::plain);
}

void tick_tone_porta(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    tone_portamento(ctx, ch);
}

// Also fine vibrato: vibrato_step picks the finer depth from the slot's code.
void tick_vibrato(ReplayContext& ctx, ChannelState& ch, uint8_t p) {
    set_nibbles(ch.vibrato_memory, p);
    ch.vibrato_active = 1;
    vibrato_step(ctx, ch);
}

void row_volume_slide_memory(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.volume_slide_memory, p);
}

void tick_tone_porta_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    tone_portamento(ctx, ch);
    volume_slide(ch);
}

// Vibrates with what the vibrato effects left in the memory.
void tick_vibrato_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    ch.vibrato_active = 1;
    vibrato_step(ctx, ch);
    volume_slide(ch);
}

void row_extra_fine_porta_up(ReplayContext&, ChannelState& ch, uint8_t p) {
    if (p & 0x0F) ch.extra_fine_porta_up_memory = p;
    slide_period(ch, -ch.extra_fine_porta_up_memory, SlideMode::clamped);
}

void row_extra_fine_porta_down(ReplayContext&, ChannelState& ch, uint8_t p) {
    remember(ch.extra_fine_porta_down_memory, p);
    slide_period(ch, ch.extra_fine_porta_down_memory, SlideMode::plain);
}

void row_shared_porta_up(ReplayContext&, ChannelState& ch, uint8_t) {
    shared_porta_row(ch, -1);
}
void tick_shared_porta_up(ReplayContext&, ChannelState& ch, uint8_t) {
    shared_porta_tick(ch, -1);
}
void row_shared_porta_down(ReplayContext&, ChannelState& ch, uint8_t) {
    shared_porta_row(ch, 1);
}
void tick_shared_porta_down(ReplayContext&, ChannelState& ch, uint8_t) {
    shared_porta_tick(ch, 1);
}

void tick_shared_vibrato_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    if (!shared_slide_on_later_tick(ch)) return;
    ch.vibrato_active = 1;
    vibrato_step(ctx, ch);
    shared_volume_slide(ch);
}

void tick_shared_tone_porta_volume_slide(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    if (!shared_slide_on_later_tick(ch)) return;
    tone_portamento(ctx, ch);
    shared_volume_slide(ch);
}

void row_fine_porta_up(ReplayContext&, ChannelState& ch, uint8_t p) {
    if (p) ch.fine_porta_up_memory = static_cast<uint8_t>(FINE_FINETUNE_UNITS * p);
    slide_period(ch, -ch.fine_porta_up_memory, SlideMode::clamped);
}

void row_fine_porta_down(ReplayContext&, ChannelState& ch, uint8_t p) {
    if (p) ch.fine_porta_down_memory = static_cast<uint8_t>(FINE_FINETUNE_UNITS * p);
    slide_period(ch, ch.fine_porta_down_memory, SlideMode::plain);
}

void row_glissando(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.glissando = p;
}
void row_vibrato_waveform(ReplayContext&, ChannelState& ch, uint8_t p) {
    ch.vibrato_waveform = p;
}

void tick_shared_arpeggio(ReplayContext& ctx, ChannelState& ch, uint8_t) {
    arpeggio_step(ctx, ch, ch.shared_memory);
}

} // namespace replayer

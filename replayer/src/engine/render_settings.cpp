// SPDX-License-Identifier: GPL-2.0-or-later
// Render settings: checked, turned once into what the mixer uses, and applied
// to a song that may be playing.
#include <cmath>

#include "engine.h"
#include "interpolation.h"

namespace replayer {

namespace {

constexpr float OCTAVES_PER_DECIBEL = 0.16609640474f; // log2(10) / 20
constexpr uint64_t MICROSECONDS_PER_SECOND = 1000000;

MixSetup derive(const RenderSettings& s) {
    MixSetup m{};
    m.gain = s.gain_db == 0.0f ? 1.0f : exp2f(s.gain_db * OCTAVES_PER_DECIBEL);
    m.ramp_frames = static_cast<uint32_t>(
        (uint64_t{s.sample_rate} * RAMP_MICROSECONDS + MICROSECONDS_PER_SECOND - 1) /
        MICROSECONDS_PER_SECOND);
    const bool intro_pitch =
        s.sample_rate == OUTPUT_SAMPLE_RATE && s.interpolation == INTERPOLATION_NEAREST;
    m.precise = !intro_pitch;
    m.exact = intro_pitch && !s.ramping;
    return m;
}

} // namespace

const char* render_settings_error(const RenderSettings& s) {
    if (s.sample_rate < MIN_SAMPLE_RATE || s.sample_rate > MAX_SAMPLE_RATE)
        return "the sample rate must lie between 8000 and 192000 Hz";
    if (s.interpolation > INTERPOLATION_SINC) return "unknown interpolation";
    if (s.ramping > 1) return "ramping is 0 (off) or 1 (on)";
    if (s.stereo_separation > MAX_STEREO_SEPARATION)
        return "the stereo separation must lie between 0 and 200 percent";
    if (!(s.gain_db >= MIN_GAIN_DB && s.gain_db <= MAX_GAIN_DB))
        return "the gain must lie between -60 and +24 dB";
    if (s.sample_format > SAMPLE_FORMAT_S16) return "unknown sample format";
    return nullptr;
}

void init_render_settings(ReplayContext& ctx) {
    if (ctx.settings.sample_rate != 0) return;
    ctx.settings = DEFAULT_RENDER_SETTINGS;
    ctx.mix = derive(ctx.settings);
}

const char* set_render_settings(ReplayContext* context, const RenderSettings& settings) {
    if (!context) return "no module";
    if (const char* error = render_settings_error(settings)) return error;
    // Once per process, before any voice can read them.
    if (settings.interpolation == INTERPOLATION_SINC) build_sinc_tables();
    ReplayContext& ctx = *context;
    PlaybackState& playback = ctx.playback;
    // The time left in the tick keeps its share of the tick.
    playback.tick_remainder = static_cast<uint32_t>(uint64_t{playback.tick_remainder} *
                                                    settings.sample_rate / playback.frame_rate);
    playback.frame_rate = settings.sample_rate;
    ctx.settings = settings;
    ctx.settings.spare[0] = ctx.settings.spare[1] = ctx.settings.spare[2] = 0;
    ctx.mix = derive(settings);
    for (int c = 0; c < voice_records(ctx); ++c) {
        ChannelState& ch = ctx.channels[c];
        if (!ctx.mix.precise) ch.mix.step_fine = ch.mix.position_fine = 0;
        update_voice(ctx, ch);
    }
    synchronise_mixer(ctx);
    return nullptr;
}

} // namespace replayer

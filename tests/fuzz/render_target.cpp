// SPDX-License-Identifier: GPL-2.0-or-later
// Load and render: a module that loads is played for a few seconds in buffers
// whose sizes come from the input, from single frames and odd counts up to
// counts past 65536 (which render in runs below it), at render settings that
// come from the input too, from the start or after a seek. Each buffer ends
// where its allocation ends, so a frame written too many is an
// AddressSanitizer report.
#include <cmath>
#include <vector>

#include "fuzz_checks.h"

namespace {

constexpr uint32_t RENDER_SECONDS = 2;
constexpr uint32_t RENDER_FRAMES = RENDER_SECONDS * replayer::OUTPUT_SAMPLE_RATE;

// Buffer sizes the input chooses from, one per plan byte (low four bits).
constexpr uint32_t BUFFER_SIZES[16] = {1,   2,   3,    7,    64,   127,  128,   255,
                                       441, 512, 1023, 1024, 2048, 4097, 65536, 65537};
// The plan bytes are the input's last ones: the module keeps all its bytes and
// the fuzzer can still reach the plan by changing the tail.
constexpr size_t PLAN_BYTES = 8;
constexpr uint32_t LARGEST_BUFFER = 65537;
// Every buffer renders at least one frame, so the loop ends after this many.
constexpr int MAX_BUFFERS = RENDER_FRAMES;

// Every channel adds its sample value (at most 1) x 0.25 x a gain of at most
// 1, the settings' gain aside. A kernel's taps weigh at most twice a sample
// frame, and under ramping a fading voice sounds beside the new one.
constexpr float CHANNEL_PEAK = 0.25f;
constexpr float KERNEL_AND_FADE = 4.0f;
constexpr uint32_t RATES[4] = {48000, 8000, 44100, 192000};
constexpr float LOUDEST_DB = 24.0f;
constexpr float LOUDEST_GAIN = 15.9f; // 10^(24/20), rounded up

// The harness's own loops carry no coverage (it would only add noise to the
// corpus) and no AddressSanitizer checks on its own buffer: they were a fifth
// of each run.
#if defined(__clang__)
#define HARNESS_ONLY __attribute__((no_sanitize("address", "coverage")))
#else
#define HARNESS_ONLY
#endif

struct Plan {
    uint32_t sizes[PLAN_BYTES];
    size_t count;
};

HARNESS_ONLY Plan plan_of(const uint8_t* data, size_t size) {
    Plan plan{{BUFFER_SIZES[0]}, 1};
    if (size == 0) return plan;
    plan.count = size < PLAN_BYTES ? size : PLAN_BYTES;
    for (size_t i = 0; i < plan.count; ++i)
        plan.sizes[i] = BUFFER_SIZES[data[size - plan.count + i] & 15u];
    return plan;
}

// The byte before the plan: interpolation (bits 0-1), ramping (2), rate (3-4),
// separation 200 % (5), gain +24 dB (6), a seek first (7).
replayer::RenderSettings settings_of(const uint8_t* data, size_t size) {
    replayer::RenderSettings s = replayer::DEFAULT_RENDER_SETTINGS;
    if (size <= PLAN_BYTES) return s;
    const uint8_t b = data[size - PLAN_BYTES - 1];
    s.interpolation = b & 3u;
    s.ramping = (b >> 2) & 1u;
    s.sample_rate = RATES[(b >> 3) & 3u];
    if (b & 0x20) s.stereo_separation = replayer::MAX_STEREO_SEPARATION;
    if (b & 0x40) s.gain_db = LOUDEST_DB;
    return s;
}

HARNESS_ONLY bool frames_sound(const float* values, size_t count, float peak) {
    bool sound = true;
    for (size_t k = 0; k < count; ++k) sound &= std::fabs(values[k]) <= peak;
    return sound;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    replayer::ReplayContext* context = fuzz::load_checked(data, size);
    if (!context) return 0;
    static std::vector<float> output(size_t{LARGEST_BUFFER} * replayer::OUTPUT_CHANNELS);
    const replayer::RenderSettings settings = settings_of(data, size);
    if (replayer::set_render_settings(context, settings))
        fuzz::fail("render", "settings within their ranges refused");
    // The whole render time plays, past the end of the song, with the meters' work.
    replayer::set_repeat_count(context, replayer::REPEAT_FOREVER);
    replayer::set_peak_meters(context, true);
    // Halfway through the render time: the frames after it go through the
    // same checks as those of a song played from its start.
    if (size > PLAN_BYTES && (data[size - PLAN_BYTES - 1] & 0x80))
        replayer::seek_to_frame(context, RENDER_FRAMES / 2 * uint64_t{settings.sample_rate} /
                                             replayer::OUTPUT_SAMPLE_RATE);
    const float loudness = settings.gain_db > 0 ? LOUDEST_GAIN : 1.0f;
    const float kernel = context->mix.exact ? 1.0f : KERNEL_AND_FADE;
    const float peak =
        CHANNEL_PEAK * kernel * loudness * static_cast<float>(context->channel_count);
    const Plan plan = plan_of(data, size);
    uint32_t rendered = 0;
    for (int i = 0; i < MAX_BUFFERS && rendered < RENDER_FRAMES; ++i) {
        const uint32_t frames = plan.sizes[static_cast<size_t>(i) % plan.count];
        const size_t values = size_t{frames} * replayer::OUTPUT_CHANNELS;
        float* buffer = output.data() + output.size() - values;
        if (replayer::generate_frames(context, buffer, frames) != frames)
            fuzz::fail("render", "a song played for ever ended");
        if (!frames_sound(buffer, values, peak))
            fuzz::fail("render", "frame not finite or too loud");
        rendered += frames;
    }
    replayer::free_module(context);
    return 0;
}

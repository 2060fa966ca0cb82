// SPDX-License-Identifier: GPL-2.0-or-later
// The device's data callback, driven directly as the audio thread would.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio.h"

namespace {

constexpr uint32_t PERIOD = 1024; // frames the library asks for per call
constexpr size_t SAMPLES = PERIOD * replayer::OUTPUT_CHANNELS;
// A value the library never hands over and the engine never writes, so any
// write shows, zeros included.
const float UNTOUCHED = std::nanf("");

bool untouched(float sample) {
    uint32_t bits, marker;
    std::memcpy(&bits, &sample, sizeof bits);
    std::memcpy(&marker, &UNTOUCHED, sizeof marker);
    return bits == marker;
}

struct CallbackState {
    ~CallbackState() {
        audio_started.store(false);
        replay_context = nullptr;
    }
};

struct QuietCase {
    const char* name;
    bool started;
    bool context;
    uint32_t frame_count;
};

TEST(AudioCallback, WritesNothingUntilStartedAndPublishedOrWhenAskedForNoFrames) {
    const QuietCase cases[] = {
        {"before the first frame", false, true, PERIOD},
        {"before the first frame, no context", false, false, PERIOD},
        {"started without a context", true, false, PERIOD},
        {"zero frames", true, true, 0},
    };
    for (const QuietCase& c : cases) {
        SCOPED_TRACE(c.name);
        CallbackState reset;
        // A zeroed context header of the case's own: enough for calls that
        // must not render anything, and nothing carries over between cases.
        replayer::ReplayContext blank{};
        replay_context = c.context ? &blank : nullptr;
        audio_started.store(c.started);
        std::vector<float> buffer(SAMPLES, UNTOUCHED);
        audio_data_callback(nullptr, buffer.data(), nullptr, c.frame_count);
        size_t written = 0;
        for (float sample : buffer) written += !untouched(sample);
        EXPECT_EQ(written, 0u);
    }
}

TEST(AudioCallback, RendersTheRequestedFramesOfTheIntroModuleAndNoMore) {
    // The module is committed: a missing or unloadable one is a failure.
    std::ifstream file(INTRO_MODULE_PATH, std::ios::binary);
    ASSERT_TRUE(file) << "no module at " << INTRO_MODULE_PATH;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    replayer::LoadResult loaded = replayer::load_module_checked(bytes.data(), bytes.size());
    ASSERT_NE(loaded.context, nullptr) << loaded.error;

    CallbackState reset;
    replay_context = loaded.context;
    audio_started.store(true);
    constexpr uint32_t ASKED = PERIOD - 24;
    std::vector<float> buffer(SAMPLES, UNTOUCHED);
    audio_data_callback(nullptr, buffer.data(), nullptr, ASKED);
    for (size_t i = 0; i < SAMPLES; ++i) {
        bool inside = i < ASKED * replayer::OUTPUT_CHANNELS;
        ASSERT_EQ(untouched(buffer[i]), !inside) << "sample " << i;
        if (inside) {
            ASSERT_TRUE(std::isfinite(buffer[i])) << "sample " << i;
        }
    }
    replayer::free_module(loaded.context);
}

} // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
#include "audio.h"

#include <miniaudio.h>

#include <type_traits>

#include "jack_library.h"

ma_device audio_device;
ma_device_config audio_device_config;
bool audio_device_ready = false;
std::atomic<bool> audio_started{false};
replayer::ReplayContext* replay_context = nullptr;

static_assert(std::is_same_v<decltype(&audio_data_callback), ma_device_data_proc>,
              "audio_data_callback must match the library's data callback type");

void open_audio_device() {
    choose_jack_library();
    audio_device_config = ma_device_config_init(ma_device_type_playback);
    audio_device_config.sampleRate = replayer::OUTPUT_SAMPLE_RATE;
    audio_device_config.playback.format = ma_format_f32;
    audio_device_config.playback.channels = replayer::OUTPUT_CHANNELS;
    audio_device_config.dataCallback = audio_data_callback;
    // No context of our own: the library creates one, and with JACK as its only
    // backend it never starts a server and registers as "miniaudio".
    audio_device_ready = ma_device_init(nullptr, &audio_device_config, &audio_device) == MA_SUCCESS;
}

void apply_master_gain() {
    if (audio_device_ready) ma_device_set_master_volume(&audio_device, MASTER_GAIN);
}

void start_audio_once() {
    // On a device that never opened this is a no-op that reports an error.
    ma_device_start(&audio_device);
}

void audio_data_callback(ma_device*, void* output, const void*, uint32_t frame_count) {
    // Buffers asked for between the device start and the first frame's flag
    // keep the zeros the library put there.
    if (!audio_started.load(std::memory_order_acquire)) return;
    replayer::ReplayContext* context = replay_context;
    if (!context) return;
    replayer::generate_frames(context, static_cast<float*>(output), frame_count);
}

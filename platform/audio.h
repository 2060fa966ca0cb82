// SPDX-License-Identifier: GPL-2.0-or-later
// The audio device: one miniaudio playback device on JACK (jackd, or PipeWire
// through its JACK library), fed by the replayer.
//
// Threads: everything here runs on the main thread except `audio_data_callback`,
// which runs on the JACK client's process thread. The main thread publishes
// `replay_context` before the device can start and then sets `audio_started`
// once; the callback reads both and nothing else of the main thread's state.
#pragma once

#include <atomic>
#include <cstdint>

#include "quillrun/replayer.h"

struct ma_device;

inline constexpr float MASTER_GAIN = 2.5f; // linear factor the device applies before clipping

extern ma_device audio_device;          // opened once, never stopped, closed or freed
extern bool audio_device_ready;         // the open succeeded; main thread only
extern std::atomic<bool> audio_started; // set once on the first frame: release store, acquire load
extern replayer::ReplayContext* replay_context; // published once, before the first frame

// Opens (does not start) the playback device: 48000 Hz, two f32 channels,
// through the JACK client library whose server answers (jackd's, or
// PipeWire's), with that library's messages silenced. Failure is silent and
// leaves `audio_device_ready` false.
void open_audio_device();

// Sets the master gain if the device is open. Call once `replay_context` is
// published and before the first frame.
void apply_master_gain();

// Asks the device to start; the result is ignored (a device that never opened
// simply stays silent). Called exactly once, from the first frame.
void start_audio_once();

// The device's data callback. Leaves the library's silent buffer untouched
// until `audio_started` is set and a context is published; then renders
// frame_count mod 65536 frames into it.
void audio_data_callback(ma_device* device, void* output, const void* input, uint32_t frame_count);

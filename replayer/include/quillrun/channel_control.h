// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: a caller's control of each channel beside the song's own
// volumes: mute, solo and a volume. Included by replayer.h.
//
// The settings scale the channel's gains from the next frame on (a ramped
// mixer ramps to them) and stay through restart_song, seeks and jumps until
// changed again; a module loads with every channel playing as the song says.
// While any channel is soloed, only soloed channels that are not muted sound.
// For the thread that renders the context, between two render calls; nothing
// is allocated, locked or written to a file. False, and nothing changed, for a
// channel the module does not have (or a volume that is not 0..1).
#pragma once

#include "quillrun/context_api.h"

namespace replayer {

// ChannelState::control_flags
inline constexpr uint8_t CHANNEL_MUTED = 1;
inline constexpr uint8_t CHANNEL_SOLO = 2;
inline constexpr uint8_t CHANNEL_SILENCED = 4; // muted, or another channel soloed

QUILLRUN_API bool set_channel_mute(ReplayContext* context, uint8_t channel, bool muted);
QUILLRUN_API bool set_channel_solo(ReplayContext* context, uint8_t channel, bool solo);
// 0 (silent) to 1 (as the song plays it, the default), in steps of 1/255.
QUILLRUN_API bool set_channel_volume(ReplayContext* context, uint8_t channel, float volume);

} // namespace replayer

// SPDX-License-Identifier: GPL-2.0-or-later
// `--mute LIST` and `--solo LIST`: channel numbers from 1, with ranges as
// 2-4, separated by commas.
#pragma once

#include <bitset>

#include "quillrun/replayer.h"

using ChannelSet = std::bitset<256>; // bit c: channel c + 1

// Adds the channels `text` names to `set`; false when it is no such list.
bool parse_channel_list(const char* text, ChannelSet& set);

// Mutes the first set's channels and solos the second's; returns the first
// channel number named that the module does not have, or 0.
unsigned apply_channel_lists(replayer::ReplayContext* ctx, const ChannelSet& mute,
                             const ChannelSet& solo);

// SPDX-License-Identifier: GPL-2.0-or-later
// The pieces of the intro's module, put together by make_intro_module.
#pragma once

#include <vector>

#include "xm_writer.h"

// Instruments 1..8 (kick, snare, hihat, bass, chip, lead, pad, pluck), then
// sample-less instruments whose names carry a greeting.
std::vector<xmwriter::Instrument> intro_instruments();

// The patterns for six channels: pattern 0 is an 8-row count-in, the rest are
// 64 rows each.
std::vector<xmwriter::Pattern> intro_patterns();

// The song: order of the patterns.
std::vector<uint8_t> intro_orders();

inline constexpr int INTRO_CHANNELS = 6;

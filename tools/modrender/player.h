// SPDX-License-Identifier: GPL-2.0-or-later
// `modrender --play`: a loaded module through the default audio device.
#pragma once

#include <cstdint>

#include "quillrun/replayer.h"
#include "start_point.h"

struct PlayOptions {
    replayer::RenderSettings settings = replayer::LISTENING_RENDER_SETTINGS;
    bool device_rate = true; // render at the rate the device runs at, not settings'
    bool timed = false;      // false: one pass through the song
    double seconds = 0;      // with timed: how long
    StartPoint start;        // where playing begins (found: checked before)
    bool gain = false;       // the intro's master gain and clipping
    bool status = false;     // a status line on standard error, redrawn in place
    bool keyboard = false;   // standard input is a terminal: q stops
};

// Plays until the pass or the time is over, q is pressed or SIGINT comes;
// returns null then, or the reason no device could play.
const char* play_module(replayer::ReplayContext* ctx, const PlayOptions& options);

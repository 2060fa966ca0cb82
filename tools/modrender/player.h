// SPDX-License-Identifier: GPL-2.0-or-later
// `modrender --play`: modules one after another through the default audio
// device, with keys and a status line on a terminal.
#pragma once

#include <vector>

#include "song_list.h"

struct PlayOptions {
    SongRequest song;        // what to play of each file, and how
    bool device_rate = true; // render at the rate the device runs at, not the settings'
    bool gain = false;       // the intro's master gain and clipping
    bool status = false;     // a status line on standard error, redrawn in place
    bool keyboard = false;   // standard input is a terminal: keys control playing
};

// Plays the files in turn until the last one ends, q is pressed or SIGINT
// comes; returns null then, or the reason no device could play. A file that
// does not load, or lacks what the request names, ends the program with
// status 1 before anything plays.
const char* play_files(const std::vector<const char*>& paths, const PlayOptions& options);

// SPDX-License-Identifier: GPL-2.0-or-later
// The render settings modrender takes from its command line: the listening
// preset unless told otherwise, or exactly the intro's rendering.
#pragma once

#include <string>

#include "quillrun/replayer.h"

struct RenderOptions {
    replayer::RenderSettings settings = replayer::LISTENING_RENDER_SETTINGS;
    bool exact = false;      // --exact: the intro's rate, interpolation and ramping
    bool rate_set = false;   // --rate given
    bool shaped = false;     // --rate, --interp, --ramp or --no-ramp given
    bool format_set = false; // --format given
};

// Takes `arg` (and its value, argv[i + 1], moving i past it) when it is a
// render option; false when it is none. A bad value is a usage error, reported
// through `fail` with a one-line message.
bool take_render_option(RenderOptions& o, const std::string& arg, int argc, char** argv, int& i,
                        void (*fail)(const char*));

// The usage error of a combination, or null.
const char* render_options_conflict(const RenderOptions& o);

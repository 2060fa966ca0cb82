// SPDX-License-Identifier: GPL-2.0-or-later
// The modules of one modrender call, each loaded and set up as the command
// line asks: settings, subsong, repeat count, start, muted channels, and the
// frame at which rendering or playing it stops.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "channel_list.h"
#include "quillrun/replayer.h"
#include "start_point.h"

struct SongRequest {
    replayer::RenderSettings settings = replayer::LISTENING_RENDER_SETTINGS;
    int32_t repeat = 0;      // passes after the first, REPEAT_FOREVER for ever
    bool repeat_set = false; // --repeat given (else -t plays for ever)
    uint32_t subsong = 0;    // 0 the main song
    StartPoint start;        // where each song begins
    ChannelSet mute, solo;   // channels from 1
    bool timed = false;      // -t given
    double seconds = 0;      // with timed: how long, from the start point
};

struct Song {
    std::string path;
    std::string title;
    replayer::LoadResult loaded{}; // owns the context
    uint64_t first_frame = 0;      // where it begins, counted from the song's start
    uint64_t end_frame = 0;        // where it stops: the song's end or the time asked
    bool endless = false;          // it never stops by itself (--repeat -1, --play only)
    ~Song();
};

using SongList = std::vector<std::unique_ptr<Song>>;

// Reads and loads every file in turn and sets each up at `rate`; a file or a
// request it cannot meet (a subsong, row or channel it lacks) ends the
// program with a one-line reason and status 1.
SongList load_songs(const std::vector<const char*>& paths, const SongRequest& request,
                    uint32_t rate);

// Puts the song back where it begins (its start point), every control kept.
void rewind_song(Song& song);

// Puts the paths in a random order.
void shuffle_paths(std::vector<const char*>& paths);

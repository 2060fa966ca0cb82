// SPDX-License-Identifier: GPL-2.0-or-later
#include "song_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "module_file.h"

namespace {

constexpr int EXIT_REJECTED = 1;
constexpr size_t MAX_MODULE_BYTES = size_t{512} << 20; // far beyond what fits a context
constexpr size_t TITLE_CAPACITY = 64;                  // every format's title field is shorter

[[noreturn]] void reject(const std::string& file, const std::string& reason) {
    std::fprintf(stderr, "modrender: %s: %s\n", file.c_str(), reason.c_str());
    std::exit(EXIT_REJECTED);
}

// How far the request lets the song play, from its start.
uint64_t frame_limit(const SongRequest& r, uint32_t rate, uint64_t first) {
    if (r.timed) return first + static_cast<uint64_t>(std::llround(r.seconds * rate));
    if (r.repeat == replayer::REPEAT_FOREVER) return UINT64_MAX;
    return uint64_t{replayer::PASS_LIMIT_SECONDS} * rate * (uint64_t(r.repeat) + 1);
}

void set_up(Song& song, const SongRequest& r, uint32_t rate) {
    replayer::ReplayContext* ctx = song.loaded.context;
    replayer::RenderSettings settings = r.settings;
    settings.sample_rate = rate;
    if (const char* error = replayer::set_render_settings(ctx, settings)) reject(song.path, error);
    if (r.subsong && !replayer::select_subsong(ctx, r.subsong))
        reject(song.path, "--subsong names a subsong the module does not have");
    // -t alone plays on whatever the song does; --repeat counts passes.
    replayer::set_repeat_count(ctx, r.repeat_set || !r.timed ? r.repeat : replayer::REPEAT_FOREVER);
    if (r.start.kind == StartPoint::ROW &&
        !replayer::time_at(ctx, r.start.order, r.start.row).found)
        reject(song.path, "--start names a row the song's first pass never plays");
    if (const unsigned missing = apply_channel_lists(ctx, r.mute, r.solo))
        reject(song.path,
               "the module has no channel " + std::to_string(missing) + " (--mute, --solo)");
    song.first_frame = seek_to_start(ctx, r.start);
    const uint64_t limit = frame_limit(r, rate, song.first_frame);
    song.endless = limit == UINT64_MAX;
    // The song's own end, found by the sequencer alone; it leaves the song at its start.
    const uint64_t own_end = song.endless ? UINT64_MAX : replayer::measure_song(ctx, limit).frames;
    song.end_frame = std::min(limit, own_end);
    rewind_song(song);
}

} // namespace

Song::~Song() {
    replayer::free_module(loaded.context);
}

SongList load_songs(const std::vector<const char*>& paths, const SongRequest& request,
                    uint32_t rate) {
    SongList songs;
    for (const char* path : paths) {
        auto song = std::make_unique<Song>();
        song->path = path;
        ModuleFile file = read_module_file(path, MAX_MODULE_BYTES);
        if (file.error) reject(path, file.error);
        song->loaded = replayer::load_module_checked(file.bytes.data(), file.bytes.size());
        if (song->loaded.error) reject(path, song->loaded.error);
        char title[TITLE_CAPACITY];
        replayer::module_name(file.bytes.data(), file.bytes.size(), replayer::NAME_TITLE, 0, title,
                              sizeof title);
        song->title = title;
        set_up(*song, request, rate);
        songs.push_back(std::move(song));
    }
    return songs;
}

void rewind_song(Song& song) {
    replayer::seek_to_frame(song.loaded.context, song.first_frame);
}

void shuffle_paths(std::vector<const char*>& paths) {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::shuffle(paths.begin(), paths.end(), generator);
}

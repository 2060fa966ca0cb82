// SPDX-License-Identifier: GPL-2.0-or-later
// The C interface: a handle around a replay context, the module's bytes (for
// its names) and its first pass, measured at load and again at a new sample
// rate, with room to keep the song's state meanwhile.
#include "quillrun/replayer_c.h"

#include <cstdlib>
#include <cstring>

#include "quillrun/replayer.h"

struct quillrun_module {
    replayer::ReplayContext* context;
    uint8_t* bytes; // a copy of the module file, read only for its names
    size_t length;
    replayer::PassInfo pass;
    uint8_t* saved; // the song's state while the pass is measured again
};

static_assert(sizeof(quillrun_settings) == sizeof(replayer::RenderSettings));

namespace {

constexpr const char* OUT_OF_MEMORY = "not enough memory for the module";

quillrun_module* refuse(const char** error, const char* reason) {
    if (error) *error = reason;
    return nullptr;
}

size_t name(const quillrun_module* module, replayer::NameKind kind, uint32_t index, char* buffer,
            size_t size) {
    if (!module) {
        if (buffer && size) buffer[0] = '\0';
        return 0;
    }
    return replayer::module_name(module->bytes, module->length, kind, index, buffer, size);
}

uint32_t name_count(const quillrun_module* module, replayer::NameKind kind) {
    return module ? replayer::module_name_count(module->bytes, module->length, kind) : 0;
}

// What playback writes: the playback state, the playing position, the
// channels and the row visits.
size_t state_bytes(const replayer::ReplayContext& ctx) {
    return sizeof ctx.playback + 2 + sizeof(replayer::ChannelState) * ctx.channel_count +
           size_t{ctx.song_length} * replayer::MAX_PATTERN_ROWS;
}

template <bool Save> void copy_state(replayer::ReplayContext& ctx, uint8_t* at) {
    auto move = [&at](void* field, size_t bytes) {
        if (Save)
            std::memcpy(at, field, bytes);
        else
            std::memcpy(field, at, bytes);
        at += bytes;
    };
    move(&ctx.playback, sizeof ctx.playback);
    move(&ctx.playing_order, 1);
    move(&ctx.playing_row, 1);
    move(ctx.channels, sizeof(replayer::ChannelState) * ctx.channel_count);
    move(ctx.row_visits, size_t{ctx.song_length} * replayer::MAX_PATTERN_ROWS);
}

uint64_t pass_limit(const replayer::ReplayContext& ctx) {
    return uint64_t{replayer::PASS_LIMIT_SECONDS} * ctx.settings.sample_rate;
}

replayer::RenderSettings to_settings(const quillrun_settings& s) {
    replayer::RenderSettings r{};
    std::memcpy(&r, &s, sizeof r);
    return r;
}

quillrun_settings from_settings(const replayer::RenderSettings& r) {
    quillrun_settings s{};
    std::memcpy(&s, &r, sizeof s);
    return s;
}

} // namespace

extern "C" {

quillrun_module* quillrun_load(const void* data, size_t length, const char** error) {
    if (!data && length) return refuse(error, "no module bytes");
    const auto* bytes = static_cast<const uint8_t*>(data);
    const replayer::LoadResult loaded = replayer::load_module_checked(bytes, length);
    if (loaded.error) return refuse(error, loaded.error);
    // malloc, not new: the library needs no C++ runtime, and a failure is a
    // reason like any other, not an exception.
    auto* module = static_cast<quillrun_module*>(std::malloc(sizeof(quillrun_module)));
    auto* copy = static_cast<uint8_t*>(std::malloc(length ? length : 1));
    auto* saved = static_cast<uint8_t*>(std::malloc(state_bytes(*loaded.context)));
    if (!module || !copy || !saved) {
        std::free(module);
        std::free(copy);
        std::free(saved);
        replayer::free_module(loaded.context);
        return refuse(error, OUT_OF_MEMORY);
    }
    if (length) std::memcpy(copy, bytes, length);
    module->context = loaded.context;
    module->bytes = copy;
    module->length = length;
    module->saved = saved;
    module->pass = replayer::measure_pass(loaded.context, pass_limit(*loaded.context));
    if (error) *error = nullptr;
    return module;
}

void quillrun_free(quillrun_module* module) {
    if (!module) return;
    replayer::free_module(module->context);
    std::free(module->bytes);
    std::free(module->saved);
    std::free(module);
}

uint32_t quillrun_render(quillrun_module* module, float* frames, uint32_t frame_count) {
    return replayer::generate_frames(module ? module->context : nullptr, frames, frame_count);
}

uint32_t quillrun_render_output(quillrun_module* module, void* frames, uint32_t frame_count) {
    return replayer::render(module ? module->context : nullptr, frames, frame_count);
}

int quillrun_set_repeat_count(quillrun_module* module, int32_t count) {
    return module && replayer::set_repeat_count(module->context, count);
}

int quillrun_song_ended(const quillrun_module* module) {
    return module && replayer::song_ended(*module->context);
}

uint32_t quillrun_subsong_count(quillrun_module* module) {
    if (!module) return 0;
    replayer::ReplayContext& ctx = *module->context;
    copy_state<true>(ctx, module->saved);
    const uint32_t count = replayer::list_subsongs(&ctx, nullptr, 0);
    copy_state<false>(ctx, module->saved);
    return count;
}

int quillrun_subsong_info(quillrun_module* module, uint32_t index, uint16_t* start_order,
                          uint64_t* frames, double* seconds) {
    if (!module || index >= replayer::MAX_SUBSONGS) return 0;
    replayer::ReplayContext& ctx = *module->context;
    replayer::SubsongInfo all[replayer::MAX_SUBSONGS];
    copy_state<true>(ctx, module->saved);
    const uint32_t count = replayer::list_subsongs(&ctx, all, replayer::MAX_SUBSONGS);
    copy_state<false>(ctx, module->saved);
    if (index >= count) return 0;
    if (start_order) *start_order = all[index].start_order;
    if (frames) *frames = all[index].pass.frames;
    if (seconds) *seconds = all[index].seconds;
    return 1;
}

int quillrun_select_subsong(quillrun_module* module, uint32_t index) {
    if (!module || !replayer::select_subsong(module->context, index)) return 0;
    module->pass = replayer::measure_pass(module->context, pass_limit(*module->context));
    return 1;
}

void quillrun_set_peak_meters(quillrun_module* module, int on) {
    if (module) replayer::set_peak_meters(module->context, on != 0);
}

quillrun_song_state quillrun_get_song_state(const quillrun_module* module) {
    quillrun_song_state state{};
    if (!module) return state;
    const replayer::SongState s = replayer::song_state(*module->context);
    state.order = s.order;
    state.pattern = s.pattern;
    state.row = s.row;
    state.tick = s.tick;
    state.speed = s.speed;
    state.tempo = s.tempo;
    state.global_volume = s.global_volume;
    state.passes_ended = s.passes_ended;
    state.ended = s.ended;
    state.subsong = s.subsong;
    return state;
}

int quillrun_get_channel_info(const quillrun_module* module, uint32_t channel,
                              quillrun_channel_info* info) {
    replayer::ChannelInfo c{};
    if (!module || !info || channel > UINT8_MAX ||
        !replayer::channel_info(*module->context, static_cast<uint8_t>(channel), &c))
        return 0;
    *info = quillrun_channel_info{};
    info->playing = c.playing;
    info->note = c.note;
    info->instrument = c.instrument;
    info->volume = c.volume;
    info->panning = c.panning;
    info->peak_left = c.peak_left;
    info->peak_right = c.peak_right;
    return 1;
}

uint32_t quillrun_pattern_rows(const quillrun_module* module, uint32_t pattern) {
    if (!module || pattern > UINT16_MAX) return 0;
    return replayer::pattern_rows(*module->context, static_cast<uint16_t>(pattern));
}

int quillrun_get_cell(const quillrun_module* module, uint32_t pattern, uint32_t row,
                      uint32_t channel, quillrun_cell* cell) {
    replayer::PatternSlot slot{};
    if (!module || !cell || pattern > UINT16_MAX || row > UINT16_MAX || channel > UINT8_MAX ||
        !replayer::pattern_cell(*module->context, static_cast<uint16_t>(pattern),
                                static_cast<uint16_t>(row), static_cast<uint8_t>(channel), &slot))
        return 0;
    *cell = quillrun_cell{slot.note, slot.instrument, slot.volume, slot.effect, slot.parameter};
    return 1;
}

size_t quillrun_cell_text(const quillrun_module* module, uint32_t pattern, uint32_t row,
                          uint32_t channel, char* buffer, size_t size) {
    replayer::PatternSlot slot{};
    if (!module || pattern > UINT16_MAX || row > UINT16_MAX || channel > UINT8_MAX ||
        !replayer::pattern_cell(*module->context, static_cast<uint16_t>(pattern),
                                static_cast<uint16_t>(row), static_cast<uint8_t>(channel), &slot)) {
        if (buffer && size) buffer[0] = '\0';
        return 0;
    }
    return replayer::cell_text(*module->context, slot, buffer, buffer ? size : 0);
}

quillrun_settings quillrun_default_settings(void) {
    return from_settings(replayer::DEFAULT_RENDER_SETTINGS);
}

quillrun_settings quillrun_listening_settings(void) {
    return from_settings(replayer::LISTENING_RENDER_SETTINGS);
}

const char* quillrun_set_settings(quillrun_module* module, const quillrun_settings* settings) {
    if (!module || !settings) return "no module or no settings";
    replayer::ReplayContext& ctx = *module->context;
    const uint32_t rate = ctx.settings.sample_rate;
    if (const char* error = replayer::set_render_settings(&ctx, to_settings(*settings)))
        return error;
    if (ctx.settings.sample_rate != rate) {
        // The measure starts the song afresh; the song goes on where it was.
        copy_state<true>(ctx, module->saved);
        module->pass = replayer::measure_pass(&ctx, pass_limit(ctx));
        copy_state<false>(ctx, module->saved);
    }
    return nullptr;
}

quillrun_settings quillrun_get_settings(const quillrun_module* module) {
    return module ? from_settings(module->context->settings) : quillrun_default_settings();
}

quillrun_position quillrun_get_position(const quillrun_module* module) {
    if (!module) return quillrun_position{};
    const replayer::PlaybackPosition p = replayer::playback_position(*module->context);
    return quillrun_position{p.order, p.pattern, p.row};
}

int quillrun_pass_ended(const quillrun_module* module) {
    return module && replayer::pass_ended(*module->context);
}

uint64_t quillrun_pass_frames(const quillrun_module* module) {
    return module ? module->pass.frames : 0;
}

double quillrun_duration(const quillrun_module* module) {
    if (!module) return 0.0;
    return static_cast<double>(module->pass.frames) / module->context->settings.sample_rate;
}

int quillrun_pass_end(const quillrun_module* module, uint16_t* order, uint8_t* row) {
    if (!module || !module->pass.ended) return 0;
    if (order) *order = module->pass.end_order;
    if (row) *row = module->pass.end_row;
    return 1;
}

void quillrun_seek_frame(quillrun_module* module, uint64_t frame) {
    if (module) replayer::seek_to_frame(module->context, frame);
}

int quillrun_seek_seconds(quillrun_module* module, double seconds) {
    return module && replayer::seek_to_seconds(module->context, seconds);
}

int quillrun_seek_row(quillrun_module* module, uint16_t order, uint8_t row) {
    return module && replayer::seek_to_row(module->context, order, row);
}

int quillrun_time_at(quillrun_module* module, uint16_t order, uint8_t row, uint64_t* frame,
                     double* seconds) {
    if (!module) return 0;
    replayer::ReplayContext& ctx = *module->context;
    copy_state<true>(ctx, module->saved);
    const replayer::RowTime at = replayer::time_at(&ctx, order, row);
    copy_state<false>(ctx, module->saved);
    if (!at.found) return 0;
    if (frame) *frame = at.frame;
    if (seconds) *seconds = at.seconds;
    return 1;
}

uint32_t quillrun_channel_count(const quillrun_module* module) {
    return module ? module->context->channel_count : 0;
}

int quillrun_set_channel_mute(quillrun_module* module, uint32_t channel, int muted) {
    return module && channel < module->context->channel_count &&
           replayer::set_channel_mute(module->context, static_cast<uint8_t>(channel), muted != 0);
}

int quillrun_set_channel_solo(quillrun_module* module, uint32_t channel, int solo) {
    return module && channel < module->context->channel_count &&
           replayer::set_channel_solo(module->context, static_cast<uint8_t>(channel), solo != 0);
}

int quillrun_set_channel_volume(quillrun_module* module, uint32_t channel, float volume) {
    return module && channel < module->context->channel_count &&
           replayer::set_channel_volume(module->context, static_cast<uint8_t>(channel), volume);
}

int quillrun_set_position(quillrun_module* module, uint16_t order, uint8_t row) {
    return module && replayer::set_position(module->context, order, row);
}

size_t quillrun_title(const quillrun_module* module, char* buffer, size_t size) {
    return name(module, replayer::NAME_TITLE, 0, buffer, size);
}

uint32_t quillrun_instrument_count(const quillrun_module* module) {
    return name_count(module, replayer::NAME_INSTRUMENT);
}

size_t quillrun_instrument_name(const quillrun_module* module, uint32_t index, char* buffer,
                                size_t size) {
    return name(module, replayer::NAME_INSTRUMENT, index, buffer, size);
}

uint32_t quillrun_sample_count(const quillrun_module* module) {
    return name_count(module, replayer::NAME_SAMPLE);
}

size_t quillrun_sample_name(const quillrun_module* module, uint32_t index, char* buffer,
                            size_t size) {
    return name(module, replayer::NAME_SAMPLE, index, buffer, size);
}

size_t quillrun_message(const quillrun_module* module, char* buffer, size_t size) {
    return name(module, replayer::NAME_MESSAGE, 0, buffer, size);
}

} // extern "C"

// SPDX-License-Identifier: GPL-2.0-or-later
#include "player.h"

#include <miniaudio.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <string>

#include "audio_writer.h"
#include "jack_library.h"
#include "player_keys.h"

namespace {

constexpr int POLL_INTERVAL_MS = 100; // the main thread's look at keys and progress
constexpr int HOLD_WAIT_MS = 1000;    // how long the audio thread may take to let go
constexpr int HOLD_POLL_MS = 2;
constexpr unsigned SECONDS_PER_MINUTE = 60;
constexpr unsigned MILLISECONDS_PER_SECOND = 1000;
constexpr uint64_t SEEK_SECONDS = 10, SEEK_FAR_SECONDS = 60;
constexpr int ROW_BITS = 8;
constexpr unsigned MAX_METERS = 32; // meters on the status line; more channels go unshown
constexpr float METER_UNITS = 65535.0f;
constexpr char METER_LEVELS[] = " .:-=+*#@"; // 6 dB a step, '@' from -6 dB up
constexpr float METER_STEP_DB = 6.0f;
constexpr size_t KEY_BYTES = 16;

// Shared by the device's callback (the audio thread) and the main thread. The
// main thread changes the song only while the audio thread holds off (hold).
struct Playback {
    replayer::ReplayContext* ctx = nullptr; // the audio thread's unless held
    uint64_t end_frame = 0;                 // where the song stops
    bool endless = false;                   // it never stops by itself
    bool gain = false;
    uint32_t rate = 0;                 // frames per second
    std::atomic<uint64_t> frames{0};   // from the song's start, rendered so far
    std::atomic<uint32_t> position{0}; // order << ROW_BITS | row, of the row fetched last
    std::atomic<bool> finished{false}; // the song has stopped
    std::atomic<bool> paused{false};
    std::atomic<bool> hold{false};        // the main thread asks the audio thread to keep off
    std::atomic<uint32_t> hold_serial{0}; // which hold it asks for
    std::atomic<uint32_t> held_serial{0}; // the hold the audio thread has seen
    std::atomic<uint16_t> meters[MAX_METERS] = {};
    unsigned meter_count = 0; // the main thread's
};

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) {
    interrupted = 1;
}

// The peaks the render just left, one per channel (the louder side).
void publish_meters(Playback& p) {
    const unsigned count = std::min<unsigned>(p.ctx->channel_count, MAX_METERS);
    for (unsigned c = 0; c < count; ++c) {
        replayer::ChannelInfo info{};
        replayer::channel_info(*p.ctx, static_cast<uint8_t>(c), &info);
        const float peak = std::min(1.0f, std::max(info.peak_left, info.peak_right));
        p.meters[c].store(static_cast<uint16_t>(peak * METER_UNITS), std::memory_order_relaxed);
    }
}

// Renders straight into the device's buffer, which the library has cleared:
// paused, held or past the end it stays silent. Allocates nothing, never blocks.
void data_callback(ma_device* device, void* output, const void*, ma_uint32 frame_count) {
    Playback& p = *static_cast<Playback*>(device->pUserData);
    if (p.hold.load()) {
        p.held_serial.store(p.hold_serial.load());
        return;
    }
    if (p.paused.load(std::memory_order_relaxed) || p.finished.load(std::memory_order_relaxed))
        return;
    auto* out = static_cast<float*>(output);
    uint64_t at = p.frames.load(std::memory_order_relaxed);
    const uint32_t want =
        p.endless ? frame_count
                  : static_cast<uint32_t>(std::min<uint64_t>(frame_count, p.end_frame - at));
    const uint32_t got = want ? replayer::generate_frames(p.ctx, out, want) : 0;
    if (p.gain) apply_master_gain(out, got);
    at += got;
    if (got < want || (!p.endless && at >= p.end_frame))
        p.finished.store(true, std::memory_order_release);
    const replayer::SongState where = replayer::song_state(*p.ctx);
    p.position.store(uint32_t{where.order} << ROW_BITS | where.row, std::memory_order_relaxed);
    publish_meters(p);
    p.frames.store(at, std::memory_order_relaxed);
}

// Runs `change` while the audio thread keeps off the context; false when it
// did not answer in time (a stalled device), and nothing changed.
template <typename Change> bool while_held(Playback& p, Change change) {
    const uint32_t serial = p.hold_serial.load() + 1;
    p.hold_serial.store(serial);
    p.hold.store(true);
    bool held = false;
    for (int waited = 0; waited < HOLD_WAIT_MS && !held; waited += HOLD_POLL_MS) {
        held = p.held_serial.load() == serial;
        if (!held) poll(nullptr, 0, HOLD_POLL_MS);
    }
    if (held) change();
    p.hold.store(false);
    return held;
}

void print_time(uint64_t frames, uint32_t rate) {
    const uint64_t seconds = frames / rate;
    std::fprintf(stderr, "%u:%02u", static_cast<unsigned>(seconds / SECONDS_PER_MINUTE),
                 static_cast<unsigned>(seconds % SECONDS_PER_MINUTE));
}

char meter_char(uint16_t peak) {
    if (peak == 0) return METER_LEVELS[0];
    const float db = 20.0f * std::log10(static_cast<float>(peak) / METER_UNITS);
    const int top = static_cast<int>(sizeof METER_LEVELS) - 2;
    const int level = top + static_cast<int>(std::floor(db / METER_STEP_DB));
    return METER_LEVELS[std::clamp(level, 1, top)];
}

void show_status(const Playback& p, const std::string& song_label) {
    const uint32_t position = p.position.load(std::memory_order_relaxed);
    std::fputs("\rmodrender: ", stderr);
    print_time(p.frames.load(std::memory_order_relaxed), p.rate);
    std::fputs(" / ", stderr);
    if (p.endless)
        std::fputs("--:--", stderr);
    else
        print_time(p.end_frame, p.rate);
    std::fprintf(stderr, "  %u:%02u  [", position >> ROW_BITS, position & ((1u << ROW_BITS) - 1));
    for (unsigned c = 0; c < p.meter_count; ++c)
        std::fputc(meter_char(p.meters[c].load(std::memory_order_relaxed)), stderr);
    std::fprintf(stderr, "]%s%s\x1b[K", p.paused.load() ? "  paused" : "", song_label.c_str());
    std::fflush(stderr);
}

// Keys one by one, without echo, while playing; Ctrl-C still interrupts.
struct RawTerminal {
    termios saved{};
    bool active = false;
    void enter() {
        if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
        termios raw = saved;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        active = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
    }
    ~RawTerminal() {
        if (active) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
};

// Waits up to one poll interval for keys; without a keyboard, only waits.
size_t read_keys(bool keyboard, char* bytes) {
    if (!keyboard) {
        poll(nullptr, 0, POLL_INTERVAL_MS);
        return 0;
    }
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, POLL_INTERVAL_MS) <= 0) return 0;
    const ssize_t n = read(STDIN_FILENO, bytes, KEY_BYTES);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

// How long the device takes to play out what it holds.
unsigned drain_milliseconds(const ma_device& device) {
    const ma_uint32 rate =
        device.playback.internalSampleRate ? device.playback.internalSampleRate : device.sampleRate;
    const uint64_t frames = uint64_t{device.playback.internalPeriodSizeInFrames} *
                            (device.playback.internalPeriods + 1);
    return static_cast<unsigned>(frames * MILLISECONDS_PER_SECOND / rate);
}

// The device at the rate it runs at (when asked and the replayer renders that
// rate), else at the settings' rate, which the audio library converts.
bool open_device(ma_device& device, ma_device_config& config, const PlayOptions& options) {
    config.sampleRate = options.device_rate ? 0 : options.song.settings.sample_rate;
    if (ma_device_init(nullptr, &config, &device) != MA_SUCCESS) return false;
    if (device.sampleRate >= replayer::MIN_SAMPLE_RATE &&
        device.sampleRate <= replayer::MAX_SAMPLE_RATE)
        return true;
    ma_device_uninit(&device);
    config.sampleRate = options.song.settings.sample_rate;
    return ma_device_init(nullptr, &config, &device) == MA_SUCCESS;
}

void load_into(Playback& p, Song& song) {
    p.ctx = song.loaded.context;
    p.end_frame = song.end_frame;
    p.endless = song.endless;
    p.frames.store(song.first_frame);
    p.finished.store(song.endless ? false : song.first_frame >= song.end_frame);
    p.meter_count = std::min<unsigned>(p.ctx->channel_count, MAX_METERS);
    for (auto& meter : p.meters) meter.store(0);
}

void seek_by(Playback& p, int64_t frames) {
    const auto at = static_cast<int64_t>(p.frames.load());
    uint64_t to = at + frames < 0 ? 0 : static_cast<uint64_t>(at + frames);
    if (!p.endless) to = std::min(to, p.end_frame);
    replayer::seek_to_frame(p.ctx, to);
    p.frames.store(to);
    p.finished.store(!p.endless && to >= p.end_frame);
}

void toggle_mute(Playback& p, uint8_t channel) {
    if (channel >= p.ctx->channel_count) return;
    const bool muted = p.ctx->channels[channel].control_flags & replayer::CHANNEL_MUTED;
    replayer::set_channel_mute(p.ctx, channel, !muted);
}

enum class After { next, previous, quit };

// Plays the song on the device until it ends or a key moves on.
After play_song(Playback& p, const PlayOptions& options, const std::string& label) {
    char bytes[KEY_BYTES];
    while (!interrupted) {
        const size_t n = read_keys(options.keyboard, bytes);
        for (size_t at = 0, used = 0; at < n; at += used) {
            const KeyPress press = read_key(bytes + at, n - at, used);
            const auto rate = static_cast<int64_t>(p.rate);
            switch (press.key) {
            case Key::quit:
                return After::quit;
            case Key::next:
                return After::next;
            case Key::previous:
                return After::previous;
            case Key::pause:
                p.paused.store(!p.paused.load());
                break;
            case Key::back:
            case Key::forward:
            case Key::back_far:
            case Key::forward_far: {
                const bool far = press.key == Key::back_far || press.key == Key::forward_far;
                const bool ahead = press.key == Key::forward || press.key == Key::forward_far;
                const int64_t step =
                    rate * static_cast<int64_t>(far ? SEEK_FAR_SECONDS : SEEK_SECONDS);
                while_held(p, [&] { seek_by(p, ahead ? step : -step); });
                break;
            }
            case Key::toggle_mute:
                while_held(p, [&] { toggle_mute(p, press.channel); });
                break;
            case Key::none:
                break;
            }
        }
        if (options.status) show_status(p, label);
        if (p.finished.load(std::memory_order_acquire)) return After::next;
    }
    return After::quit;
}

std::string label_of(const SongList& songs, size_t index) {
    if (songs.size() < 2) return "";
    return "  " + std::to_string(index + 1) + "/" + std::to_string(songs.size()) + " " +
           songs[index]->path;
}

} // namespace

const char* play_files(const std::vector<const char*>& paths, const PlayOptions& options) {
    Playback p;
    p.gain = options.gain;

    choose_jack_library();
    ma_device_config config = ma_device_config_init(ma_device_type_playback);
    config.playback.format = ma_format_f32;
    config.playback.channels = replayer::OUTPUT_CHANNELS;
    config.dataCallback = data_callback;
    config.pUserData = &p;
    ma_device device;
    if (!open_device(device, config, options)) return "no audio output device could be opened";
    if (const char* error = replayer::render_settings_error(options.song.settings)) {
        ma_device_uninit(&device);
        return error;
    }
    p.rate = device.sampleRate;
    SongList songs = load_songs(paths, options.song, p.rate);
    // The meters cost mixing time: only for a status line that shows them.
    if (options.status)
        for (auto& song : songs) replayer::set_peak_meters(song->loaded.context, true);
    load_into(p, *songs.front());

    struct sigaction action {};
    action.sa_handler = on_interrupt;
    struct sigaction previous_int {
    }, previous_term{};
    sigaction(SIGINT, &action, &previous_int);
    sigaction(SIGTERM, &action, &previous_term);
    RawTerminal terminal;
    if (options.keyboard) terminal.enter();

    const char* failure = nullptr;
    if (ma_device_start(&device) != MA_SUCCESS) {
        failure = "the audio output device could not be started";
    } else {
        size_t index = 0;
        for (;;) {
            const After after = play_song(p, options, label_of(songs, index));
            const bool ended = p.finished.load(std::memory_order_acquire);
            size_t next = index;
            if (after == After::next && index + 1 < songs.size()) next = index + 1;
            if (after == After::previous && index > 0) next = index - 1;
            const bool last = after == After::quit || (after == After::next && next == index);
            if (last) {
                // A song that ended is heard to its end; a stop asked for is at once.
                if (ended && after == After::next && !interrupted)
                    poll(nullptr, 0, static_cast<int>(drain_milliseconds(device)));
                break;
            }
            index = next;
            rewind_song(*songs[index]);
            while_held(p, [&] { load_into(p, *songs[index]); });
        }
        if (options.status) {
            show_status(p, label_of(songs, index));
            std::fputc('\n', stderr);
        }
    }
    ma_device_uninit(&device);
    sigaction(SIGINT, &previous_int, nullptr);
    sigaction(SIGTERM, &previous_term, nullptr);
    return failure;
}

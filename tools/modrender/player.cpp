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

#include "audio_writer.h"
#include "jack_library.h"
#include "song_pass.h"

namespace {

constexpr int POLL_INTERVAL_MS = 100; // the main thread's look at keys and progress
constexpr unsigned SECONDS_PER_MINUTE = 60;
constexpr unsigned MILLISECONDS_PER_SECOND = 1000;
constexpr char QUIT_KEY = 'q';
constexpr int ROW_BITS = 8;

// Shared by the device's callback (the audio thread) and the main thread.
struct Playback {
    SongRenderer renderer; // the audio thread's alone
    uint32_t rate = 0;     // frames per second
    bool timed = false;    // false: render one pass
    uint64_t limit = 0;    // frames to render at most
    bool gain = false;
    std::atomic<uint64_t> frames{0};   // rendered so far
    std::atomic<uint32_t> position{0}; // order << ROW_BITS | row, of the row fetched last
    std::atomic<bool> finished{false}; // the pass or the time is over
};

volatile std::sig_atomic_t interrupted = 0;

void on_interrupt(int) {
    interrupted = 1;
}

// Renders straight into the device's buffer, which the library has cleared:
// once the song is over the rest stays silent. Allocates nothing, never blocks.
void data_callback(ma_device* device, void* output, const void*, ma_uint32 frame_count) {
    Playback& p = *static_cast<Playback*>(device->pUserData);
    auto* out = static_cast<float*>(output);
    uint32_t done = 0;
    while (done < frame_count && !p.finished.load(std::memory_order_relaxed)) {
        const uint32_t want = static_cast<uint32_t>(
            std::min<uint64_t>(p.limit - p.renderer.frames_rendered, frame_count - done));
        float* at = out + size_t{done} * replayer::OUTPUT_CHANNELS;
        const uint32_t got = want == 0 ? 0
                             : p.timed ? render_chunk(p.renderer, at, want)
                                       : render_pass_chunk(p.renderer, at, want);
        if (got == 0) {
            p.finished.store(true, std::memory_order_release);
            break;
        }
        if (p.gain) apply_master_gain(at, got);
        done += got;
    }
    const replayer::PlaybackPosition where = replayer::playback_position(*p.renderer.ctx);
    p.position.store(uint32_t{where.order} << ROW_BITS | where.row, std::memory_order_relaxed);
    p.frames.store(p.renderer.frames_rendered, std::memory_order_relaxed);
}

void print_time(uint64_t frames, uint32_t rate) {
    const uint64_t seconds = frames / rate;
    std::fprintf(stderr, "%u:%02u", static_cast<unsigned>(seconds / SECONDS_PER_MINUTE),
                 static_cast<unsigned>(seconds % SECONDS_PER_MINUTE));
}

void show_status(const Playback& p, uint64_t total) {
    const uint32_t position = p.position.load(std::memory_order_relaxed);
    std::fputs("\rmodrender: ", stderr);
    print_time(p.frames.load(std::memory_order_relaxed), p.rate);
    std::fputs(" / ", stderr);
    print_time(total, p.rate);
    std::fprintf(stderr, "  order %u row %u  ", position >> ROW_BITS,
                 position & ((1u << ROW_BITS) - 1));
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

bool quit_pressed(bool keyboard) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (!keyboard) {
        poll(nullptr, 0, POLL_INTERVAL_MS);
        return false;
    }
    if (poll(&input, 1, POLL_INTERVAL_MS) <= 0) return false;
    char key = 0;
    return read(STDIN_FILENO, &key, 1) == 1 && key == QUIT_KEY;
}

// How long the device takes to play out what it holds.
unsigned drain_milliseconds(const ma_device& device) {
    const ma_uint32 rate =
        device.playback.internalSampleRate ? device.playback.internalSampleRate : device.sampleRate;
    const uint64_t frames = uint64_t{device.playback.internalPeriodSizeInFrames} *
                            (device.playback.internalPeriods + 1);
    return static_cast<unsigned>(frames * MILLISECONDS_PER_SECOND / rate);
}

} // namespace

namespace {

// The device at the rate it runs at (when asked and the replayer renders that
// rate), else at the settings' rate, which the audio library converts.
bool open_device(ma_device& device, ma_device_config& config, const PlayOptions& options) {
    config.sampleRate = options.device_rate ? 0 : options.settings.sample_rate;
    if (ma_device_init(nullptr, &config, &device) != MA_SUCCESS) return false;
    if (device.sampleRate >= replayer::MIN_SAMPLE_RATE &&
        device.sampleRate <= replayer::MAX_SAMPLE_RATE)
        return true;
    ma_device_uninit(&device);
    config.sampleRate = options.settings.sample_rate;
    return ma_device_init(nullptr, &config, &device) == MA_SUCCESS;
}

} // namespace

const char* play_module(replayer::ReplayContext* ctx, const PlayOptions& options) {
    Playback p;
    p.renderer.ctx = ctx;
    p.timed = options.timed;
    p.gain = options.gain;

    choose_jack_library();
    ma_device_config config = ma_device_config_init(ma_device_type_playback);
    config.playback.format = ma_format_f32;
    config.playback.channels = replayer::OUTPUT_CHANNELS;
    config.dataCallback = data_callback;
    config.pUserData = &p;
    ma_device device;
    if (!open_device(device, config, options)) return "no audio output device could be opened";

    replayer::RenderSettings settings = options.settings;
    settings.sample_rate = device.sampleRate;
    if (const char* error = replayer::set_render_settings(ctx, settings)) {
        ma_device_uninit(&device);
        return error;
    }
    p.rate = settings.sample_rate;
    const uint64_t pass_limit = uint64_t{replayer::PASS_LIMIT_SECONDS} * p.rate;
    const uint64_t timed_frames = static_cast<uint64_t>(std::llround(options.seconds * p.rate));
    p.limit = options.timed ? timed_frames : pass_limit;
    // Measured before playing: the measure leaves the song at its start.
    const uint64_t total =
        options.timed ? timed_frames : replayer::measure_pass(ctx, pass_limit).frames;
    // The status line counts from the song's start; -t from where playing starts.
    const uint64_t first = seek_to_start(ctx, options.start);
    p.renderer.frames_rendered = first;
    p.limit += first;

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
        bool quit = false;
        while (!quit && !interrupted && !p.finished.load(std::memory_order_acquire)) {
            quit = quit_pressed(options.keyboard);
            if (options.status) show_status(p, total);
        }
        // A song that ended is heard to its end; a stop asked for is at once.
        if (p.finished.load(std::memory_order_acquire) && !quit && !interrupted)
            poll(nullptr, 0, static_cast<int>(drain_milliseconds(device)));
        if (options.status) {
            show_status(p, total);
            std::fputc('\n', stderr);
        }
    }
    ma_device_uninit(&device);
    sigaction(SIGINT, &previous_int, nullptr);
    sigaction(SIGTERM, &previous_term, nullptr);
    return failure;
}

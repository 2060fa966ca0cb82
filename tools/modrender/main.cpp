// SPDX-License-Identifier: GPL-2.0-or-later
// modrender: loads a tracker module with the intro's replayer and prints what
// the loader made of it (--info), renders it to a WAV file or raw floats, or
// plays it through the default audio device (--play).
// Exit status: 0 done, 1 the module, an output file or the audio device was
// refused, 2 bad usage.
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "channel_list.h"
#include "compact_writer.h"
#include "module_file.h"
#include "module_info.h"
#include "player.h"
#include "quillrun/replayer.h"
#include "render_options.h"
#include "song_pass.h"
#include "start_point.h"

namespace {

constexpr int EXIT_REJECTED = 1;
constexpr int EXIT_USAGE = 2;
constexpr size_t MAX_MODULE_BYTES = size_t{512} << 20; // far beyond what fits a context
constexpr uint32_t CHUNK_FRAMES = 4096;

const char HELP[] =
    "usage: modrender --info FILE\n"
    "       modrender [--start AT] [-t SECONDS] [--mute LIST] [--solo LIST] [--gain]\n"
    "                 [RENDERING] [--format f32|s16] -o OUT FILE\n"
    "       modrender [--start AT] [-t SECONDS] [--mute LIST] [--solo LIST] [--gain]\n"
    "                 [RENDERING] --play FILE\n"
    "       modrender --write-compact OUT FILE\n"
    "\n"
    "Loads an XM, MOD, S3M or compact module with the Quillrun replayer.\n"
    "\n"
    "  --info       print what the loader made of FILE as 'key: value' lines:\n"
    "               format, title, channels, patterns, total_rows, instruments, samples,\n"
    "               sample_frames, song_length, restart_position, tempo, bpm,\n"
    "               context_bytes (the size of the replay context), effects_used\n"
    "               (the internal effect codes in the patterns, ascending) and\n"
    "               duration_s (one pass through the song, in seconds)\n"
    "  -o OUT       render to OUT: a stereo WAV file, or with OUT '-' raw\n"
    "               little-endian frames on standard output\n"
    "  --play       play FILE through the default audio device (PulseAudio or\n"
    "               PipeWire, ALSA, or JACK) at the rate the device runs at;\n"
    "               on a terminal, one status line shows the time, order and\n"
    "               row; q or Ctrl-C stops\n"
    "  -t SECONDS   render or play this long; without it, one pass through the\n"
    "               song (until playback returns to a row already played, at\n"
    "               most one hour)\n"
    "  --mute LIST, --solo LIST\n"
    "               silence these channels, or all but these (numbers from 1,\n"
    "               ranges as 2-4, separated by commas)\n"
    "  --start AT   begin at AT: SECONDS from the song's start, or ORDER:ROW\n"
    "               (where the first pass first plays that row); the song\n"
    "               is played up to there unheard, so what follows sounds\n"
    "               exactly as it does when played from the start\n"
    "  --gain       apply the intro's master gain: x2.5, then clip to [-1, 1]\n"
    "  --format f32|s16\n"
    "               what -o writes: 32-bit floats (the default) or 16-bit\n"
    "               integers (x32768, rounded to nearest, clipped)\n"
    "\n"
    "RENDERING, by default sinc interpolation with ramping at 48000 Hz:\n"
    "  --rate HZ    output rate, 8000 to 192000 (--play: the device's)\n"
    "  --interp nearest|linear|cubic|sinc\n"
    "               how values between sample frames are read\n"
    "  --ramp, --no-ramp\n"
    "               ramp gain changes, note starts and ends over 1 ms, or not\n"
    "  --stereo PERCENT\n"
    "               stereo separation, 0 (mono) to 200; 100 as panned\n"
    "  --gain-db DB gain, -60 to 24 dB; 0 by default\n"
    "  --exact      exactly what the intro plays: 48000 Hz, nearest, no\n"
    "               ramping (with --gain, the intro's very output)\n"
    "  --write-compact OUT\n"
    "               write the module as loaded in the compact module format;\n"
    "               it loads and plays exactly as FILE does\n"
    "  -h, --help   show this text\n"
    "\n"
    "Exit status: 0 success, 1 module, output or audio device refused, 2 bad usage.\n";

struct Options {
    RenderOptions rendering;
    bool info = false;
    bool play = false;
    bool gain = false;
    bool timed = false;
    double seconds = 0;
    StartPoint start;
    ChannelSet mute, solo;
    const char* output = nullptr;
    const char* compact_output = nullptr;
    const char* input = nullptr;
};

[[noreturn]] void usage_error(const char* message) {
    std::fprintf(stderr, "modrender: %s (try --help)\n", message);
    std::exit(EXIT_USAGE);
}

[[noreturn]] void reject(const char* file, const char* reason) {
    std::fprintf(stderr, "modrender: %s: %s\n", file, reason);
    std::exit(EXIT_REJECTED);
}

double parse_seconds(const char* text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    const double max_seconds = double{UINT32_MAX} / replayer::OUTPUT_SAMPLE_RATE;
    if (errno || end == text || *end || !std::isfinite(value) || value < 0 || value > max_seconds)
        usage_error("-t wants a number of seconds");
    return value;
}

Options parse_options(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(HELP, stdout);
            std::exit(0);
        } else if (arg == "--info") {
            o.info = true;
        } else if (arg == "--play") {
            o.play = true;
        } else if (arg == "--gain") {
            o.gain = true;
        } else if (take_render_option(o.rendering, arg, argc, argv, i, usage_error)) {
        } else if (arg == "--start") {
            if (i + 1 >= argc) usage_error("--start needs a value");
            if (!parse_start_point(argv[++i], o.start))
                usage_error("--start wants SECONDS or ORDER:ROW");
        } else if (arg == "--mute" || arg == "--solo") {
            if (i + 1 >= argc) usage_error((arg + " needs a value").c_str());
            if (!parse_channel_list(argv[++i], arg == "--mute" ? o.mute : o.solo))
                usage_error((arg + " wants channel numbers from 1, as 1,3-5").c_str());
        } else if (arg == "--write-compact") {
            if (i + 1 >= argc) usage_error("--write-compact needs a value");
            o.compact_output = argv[++i];
        } else if (arg == "-t" || arg == "-o") {
            if (i + 1 >= argc) usage_error((arg + " needs a value").c_str());
            if (arg == "-t") {
                o.timed = true;
                o.seconds = parse_seconds(argv[++i]);
            } else {
                o.output = argv[++i];
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            usage_error(("unknown option " + arg).c_str());
        } else if (o.input) {
            usage_error("more than one module given");
        } else {
            o.input = argv[i];
        }
    }
    if (!o.input) usage_error("no module given");
    if (o.info + o.play + (o.output != nullptr) + (o.compact_output != nullptr) != 1)
        usage_error("give one of --info, -o OUT, --play and --write-compact OUT");
    if (!o.output && !o.play &&
        (o.timed || o.gain || o.rendering.shaped || o.rendering.exact ||
         o.start.kind != StartPoint::SONG_START || o.mute.any() || o.solo.any()))
        usage_error(
            "-t, --start, --mute, --solo, --gain and the rendering options only apply to -o "
            "and --play");
    if (!o.output && o.rendering.format_set) usage_error("--format only applies to -o");
    if (const char* conflict = render_options_conflict(o.rendering)) usage_error(conflict);
    replayer::RenderSettings& s = o.rendering.settings;
    if (o.rendering.exact) {
        s.sample_rate = replayer::DEFAULT_RENDER_SETTINGS.sample_rate;
        s.interpolation = replayer::DEFAULT_RENDER_SETTINGS.interpolation;
        s.ramping = replayer::DEFAULT_RENDER_SETTINGS.ramping;
    }
    // Refuse up front what a WAV file cannot hold, rather than after rendering it.
    if (o.timed && o.output && std::strcmp(o.output, "-") != 0 &&
        std::llround(o.seconds * s.sample_rate) >
            static_cast<long long>(wav_max_frames(s.sample_format == replayer::SAMPLE_FORMAT_S16)))
        usage_error("-t is longer than a WAV file can hold; use -o - for raw output");
    return o;
}

std::vector<uint8_t> read_module(const char* path) {
    ModuleFile file = read_module_file(path, MAX_MODULE_BYTES);
    if (file.error) reject(path, file.error);
    return std::move(file.bytes);
}

void show_progress(const SongRenderer& r, uint32_t rate, bool done) {
    std::fprintf(stderr, "\rmodrender: %.1f s rendered%s",
                 static_cast<double>(r.frames_rendered) / rate, done ? "\n" : "");
}

void render(const Options& o, replayer::ReplayContext* ctx) {
    const uint32_t rate = o.rendering.settings.sample_rate;
    AudioWriter writer;
    writer.sample_rate = rate;
    writer.s16 = o.rendering.settings.sample_format == replayer::SAMPLE_FORMAT_S16;
    if (!open_audio(writer, o.output)) reject(o.output, std::strerror(errno));
    const bool progress = isatty(STDERR_FILENO);
    const uint64_t limit = o.timed ? static_cast<uint64_t>(std::llround(o.seconds * rate))
                                   : uint64_t{replayer::PASS_LIMIT_SECONDS} * rate;
    SongRenderer r{ctx};
    std::vector<float> buffer(CHUNK_FRAMES * replayer::OUTPUT_CHANNELS);
    uint64_t next_report = 0;
    while (r.frames_rendered < limit && !writer.failed) {
        const uint64_t left = limit - r.frames_rendered;
        const uint32_t want = left < CHUNK_FRAMES ? static_cast<uint32_t>(left) : CHUNK_FRAMES;
        const uint32_t got = o.timed ? render_chunk(r, buffer.data(), want)
                                     : render_pass_chunk(r, buffer.data(), want);
        if (got == 0) break;
        write_audio(writer, buffer.data(), got, o.gain);
        if (progress && r.frames_rendered >= next_report) {
            show_progress(r, rate, false);
            next_report = r.frames_rendered + rate;
        }
    }
    if (progress) show_progress(r, rate, true);
    if (!finish_audio(writer)) reject(o.output, "write failed");
}

// A row the song never plays, or a channel it does not have, is a fault of
// the request against this module. The channels' control is set here.
void check_start_and_channels(const Options& o, replayer::ReplayContext* ctx) {
    if (o.start.kind == StartPoint::ROW &&
        !replayer::time_at(ctx, o.start.order, o.start.row).found)
        reject(o.input, "--start names a row the song's first pass never plays");
    if (const unsigned missing = apply_channel_lists(ctx, o.mute, o.solo)) {
        const std::string reason =
            "the module has no channel " + std::to_string(missing) + " (--mute, --solo)";
        reject(o.input, reason.c_str());
    }
}

void write_compact_file(const char* path, const replayer::ReplayContext& ctx) {
    const std::vector<uint8_t> image = compact_writer::write_compact(ctx);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) reject(path, std::strerror(errno));
    const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !written) reject(path, "write failed");
}

} // namespace

int main(int argc, char** argv) {
    const Options o = parse_options(argc, argv);
    const std::vector<uint8_t> bytes = read_module(o.input);

    const replayer::LoadResult loaded = replayer::load_module_checked(bytes.data(), bytes.size());
    if (loaded.error) reject(o.input, loaded.error);

    if (o.info) {
        print_module_info(stdout, loaded, bytes);
    } else if (o.play) {
        check_start_and_channels(o, loaded.context);
        PlayOptions play;
        play.start = o.start;
        play.settings = o.rendering.settings;
        play.device_rate = !o.rendering.exact && !o.rendering.rate_set;
        play.timed = o.timed;
        play.seconds = o.seconds;
        play.gain = o.gain;
        play.status = isatty(STDERR_FILENO);
        play.keyboard = isatty(STDIN_FILENO);
        if (const char* failure = play_module(loaded.context, play)) {
            std::fprintf(stderr, "modrender: %s\n", failure);
            std::exit(EXIT_REJECTED);
        }
    } else if (o.compact_output) {
        write_compact_file(o.compact_output, *loaded.context);
    } else {
        if (const char* error = replayer::set_render_settings(loaded.context, o.rendering.settings))
            usage_error(error);
        check_start_and_channels(o, loaded.context);
        seek_to_start(loaded.context, o.start);
        render(o, loaded.context);
    }
    replayer::free_module(loaded.context);
    return 0;
}

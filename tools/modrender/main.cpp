// SPDX-License-Identifier: GPL-2.0-or-later
// modrender: loads a tracker module with the intro's replayer and prints what
// the loader made of it (--info), renders it to a WAV file or raw floats, or
// plays it through the default audio device (--play).
// Exit status: 0 done, 1 the module, an output file or the audio device was
// refused, 2 bad usage.
#include <sys/stat.h>
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
#include "song_list.h"
#include "start_point.h"

namespace {

constexpr int EXIT_REJECTED = 1;
constexpr int EXIT_USAGE = 2;
constexpr size_t MAX_MODULE_BYTES = size_t{512} << 20; // far beyond what fits a context
constexpr uint32_t CHUNK_FRAMES = 4096;
constexpr mode_t STEMS_DIRECTORY_MODE = 0777; // as mkdir(1), less the umask

const char HELP[] =
    "usage: modrender --info FILE...\n"
    "       modrender [SONG] [--gain] [RENDERING] [--format f32|s16] -o OUT FILE...\n"
    "       modrender [SONG] [--format f32|s16] [RENDERING] --stems DIR FILE\n"
    "       modrender [SONG] [--gain] [RENDERING] --play FILE...\n"
    "       modrender --write-compact OUT FILE\n"
    "\n"
    "Loads XM, MOD, S3M, IT or compact modules with the Quillrun replayer.\n"
    "Several files are rendered or played one after another, in the order\n"
    "given or with --shuffle in a random one.\n"
    "\n"
    "  --info       print what the loader made of each FILE as 'key: value' lines:\n"
    "               format, title, channels, patterns, total_rows, instruments, samples,\n"
    "               sample_frames, song_length, restart_position, tempo, bpm,\n"
    "               context_bytes (the size of the replay context), effects_used\n"
    "               (the internal effect codes in the patterns, ascending),\n"
    "               duration_s (one pass through the song, in seconds), subsongs\n"
    "               and for each subsong_N its first order and duration_s; with\n"
    "               several files, each block starts with a file line\n"
    "  -o OUT       render to OUT: a stereo WAV file, a FLAC file (16-bit, with\n"
    "               TITLE and DURATION tags) when OUT ends in .flac, or with OUT\n"
    "               '-' raw little-endian frames on standard output\n"
    "  --stems DIR  render each channel alone to DIR/channel-NN.wav (NN from\n"
    "               01); the stems add up to the mix\n"
    "  --play       play through the default audio device (PulseAudio or\n"
    "               PipeWire, ALSA, or JACK) at the rate the device runs at; on a\n"
    "               terminal a status line shows time / total, order:row and a\n"
    "               level meter per channel, and keys control playing: space\n"
    "               pauses, left and right seek 10 s, up and down 1 minute, n and\n"
    "               p go to the next and previous file, 1 to 9 mute or unmute a\n"
    "               channel, q (or Ctrl-C) quits\n"
    "  --shuffle    take the files in a random order\n"
    "  --gain       apply the intro's master gain: x2.5, then clip to [-1, 1]\n"
    "  --format f32|s16\n"
    "               what -o and --stems write: 32-bit floats (the default) or\n"
    "               16-bit integers (x32768, rounded to nearest, clipped); FLAC\n"
    "               is always 16-bit\n"
    "\n"
    "SONG, by default one pass of the main song from its start:\n"
    "  --subsong N  play subsong N (1 the main song; --info lists them)\n"
    "  --repeat N   play N more passes after the first; -1 for ever (--play, or\n"
    "               with -t)\n"
    "  -t SECONDS   render or play this long from the start point (with no\n"
    "               --repeat, whatever the song does); else until the song ends\n"
    "               (a pass ends where playback returns to a row already\n"
    "               played, cut at one hour)\n"
    "  --start AT   begin at AT: SECONDS from the song's start, or ORDER:ROW\n"
    "               (where the first pass first plays that row); the song\n"
    "               is played up to there unheard, so what follows sounds\n"
    "               exactly as it does when played from the start\n"
    "  --mute LIST, --solo LIST\n"
    "               silence these channels, or all but these (numbers from 1,\n"
    "               ranges as 2-4, separated by commas)\n"
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
    SongRequest song;
    bool info = false;
    bool play = false;
    bool gain = false;
    bool shuffle = false;
    const char* output = nullptr;
    const char* stems = nullptr;
    const char* compact_output = nullptr;
    std::vector<const char*> inputs;
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

// A whole number from `lowest` to `highest`, or a usage error naming the option.
long parse_whole(const char* text, long lowest, long highest, const char* complaint) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno || end == text || *end || value < lowest || value > highest) usage_error(complaint);
    return value;
}

const char* value_of(int argc, char** argv, int& i, const std::string& option) {
    if (i + 1 >= argc) usage_error((option + " needs a value").c_str());
    return argv[++i];
}

void take_song_option(Options& o, const std::string& arg, int argc, char** argv, int& i) {
    SongRequest& r = o.song;
    const char* value = value_of(argc, argv, i, arg);
    if (arg == "--start") {
        if (!parse_start_point(value, r.start)) usage_error("--start wants SECONDS or ORDER:ROW");
    } else if (arg == "--mute" || arg == "--solo") {
        if (!parse_channel_list(value, arg == "--mute" ? r.mute : r.solo))
            usage_error((arg + " wants channel numbers from 1, as 1,3-5").c_str());
    } else if (arg == "--repeat") {
        r.repeat = static_cast<int32_t>(
            parse_whole(value, replayer::REPEAT_FOREVER, INT32_MAX, "--repeat wants -1 or more"));
        r.repeat_set = true;
    } else if (arg == "--subsong") {
        r.subsong = static_cast<uint32_t>(parse_whole(value, 1, replayer::MAX_SUBSONGS,
                                                      "--subsong wants a number from 1")) -
                    1;
    } else { // -t
        r.timed = true;
        r.seconds = parse_seconds(value);
    }
}

bool is_song_option(const std::string& arg) {
    return arg == "--start" || arg == "--mute" || arg == "--solo" || arg == "--repeat" ||
           arg == "--subsong" || arg == "-t";
}

void check_combination(Options& o) {
    if (o.inputs.empty()) usage_error("no module given");
    if (o.info + o.play + (o.output != nullptr) + (o.compact_output != nullptr) +
            (o.stems != nullptr) !=
        1)
        usage_error("give one of --info, -o OUT, --stems DIR, --play and --write-compact OUT");
    const SongRequest& r = o.song;
    const bool renders = o.output || o.play || o.stems;
    if (!renders && (r.timed || o.gain || o.rendering.shaped || o.rendering.exact ||
                     r.start.kind != StartPoint::SONG_START || r.mute.any() || r.solo.any() ||
                     r.repeat_set || r.subsong))
        usage_error("-t, --start, --mute, --solo, --repeat, --subsong, --gain and the rendering "
                    "options only apply to -o, --stems and --play");
    if (o.compact_output && o.inputs.size() > 1) usage_error("--write-compact takes one module");
    if (o.stems && o.inputs.size() > 1) usage_error("--stems takes one module");
    if (o.stems && (r.mute.any() || r.solo.any() || o.gain))
        usage_error("--stems renders every channel alone: no --mute, --solo or --gain");
    if (!o.output && !o.stems && o.rendering.format_set)
        usage_error("--format only applies to -o and --stems");
    if (o.output && is_flac_path(o.output) && o.rendering.format_set &&
        o.rendering.settings.sample_format != replayer::SAMPLE_FORMAT_S16)
        usage_error("FLAC holds 16-bit integers: no --format f32 with a .flac output");
    if ((o.output || o.stems) && r.repeat == replayer::REPEAT_FOREVER && !r.timed)
        usage_error("--repeat -1 renders for ever: give -t too");
    if (const char* conflict = render_options_conflict(o.rendering)) usage_error(conflict);
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
        } else if (arg == "--shuffle") {
            o.shuffle = true;
        } else if (take_render_option(o.rendering, arg, argc, argv, i, usage_error)) {
        } else if (is_song_option(arg)) {
            take_song_option(o, arg, argc, argv, i);
        } else if (arg == "--write-compact") {
            o.compact_output = value_of(argc, argv, i, arg);
        } else if (arg == "--stems") {
            o.stems = value_of(argc, argv, i, arg);
        } else if (arg == "-o") {
            o.output = value_of(argc, argv, i, arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            usage_error(("unknown option " + arg).c_str());
        } else {
            o.inputs.push_back(argv[i]);
        }
    }
    check_combination(o);
    replayer::RenderSettings& s = o.rendering.settings;
    if (o.rendering.exact) {
        s.sample_rate = replayer::DEFAULT_RENDER_SETTINGS.sample_rate;
        s.interpolation = replayer::DEFAULT_RENDER_SETTINGS.interpolation;
        s.ramping = replayer::DEFAULT_RENDER_SETTINGS.ramping;
    }
    if (const char* error = replayer::render_settings_error(s)) usage_error(error);
    o.song.settings = s;
    // Refuse up front what a WAV file cannot hold, rather than after rendering it.
    const bool wav = (o.output && std::strcmp(o.output, "-") != 0 && !is_flac_path(o.output));
    if (o.song.timed && (wav || o.stems) &&
        std::llround(o.song.seconds * s.sample_rate) * static_cast<long long>(o.inputs.size()) >
            static_cast<long long>(wav_max_frames(s.sample_format == replayer::SAMPLE_FORMAT_S16)))
        usage_error("-t is longer than a WAV file can hold; use -o - for raw output");
    if (o.shuffle) shuffle_paths(o.inputs);
    return o;
}

void show_progress(uint64_t frames, uint32_t rate, bool done) {
    std::fprintf(stderr, "\rmodrender: %.1f s rendered%s", static_cast<double>(frames) / rate,
                 done ? "\n" : "");
}

// Renders one song from its start point to where it stops into `writer`.
void render_song(AudioWriter& writer, Song& song, bool gain, bool progress, uint64_t& written) {
    std::vector<float> buffer(CHUNK_FRAMES * replayer::OUTPUT_CHANNELS);
    const uint32_t rate = song.loaded.context->settings.sample_rate;
    uint64_t next_report = written;
    for (uint64_t at = song.first_frame; at < song.end_frame && !writer.failed;) {
        const uint32_t want =
            static_cast<uint32_t>(std::min<uint64_t>(song.end_frame - at, CHUNK_FRAMES));
        const uint32_t got = replayer::generate_frames(song.loaded.context, buffer.data(), want);
        write_audio(writer, buffer.data(), got, gain);
        at += got;
        written += got;
        if (progress && written >= next_report) {
            show_progress(written, rate, false);
            next_report = written + rate;
        }
        if (got < want) break;
    }
}

void open_output(AudioWriter& writer, const char* path, uint32_t rate, bool s16) {
    writer.sample_rate = rate;
    writer.s16 = s16;
    if (!open_audio(writer, path))
        reject(path, is_flac_path(path) ? "cannot write a FLAC file here" : std::strerror(errno));
}

void render_all(const Options& o, SongList& songs) {
    const replayer::RenderSettings& s = o.song.settings;
    AudioWriter writer;
    std::string titles;
    double seconds = 0;
    for (const auto& song : songs) {
        titles += (titles.empty() ? "" : " / ") + song->title;
        seconds +=
            static_cast<double>(song->end_frame - std::min(song->end_frame, song->first_frame)) /
            s.sample_rate;
    }
    writer.title = titles.c_str();
    writer.duration_s = seconds;
    open_output(writer, o.output, s.sample_rate, s.sample_format == replayer::SAMPLE_FORMAT_S16);
    const bool progress = isatty(STDERR_FILENO);
    uint64_t written = 0;
    for (auto& song : songs) render_song(writer, *song, o.gain, progress, written);
    if (progress) show_progress(written, s.sample_rate, true);
    if (!finish_audio(writer)) reject(o.output, "write failed");
}

// Each channel alone, rendered exactly as in the mix, so the stems add up to it.
void render_stems(const Options& o, Song& song) {
    replayer::ReplayContext* ctx = song.loaded.context;
    const replayer::RenderSettings& s = o.song.settings;
    if (mkdir(o.stems, STEMS_DIRECTORY_MODE) != 0 && errno != EEXIST)
        reject(o.stems, std::strerror(errno));
    for (unsigned c = 0; c < ctx->channel_count; ++c) {
        char name[32];
        std::snprintf(name, sizeof name, "/channel-%02u.wav", c + 1);
        const std::string path = std::string(o.stems) + name;
        for (unsigned other = 0; other < ctx->channel_count; ++other)
            replayer::set_channel_solo(ctx, static_cast<uint8_t>(other), other == c);
        rewind_song(song);
        AudioWriter writer;
        open_output(writer, path.c_str(), s.sample_rate,
                    s.sample_format == replayer::SAMPLE_FORMAT_S16);
        uint64_t written = 0;
        render_song(writer, song, false, false, written);
        if (!finish_audio(writer)) reject(path.c_str(), "write failed");
    }
}

void write_compact_file(const char* path, const replayer::ReplayContext& ctx) {
    const std::vector<uint8_t> image = compact_writer::write_compact(ctx);
    std::FILE* f = std::fopen(path, "wb");
    if (!f) reject(path, std::strerror(errno));
    const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !written) reject(path, "write failed");
}

void print_info(const std::vector<const char*>& inputs) {
    for (const char* path : inputs) {
        const ModuleFile file = read_module_file(path, MAX_MODULE_BYTES);
        if (file.error) reject(path, file.error);
        const replayer::LoadResult loaded =
            replayer::load_module_checked(file.bytes.data(), file.bytes.size());
        if (loaded.error) reject(path, loaded.error);
        if (inputs.size() > 1)
            std::printf("%sfile: %s\n", path == inputs.front() ? "" : "\n", path);
        print_module_info(stdout, loaded, file.bytes);
        replayer::free_module(loaded.context);
    }
}

} // namespace

int main(int argc, char** argv) {
    const Options o = parse_options(argc, argv);
    if (o.info) {
        print_info(o.inputs);
    } else if (o.compact_output) {
        const char* path = o.inputs.front();
        const ModuleFile file = read_module_file(path, MAX_MODULE_BYTES);
        if (file.error) reject(path, file.error);
        const replayer::LoadResult loaded =
            replayer::load_module_checked(file.bytes.data(), file.bytes.size());
        if (loaded.error) reject(path, loaded.error);
        write_compact_file(o.compact_output, *loaded.context);
        replayer::free_module(loaded.context);
    } else if (o.play) {
        PlayOptions play;
        play.song = o.song;
        play.device_rate = !o.rendering.exact && !o.rendering.rate_set;
        play.gain = o.gain;
        play.status = isatty(STDERR_FILENO);
        play.keyboard = isatty(STDIN_FILENO);
        if (const char* failure = play_files(o.inputs, play)) {
            std::fprintf(stderr, "modrender: %s\n", failure);
            std::exit(EXIT_REJECTED);
        }
    } else {
        SongList songs = load_songs(o.inputs, o.song, o.song.settings.sample_rate);
        if (o.stems)
            render_stems(o, *songs.front());
        else
            render_all(o, songs);
    }
    return 0;
}

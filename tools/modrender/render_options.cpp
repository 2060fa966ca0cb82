// SPDX-License-Identifier: GPL-2.0-or-later
#include "render_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct Named {
    const char* name;
    uint8_t value;
};

constexpr Named INTERPOLATIONS[] = {{"nearest", replayer::INTERPOLATION_NEAREST},
                                    {"linear", replayer::INTERPOLATION_LINEAR},
                                    {"cubic", replayer::INTERPOLATION_CUBIC},
                                    {"sinc", replayer::INTERPOLATION_SINC}};
constexpr Named FORMATS[] = {{"f32", replayer::SAMPLE_FORMAT_F32},
                             {"s16", replayer::SAMPLE_FORMAT_S16}};

template <size_t N> bool find_named(const Named (&table)[N], const char* text, uint8_t& value) {
    for (const Named& n : table)
        if (std::strcmp(n.name, text) == 0) {
            value = n.value;
            return true;
        }
    return false;
}

bool parse_number(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text, &end);
    return !errno && end != text && !*end && std::isfinite(value) && value >= low && value <= high;
}

} // namespace

bool take_render_option(RenderOptions& o, const std::string& arg, int argc, char** argv, int& i,
                        void (*fail)(const char*)) {
    replayer::RenderSettings& s = o.settings;
    if (arg == "--exact") {
        o.exact = true;
        return true;
    }
    if (arg == "--ramp" || arg == "--no-ramp") {
        s.ramping = arg == "--ramp";
        o.shaped = true;
        return true;
    }
    if (arg != "--rate" && arg != "--interp" && arg != "--stereo" && arg != "--gain-db" &&
        arg != "--format")
        return false;
    if (i + 1 >= argc) fail((arg + " needs a value").c_str());
    const char* value = argv[++i];
    double number = 0;
    if (arg == "--rate") {
        if (!parse_number(value, replayer::MIN_SAMPLE_RATE, replayer::MAX_SAMPLE_RATE, number) ||
            number != std::floor(number))
            fail("--rate wants a whole number of hertz from 8000 to 192000");
        s.sample_rate = static_cast<uint32_t>(number);
        o.rate_set = o.shaped = true;
    } else if (arg == "--interp") {
        if (!find_named(INTERPOLATIONS, value, s.interpolation))
            fail("--interp wants nearest, linear, cubic or sinc");
        o.shaped = true;
    } else if (arg == "--stereo") {
        if (!parse_number(value, 0, replayer::MAX_STEREO_SEPARATION, number) ||
            number != std::floor(number))
            fail("--stereo wants a whole percentage from 0 to 200");
        s.stereo_separation = static_cast<uint16_t>(number);
    } else if (arg == "--gain-db") {
        if (!parse_number(value, replayer::MIN_GAIN_DB, replayer::MAX_GAIN_DB, number))
            fail("--gain-db wants a number of decibels from -60 to 24");
        s.gain_db = static_cast<float>(number);
    } else {
        if (!find_named(FORMATS, value, s.sample_format)) fail("--format wants f32 or s16");
        o.format_set = true;
    }
    return true;
}

const char* render_options_conflict(const RenderOptions& o) {
    if (o.exact && o.shaped)
        return "--exact is the intro's rate, interpolation and ramping; give none of them with it";
    return nullptr;
}

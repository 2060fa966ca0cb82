// SPDX-License-Identifier: GPL-2.0-or-later
#include "start_point.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned long MAX_ORDER = 255, MAX_ROW = 255;

bool parse_number(const char* text, const char* end, unsigned long max, unsigned long& value) {
    if (text == end) return false;
    for (const char* c = text; c < end; ++c)
        if (*c < '0' || *c > '9') return false;
    errno = 0;
    value = std::strtoul(text, nullptr, 10);
    return errno == 0 && value <= max;
}

} // namespace

bool parse_start_point(const char* text, StartPoint& start) {
    if (const char* colon = std::strchr(text, ':')) {
        unsigned long order = 0, row = 0;
        if (!parse_number(text, colon, MAX_ORDER, order) ||
            !parse_number(colon + 1, colon + std::strlen(colon), MAX_ROW, row))
            return false;
        start = {StartPoint::ROW, 0, static_cast<uint16_t>(order), static_cast<uint8_t>(row)};
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const double seconds = std::strtod(text, &end);
    if (errno || end == text || *end || !std::isfinite(seconds) || seconds < 0 ||
        seconds > replayer::SEEK_LIMIT_SECONDS)
        return false;
    start = {StartPoint::SECONDS, seconds, 0, 0};
    return true;
}

uint64_t seek_to_start(replayer::ReplayContext* ctx, const StartPoint& start) {
    switch (start.kind) {
    case StartPoint::SECONDS: {
        const auto frame =
            static_cast<uint64_t>(std::llround(start.seconds * ctx->settings.sample_rate));
        replayer::seek_to_frame(ctx, frame);
        return frame;
    }
    case StartPoint::ROW: {
        const replayer::RowTime at = replayer::time_at(ctx, start.order, start.row);
        if (!at.found) return UINT64_MAX;
        replayer::seek_to_frame(ctx, at.frame);
        return at.frame;
    }
    default:
        return 0;
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel_list.h"

#include <cerrno>
#include <cstdlib>

namespace {

constexpr unsigned long HIGHEST_CHANNEL = 255;

// One number from 1 to 255 at `text`; moves `text` past it.
bool take_channel(const char*& text, unsigned long& channel) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    channel = std::strtoul(text, &end, 10);
    text = end;
    return errno == 0 && channel >= 1 && channel <= HIGHEST_CHANNEL;
}

} // namespace

bool parse_channel_list(const char* text, ChannelSet& set) {
    for (;;) {
        unsigned long first = 0, last = 0;
        if (!take_channel(text, first)) return false;
        last = first;
        if (*text == '-' && (!take_channel(++text, last) || last < first)) return false;
        for (unsigned long c = first; c <= last; ++c) set.set(c - 1);
        if (*text == '\0') return true;
        if (*text++ != ',') return false;
    }
}

unsigned apply_channel_lists(replayer::ReplayContext* ctx, const ChannelSet& mute,
                             const ChannelSet& solo) {
    for (unsigned c = 0; c < mute.size(); ++c) {
        if (!mute[c] && !solo[c]) continue;
        if (c >= ctx->channel_count) return c + 1;
        if (mute[c]) replayer::set_channel_mute(ctx, static_cast<uint8_t>(c), true);
        if (solo[c]) replayer::set_channel_solo(ctx, static_cast<uint8_t>(c), true);
    }
    return 0;
}

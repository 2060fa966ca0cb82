// SPDX-License-Identifier: GPL-2.0-or-later
// The order lists S3M and IT share: skip and end markers, and the songs after
// an end marker.
#include "formats.h"

namespace replayer {

namespace {

constexpr uint8_t ORDER_MARKER_SKIP = 254;
constexpr uint8_t ORDER_MARKER_END = 255;

// visit(entry) takes each order entry and returns false to stop;
// song_ended() comes at each 255 that follows an entry.
template <typename Visit, typename SongEnded>
void walk_orders(const ByteReader& in, uint64_t orders, uint16_t order_count, Visit visit,
                 SongEnded song_ended) {
    bool after_entry = false;
    for (uint16_t i = 0; i < order_count; ++i) {
        const uint8_t entry = in.u8(orders + i);
        if (entry == ORDER_MARKER_END && after_entry) song_ended();
        if (entry == ORDER_MARKER_END || entry == ORDER_MARKER_SKIP) {
            after_entry = after_entry && entry == ORDER_MARKER_SKIP;
            continue;
        }
        if (!visit(entry)) return;
        after_entry = true;
    }
}

} // namespace

OrderCount count_orders(const ByteReader& in, uint64_t orders, uint16_t order_count,
                        uint16_t pattern_count) {
    OrderCount count{};
    bool first_song = true;
    walk_orders(
        in, orders, order_count,
        [&](uint8_t entry) {
            if (count.song_length == ORDER_TABLE_SIZE) {
                count.first_song_too_long = first_song;
                return false;
            }
            if (entry >= pattern_count) count.names_missing_pattern = true;
            ++count.song_length;
            return true;
        },
        [&] { first_song = false; });
    return count;
}

void fill_orders(ReplayContext& ctx, const ByteReader& in, uint64_t orders, uint16_t order_count,
                 uint16_t pattern_count) {
    uint16_t position = 0;
    walk_orders(
        in, orders, order_count,
        [&](uint8_t entry) {
            if (position == ctx.song_length) return false;
            ctx.order_table[position++] =
                entry < pattern_count ? entry : static_cast<uint8_t>(pattern_count);
            return true;
        },
        [&] {
            const uint16_t last = static_cast<uint16_t>(position - 1);
            ctx.song_breaks[last / 8] =
                static_cast<uint8_t>(ctx.song_breaks[last / 8] | 1u << (last % 8));
        });
}

} // namespace replayer

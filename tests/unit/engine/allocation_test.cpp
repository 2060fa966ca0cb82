// SPDX-License-Identifier: GPL-2.0-or-later
// generate_frames runs on a real-time audio thread: it must not allocate. The
// global allocation functions are replaced here to count every call.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "test_module.h"

namespace {
std::atomic<long> allocations{0};
}

// Replacement allocation functions release with free what they took with
// malloc; the compiler cannot see that pairing.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

// The C allocator too, through glibc's own entry points; the sanitizers
// interpose it themselves, so there only operator new is counted.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* malloc(std::size_t size) {
    ++allocations;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    ++allocations;
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    ++allocations;
    return __libc_realloc(p, size);
}
}
#endif

namespace replayer::test {
namespace {

TEST(RealTime, RenderingAndSeekingMakeNoHeapAllocationAtAnySetting) {
    ModuleShape shape;
    shape.channels = 2;
    shape.sample_frames = {4000};
    TestModule m(shape);
    m.sample().loop_length = 1000;
    for (int r = 0; r < 64; ++r) {
        m.slot(0, r, 0) = {static_cast<uint8_t>(40 + r % 12), 1, 0, EFFECT_VIBRATO, 0x35};
        m.slot(0, r, 1) = {static_cast<uint8_t>(30 + r % 7), 1, 0, EFFECT_MULTI_RETRIG, 0x93};
    }
    m.finish();
    float buffer[2 * 1024];
    int16_t integers[2 * 1024];
    // Every kernel, with and without ramping, at the lowest, a common and the
    // highest rate; the settings themselves changed on the rendering thread.
    std::vector<RenderSettings> every;
    for (uint8_t interpolation = 0; interpolation <= INTERPOLATION_SINC; ++interpolation)
        for (uint8_t ramping = 0; ramping < 2; ++ramping)
            for (uint32_t rate : {8000u, 44100u, 48000u, 192000u})
                every.push_back(
                    {rate, interpolation, ramping, 150, -3.0f, static_cast<uint8_t>(ramping), {}});
    const long before = allocations.load();
    for (const RenderSettings& settings : every) {
        ASSERT_EQ(set_render_settings(m.ctx, settings), nullptr);
        for (int i = 0; i < 25; ++i) generate_frames(m.ctx, buffer, 1024);
        render(m.ctx,
               settings.sample_format == SAMPLE_FORMAT_S16 ? static_cast<void*>(integers)
                                                           : static_cast<void*>(buffer),
               1024);
        // Seeking and asking for time belong to the rendering thread as well.
        ASSERT_TRUE(seek_to_seconds(m.ctx, 1.5));
        ASSERT_TRUE(time_at(m.ctx, 0, 10).found);
        ASSERT_TRUE(seek_to_row(m.ctx, 0, 20));
        generate_frames(m.ctx, buffer, 1024);
        // And what a player reads and sets there: meters, passes, subsongs, cells.
        set_peak_meters(m.ctx, true);
        set_repeat_count(m.ctx, 1);
        generate_frames(m.ctx, buffer, 1024);
        ChannelInfo info{};
        ASSERT_TRUE(channel_info(*m.ctx, 1, &info));
        ASSERT_EQ(song_state(*m.ctx).order, 0);
        SubsongInfo subsongs[2];
        ASSERT_EQ(list_subsongs(m.ctx, subsongs, 2), 1u);
        ASSERT_TRUE(select_subsong(m.ctx, 0));
        measure_song(m.ctx, 48000 * 60);
        char text[CELL_TEXT_SIZE];
        ASSERT_EQ(cell_text(*m.ctx, m.slot(0, 3, 1), text, sizeof text), 14u);
        set_repeat_count(m.ctx, REPEAT_FOREVER);
    }
    EXPECT_EQ(allocations.load(), before);
    EXPECT_GT(allocations.load(), 0) << "the counter sees allocations at all";
}

} // namespace
} // namespace replayer::test

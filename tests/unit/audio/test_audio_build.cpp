// SPDX-License-Identifier: GPL-2.0-or-later
// What the audio library was built with: JACK is the only backend, so no
// other sound system (and not the silent null device) can ever be chosen.
#include <gtest/gtest.h>

#include <miniaudio.h>

TEST(AudioLibraryBuild, JackIsTheOnlyBackend) {
    ma_backend backends[MA_BACKEND_COUNT];
    size_t count = 0;
    ASSERT_EQ(ma_get_enabled_backends(backends, MA_BACKEND_COUNT, &count), MA_SUCCESS);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(backends[0], ma_backend_jack);
    EXPECT_FALSE(ma_is_backend_enabled(ma_backend_null));
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Small modules of every loading variant beyond the plain formats: stereo and
// 4-bit ADPCM samples in XM and S3M, S3M pattern lengths that leave out their
// own two bytes, the rarer MOD signatures, an 8-channel MOD under the
// 4-channel tag, the 15-sample MOD layout (plain, with loop starts in bytes,
// and with what real files hold beside the music), an "M.K." song of a
// tracker without tempo, and the XM variants that are refused. Each plays a
// plain melody of plucked and held notes (or held notes at stepped volumes),
// so that its render can be set beside the reference players' (see
// tests/unit/engine/test_reference_player.py); the fuzzers start from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace variant_seeds {

struct Seed {
    std::string name;
    std::vector<uint8_t> bytes;
    const char* refusal; // the loader's reason for refusing it, or null: it loads
};

std::vector<Seed> variant_seeds();

} // namespace variant_seeds

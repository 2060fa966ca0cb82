// SPDX-License-Identifier: GPL-2.0-or-later
// Writes a loaded replay context in the compact module format, the exact
// inverse of the replayer's compact reader: loading the image gives the same
// module records, so it plays bit-identically.
#pragma once

#include <cstdint>
#include <vector>

#include "quillrun/replayer.h"

namespace compact_writer {

// The image of a context as loaded (after the clean-up pass; playback state is
// not written). Order entries past the song length are not kept.
std::vector<uint8_t> write_compact(const replayer::ReplayContext& ctx);

} // namespace compact_writer

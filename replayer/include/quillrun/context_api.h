// SPDX-License-Identifier: GPL-2.0-or-later
// Quillrun replayer: what the headers of calls on a replay context share: the
// export mark and the context's name (replayer.h defines it).
#pragma once

#include <cstdint>

// The shared library exports what is marked so; everything else is hidden.
#ifndef QUILLRUN_API
#define QUILLRUN_API __attribute__((visibility("default")))
#endif

namespace replayer {
struct ReplayContext;
} // namespace replayer

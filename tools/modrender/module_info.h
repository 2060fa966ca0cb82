// SPDX-License-Identifier: GPL-2.0-or-later
// `modrender --info`: what the loader makes of a module, as `key: value` lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "quillrun/replayer.h"

// Prints the module's title (read from its bytes), counts, defaults, context
// size, one-pass duration and the effect codes its patterns use. Measuring
// the pass leaves the song at its start.
void print_module_info(std::FILE* out, const replayer::LoadResult& loaded,
                       const std::vector<uint8_t>& bytes);

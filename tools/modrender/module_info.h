// `modrender --info`: what the loader makes of a module, as `key: value` lines.
#pragma once

#include <cstdio>

#include "replayer/replayer.h"

// Prints the module's counts, defaults, context size, one-pass duration and
// the effect codes its patterns use. Renders the context through one pass, so
// it must be freshly loaded.
void print_module_info(std::FILE* out, const replayer::LoadResult& loaded);

// Longest pass --info and a render without -t measure, in seconds.
inline constexpr unsigned MAX_PASS_SECONDS = 3600;

// SPDX-License-Identifier: GPL-2.0-or-later
// What every fuzz target demands of a load, beyond the sanitizers: a refusal
// names its reason, and a module that loads keeps every bound playback relies
// on. A broken promise aborts, so libFuzzer keeps the input as a finding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quillrun/replayer.h"

namespace fuzz {

// Loads the bytes through the one loading entry point and checks the outcome.
// Returns the context (the caller frees it) or null when it was refused.
replayer::ReplayContext* load_checked(const uint8_t* data, size_t size);

// Ends the process with a one-line reason on stderr: libFuzzer reports it as a
// crash and keeps the input.
[[noreturn]] void fail(const char* what, const char* detail);

} // namespace fuzz

// SPDX-License-Identifier: GPL-2.0-or-later
// Any bytes through the one loading entry point: every format's prescan,
// sizing and loader. A refusal must free what it took (LeakSanitizer checks).
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (replayer::ReplayContext* context = fuzz::load_checked(data, size))
        replayer::free_module(context);
    return 0;
}

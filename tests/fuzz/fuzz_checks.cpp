// SPDX-License-Identifier: GPL-2.0-or-later
#include "fuzz_checks.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "module_check.h"

namespace fuzz {

void fail(const char* what, const char* detail) {
    std::fprintf(stderr, "fuzz check failed: %s: %s\n", what, detail);
    std::abort();
}

replayer::ReplayContext* load_checked(const uint8_t* data, size_t size) {
    const replayer::LoadResult result = replayer::load_module_checked(data, size);
    if (!result.context) {
        if (!result.error) fail("load", "refused without a reason");
        return nullptr;
    }
    if (result.error) fail("load", "a loaded module also carries an error");
    // A compact image is held to the layout only: its notes, effect codes and
    // sample maps are taken as stored, and playback gives every value a meaning.
    const std::string problem = result.format == replayer::FORMAT_COMPACT
                                    ? test_modules::check_layout(*result.context)
                                    : test_modules::check_context(*result.context);
    if (!problem.empty()) fail("loaded context", problem.c_str());
    return result.context;
}

} // namespace fuzz

// SPDX-License-Identifier: GPL-2.0-or-later
#include <cstdlib>

#include "quillrun/replayer.h"

namespace replayer {

void free_module(ReplayContext* context) {
    std::free(context);
}

} // namespace replayer

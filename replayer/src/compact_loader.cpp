// Placeholder until the compact loader lands: refuses every module of this format.
#include "loaders.h"

namespace replayer {

const char* prescan_compact(const ByteReader&, ModuleScan&) {
    return "compact modules are not supported yet";
}

const char* load_compact(ReplayContext&, const ModuleScan&, const ByteReader&) {
    return "compact modules are not supported yet";
}

} // namespace replayer

// Placeholder until the mod loader lands: refuses every module of this format.
#include "loaders.h"

namespace replayer {

const char* prescan_mod(const ByteReader&, ModuleScan&) {
    return "mod modules are not supported yet";
}

const char* load_mod(ReplayContext&, const ModuleScan&, const ByteReader&) {
    return "mod modules are not supported yet";
}

} // namespace replayer

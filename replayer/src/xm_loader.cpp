// Placeholder until the xm loader lands: refuses every module of this format.
#include "loaders.h"

namespace replayer {

const char* prescan_xm(const ByteReader&, ModuleScan&) {
    return "xm modules are not supported yet";
}

const char* load_xm(ReplayContext&, const ModuleScan&, const ByteReader&) {
    return "xm modules are not supported yet";
}

} // namespace replayer

// Placeholder until the s3m loader lands: refuses every module of this format.
#include "loaders.h"

namespace replayer {

const char* prescan_s3m(const ByteReader&, ModuleScan&) {
    return "s3m modules are not supported yet";
}

const char* load_s3m(ReplayContext&, const ModuleScan&, const ByteReader&) {
    return "s3m modules are not supported yet";
}

} // namespace replayer

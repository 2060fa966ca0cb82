// SPDX-License-Identifier: GPL-2.0-or-later
// The compact reader alone: every input is given the compact magic, so all of
// the fuzzer's work goes into the header, the strides and the sections.
#include <algorithm>
#include <vector>

#include "fuzz_checks.h"

namespace {

constexpr size_t IMAGE_MIN_BYTES =
    replayer::compact::HEADER_MAGIC + sizeof replayer::compact::MAGIC;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    if (image.size() < IMAGE_MIN_BYTES) image.resize(IMAGE_MIN_BYTES);
    std::copy(std::begin(replayer::compact::MAGIC), std::end(replayer::compact::MAGIC),
              image.begin() + replayer::compact::HEADER_MAGIC);
    if (replayer::ReplayContext* context = fuzz::load_checked(image.data(), image.size()))
        replayer::free_module(context);
    return 0;
}

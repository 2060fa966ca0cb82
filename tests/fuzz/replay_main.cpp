// SPDX-License-Identifier: GPL-2.0-or-later
// Runs a fuzz target over files and folders without libFuzzer, so any compiler
// can replay the committed regression inputs: each input goes through
// LLVMFuzzerTestOneInput once, in name order.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

constexpr int EXIT_BAD_USAGE = 2;

std::vector<std::filesystem::path> inputs_under(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> found;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            if (entry.is_regular_file()) found.push_back(entry.path());
        std::sort(found.begin(), found.end());
    } else {
        found.push_back(path);
    }
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return EXIT_BAD_USAGE;
    }
    size_t count = 0;
    for (int a = 1; a < argc; ++a) {
        if (!std::filesystem::exists(argv[a])) {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[a]);
            return EXIT_BAD_USAGE;
        }
        for (const auto& path : inputs_under(argv[a])) {
            std::ifstream file(path, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                       std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}

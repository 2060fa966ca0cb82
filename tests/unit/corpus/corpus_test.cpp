// SPDX-License-Identifier: GPL-2.0-or-later
// Every module of the real-module corpus loads, renders without fault, and
// survives the compact round trip unchanged: the same records, the same sound.
// The corpus directory comes from QUILLRUN_CORPUS (scripts/fetch-corpus.sh).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "compact_writer.h"
#include "module_builders.h"
#include "module_check.h"

using namespace replayer;
using namespace test_modules;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t RENDER_SECONDS = 60;
constexpr uint32_t COMPARED_SECONDS = 20; // of the compact image's render
constexpr uint32_t BLOCK_FRAMES = 4800;
constexpr float AUDIBLE_PEAK = 0.01f; // every corpus module is louder within a minute

std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    const char* dir = std::getenv("QUILLRUN_CORPUS");
    if (!dir || !fs::is_directory(dir)) return files;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".xm" || ext == ".s3m" || ext == ".mod" || ext == ".it")
            files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

Bytes read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = fs::path(info.param).filename().string();
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
}

class Corpus : public testing::TestWithParam<std::string> {};

} // namespace

TEST(CorpusFiles, AreThere) {
    EXPECT_GE(corpus_files().size(), 61u) << "QUILLRUN_CORPUS should name the fetched corpus";
}

TEST_P(Corpus, LoadsRendersAndRoundTripsThroughCompact) {
    const Bytes module = read_file(GetParam());
    const char* error = nullptr;
    Context direct = load(module, &error);
    ASSERT_TRUE(direct) << error;

    const Bytes image = compact_writer::write_compact(*direct);
    Context compact = load(image, &error);
    ASSERT_TRUE(compact) << error;
    expect_same_module(*direct, *compact);

    std::vector<float> a(BLOCK_FRAMES * OUTPUT_CHANNELS), b(a.size());
    float peak = 0;
    for (uint32_t done = 0; done < RENDER_SECONDS * OUTPUT_SAMPLE_RATE; done += BLOCK_FRAMES) {
        generate_frames(direct.get(), a.data(), BLOCK_FRAMES);
        ASSERT_TRUE(std::all_of(a.begin(), a.end(), [](float x) { return std::isfinite(x); }))
            << "at frame " << done;
        for (float x : a) peak = std::max(peak, std::fabs(x));
        if (done >= COMPARED_SECONDS * OUTPUT_SAMPLE_RATE) continue;
        generate_frames(compact.get(), b.data(), BLOCK_FRAMES);
        ASSERT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(float)))
            << "compact image renders differently from frame " << done;
    }
    EXPECT_GT(peak, AUDIBLE_PEAK) << "a minute of (near) silence";
}

INSTANTIATE_TEST_SUITE_P(Modules, Corpus, testing::ValuesIn(corpus_files()), test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Corpus);

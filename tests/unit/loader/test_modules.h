// Small XM modules for the loader tests, built with the project's XM writer,
// and a check that a loaded context is safe for playback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "replayer/replayer.h"
#include "xm_writer.h"

namespace loader_test {

// One channel, one 4-row pattern, one instrument with one 16-frame 8-bit sample.
xmwriter::Module small_module();

// An 8-bit sample with the given frames and no loop.
xmwriter::Sample sample_8bit(std::vector<int16_t> frames);

// An instrument with the given samples, sample map all 0.
xmwriter::Instrument instrument_with(std::vector<xmwriter::Sample> samples);

// A module with `count` empty (no packed data) patterns.
xmwriter::Module module_with_empty_patterns(uint16_t count, uint16_t channels);

// Loads bytes; the context is freed by the destructor.
struct Loaded {
    replayer::LoadResult result{};
    explicit Loaded(const std::vector<uint8_t>& bytes);
    ~Loaded();
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
    replayer::ReplayContext& ctx() const { return *result.context; }
};

// Empty when the context's records keep every bound playback indexes with
// (orders, patterns, samples, envelopes); otherwise the first broken one.
// A compact image is held to this much: its sample maps, notes and effect
// codes are taken as stored and playback gives every value a meaning.
std::string check_layout(const replayer::ReplayContext& ctx);

// check_layout, and also that sample maps, notes, effects and volume columns
// hold only what the format loaders produce.
std::string check_context(const replayer::ReplayContext& ctx);

} // namespace loader_test

// SPDX-License-Identifier: GPL-2.0-or-later
// What a program embedding the replayer relies on beyond loading and
// rendering: the names in the module file, the length of one pass measured
// without mixing, and position jumps; each through both the C++ and the C
// interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "compact_writer.h"
#include "library_support.h"

namespace {

using namespace library_test;

std::vector<std::string> names(const Bytes& bytes, NameKind kind) {
    std::vector<std::string> out;
    const uint32_t count = module_name_count(bytes.data(), bytes.size(), kind);
    for (uint32_t i = 0; i < count; ++i) {
        char buffer[64];
        module_name(bytes.data(), bytes.size(), kind, i, buffer, sizeof buffer);
        out.emplace_back(buffer);
    }
    return out;
}

xmwriter::Sample named_sample(const char* name, int frames) {
    xmwriter::Sample s = test_modules::sample_8bit(std::vector<int16_t>(frames, 40));
    s.name = name;
    return s;
}

// Two instruments with sample data between their headers, and a sample-less
// one: the names are found by stepping over all of it.
Bytes named_xm() {
    xmwriter::Module m = test_modules::small_module();
    m.name = "Song of\x01names   ";
    m.instruments[0].name = "lead";
    m.instruments[0].samples = {named_sample("lead attack", 300), named_sample("lead loop", 77)};
    xmwriter::Instrument bass = test_modules::instrument_with({named_sample("bass", 1000)});
    bass.name = "bass guitar, twenty-two";
    m.instruments.push_back(bass);
    xmwriter::Instrument greeting;
    greeting.name = "hello there";
    m.instruments.push_back(greeting);
    return xmwriter::write_xm(m);
}

TEST(LibraryNames, AreReadFromTheModuleFile) {
    const Bytes xm = named_xm();
    EXPECT_EQ(names(xm, NAME_TITLE), (std::vector<std::string>{"Song of names"}));
    EXPECT_EQ(names(xm, NAME_INSTRUMENT),
              (std::vector<std::string>{"lead", "bass guitar, twenty-tw", "hello there"}));
    EXPECT_EQ(names(xm, NAME_SAMPLE),
              (std::vector<std::string>{"lead attack", "lead loop", "bass"}));

    // Cut to the buffer, counted whole, as snprintf does; nothing past the end.
    char small[5] = "????";
    EXPECT_EQ(module_name(xm.data(), xm.size(), NAME_INSTRUMENT, 1, small, 4), 22u);
    EXPECT_STREQ(small, "bas");
    EXPECT_EQ(module_name(xm.data(), xm.size(), NAME_SAMPLE, 3, small, sizeof small), 0u);
    EXPECT_STREQ(small, "");

    // The C handle keeps its own copy of the bytes.
    Bytes copy = xm;
    CModule c(copy);
    copy.assign(copy.size(), 0);
    ASSERT_NE(c.handle, nullptr) << c.error;
    char buffer[32];
    EXPECT_EQ(quillrun_title(c.handle, buffer, sizeof buffer), 13u);
    EXPECT_STREQ(buffer, "Song of names");
    EXPECT_EQ(quillrun_instrument_count(c.handle), 3u);
    EXPECT_EQ(quillrun_sample_count(c.handle), 3u);
    quillrun_sample_name(c.handle, 1, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "lead loop");

    // A compact image keeps no texts; bytes that are no module have none.
    CppModule loaded(xm);
    const Bytes image = compact_writer::write_compact(*loaded.loaded.context);
    EXPECT_EQ(names(image, NAME_TITLE), (std::vector<std::string>{""}));
    EXPECT_EQ(module_name_count(image.data(), image.size(), NAME_SAMPLE), 0u);
    const Bytes noise(2000, 0x5A);
    EXPECT_EQ(module_name_count(noise.data(), noise.size(), NAME_TITLE), 0u);
}

TEST(LibraryPass, MeasuredWithoutMixingIsTheRenderedPass) {
    const uint64_t limit = uint64_t{PASS_LIMIT_SECONDS} * OUTPUT_SAMPLE_RATE;
    struct Case {
        const char* name;
        Bytes bytes;
        uint16_t end_order;
        uint8_t end_row;
    };
    const Case cases[] = {{"intro module", intro_module(), 1, 0},
                          {"jump back, loop, delay", jumping_xm(), 1, 0},
                          {"one pattern", xmwriter::write_xm(test_modules::small_module()), 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CppModule measured(c.bytes), rendered(c.bytes);
        ASSERT_NE(measured.loaded.context, nullptr) << measured.loaded.error;
        const PassInfo pass = measure_pass(measured.loaded.context, limit);
        EXPECT_TRUE(pass.ended);
        EXPECT_EQ(pass.frames, rendered_pass(rendered.loaded.context, limit));
        EXPECT_EQ(std::make_pair(pass.end_order, pass.end_row),
                  std::make_pair(c.end_order, c.end_row));

        // The song is back at its start: it renders as a fresh load does.
        CppModule fresh(c.bytes);
        std::vector<float> after(2 * 4096), first(2 * 4096);
        generate_frames(measured.loaded.context, after.data(), 4096);
        generate_frames(fresh.loaded.context, first.data(), 4096);
        EXPECT_EQ(first_difference(after, first), -1);

        CModule handle(c.bytes);
        EXPECT_EQ(quillrun_pass_frames(handle.handle), pass.frames);
        uint16_t order = 999;
        uint8_t row = 99;
        EXPECT_EQ(quillrun_pass_end(handle.handle, &order, &row), 1);
        EXPECT_EQ(std::make_pair(order, row), std::make_pair(c.end_order, c.end_row));
    }
}

TEST(LibrarySetPosition, PlaysAsASongThatStartsThere) {
    // Up to the end of the shortest song from a section on: past it the
    // copy restarts at its own first section.
    constexpr uint32_t BEFORE = 30000, AFTER = 40000;
    const Bytes song = sections_xm({0, 1, 2, 3});
    for (uint8_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(int{k});
        std::vector<uint8_t> from_k;
        for (uint8_t o = k; o < 4; ++o) from_k.push_back(o);
        CppModule jumped(song), started(sections_xm(from_k));
        std::vector<float> scratch(2 * BEFORE), got(2 * AFTER), want(2 * AFTER);
        generate_frames(jumped.loaded.context, scratch.data(), BEFORE);
        ASSERT_TRUE(set_position(jumped.loaded.context, k, 0));
        EXPECT_EQ(playback_position(*jumped.loaded.context).frames_to_tick, 0u);
        generate_frames(jumped.loaded.context, got.data(), AFTER);
        generate_frames(started.loaded.context, want.data(), AFTER);
        EXPECT_EQ(first_difference(got, want), -1);
        EXPECT_EQ(playback_position(*jumped.loaded.context).order,
                  playback_position(*started.loaded.context).order + k);

        CModule c(song);
        quillrun_render(c.handle, scratch.data(), BEFORE);
        ASSERT_EQ(quillrun_set_position(c.handle, k, 0), 1);
        quillrun_render(c.handle, got.data(), AFTER);
        EXPECT_EQ(first_difference(got, want), -1);
    }
    // Playing voices stop: a row without notes is silence.
    CppModule stopped(song);
    std::vector<float> playing(2 * BEFORE), silence(2 * 1000, 0.0f), after(2 * 1000);
    generate_frames(stopped.loaded.context, playing.data(), BEFORE);
    ASSERT_NE(playing.back(), 0.0f);
    ASSERT_TRUE(set_position(stopped.loaded.context, 1, 2));
    generate_frames(stopped.loaded.context, after.data(), 1000);
    EXPECT_EQ(first_difference(after, silence), -1);

    // Past the song: refused, nothing changed.
    CppModule a(song), b(song);
    EXPECT_FALSE(set_position(a.loaded.context, 4, 0));
    std::vector<float> x(2 * 1000), y(2 * 1000);
    generate_frames(a.loaded.context, x.data(), 1000);
    generate_frames(b.loaded.context, y.data(), 1000);
    EXPECT_EQ(first_difference(x, y), -1);
}

// Seeks through the C interface land where the song played from its start
// stands (the corpus test holds the C++ ones to every corpus module), a time
// query leaves playback where it was, and what cannot be sought is refused.
TEST(LibrarySeek, LandsWhereTheSongPlayedFromTheStartIs) {
    constexpr uint32_t PLAYED = 120000, AFTER = 20000;
    const Bytes song = jumping_xm();
    CModule played(song), sought(song);
    std::vector<float> full(2 * size_t{PLAYED + AFTER}), got(2 * AFTER);
    quillrun_render(played.handle, full.data(), PLAYED + AFTER);
    auto from = [&](uint64_t frame) {
        return std::vector<float>(full.begin() + 2 * frame, full.begin() + 2 * (frame + AFTER));
    };
    ASSERT_EQ(quillrun_seek_seconds(sought.handle, 1.25), 1);
    quillrun_render(sought.handle, got.data(), AFTER);
    EXPECT_EQ(first_difference(got, from(60000)), -1);
    quillrun_seek_frame(sought.handle, 12345);
    quillrun_render(sought.handle, got.data(), AFTER);
    EXPECT_EQ(first_difference(got, from(12345)), -1);

    // The time of a row, asked mid-song, leaves the song where it is.
    uint64_t frame = 0;
    double seconds = 0;
    ASSERT_EQ(quillrun_time_at(sought.handle, 2, 0, &frame, &seconds), 1);
    EXPECT_DOUBLE_EQ(seconds, static_cast<double>(frame) / OUTPUT_SAMPLE_RATE);
    quillrun_render(sought.handle, got.data(), AFTER);
    EXPECT_EQ(first_difference(got, from(12345 + AFTER)), -1);
    ASSERT_LE(frame, PLAYED);
    ASSERT_EQ(quillrun_seek_row(sought.handle, 2, 0), 1);
    quillrun_render(sought.handle, got.data(), AFTER);
    EXPECT_EQ(first_difference(got, from(frame)), -1);
    EXPECT_EQ(quillrun_get_position(sought.handle).order, 2);

    // Order 0 row 0 is frame 0; the rows after the jump back are never
    // played, nor is an order past the song.
    ASSERT_EQ(quillrun_time_at(sought.handle, 0, 0, &frame, nullptr), 1);
    EXPECT_EQ(frame, 0u);
    EXPECT_EQ(quillrun_time_at(sought.handle, 2, 5, nullptr, nullptr), 0);
    EXPECT_EQ(quillrun_time_at(sought.handle, 3, 0, nullptr, nullptr), 0);
    EXPECT_EQ(quillrun_seek_row(sought.handle, 2, 5), 0);
    for (double bad : {-0.5, std::nan(""), 1e9})
        EXPECT_EQ(quillrun_seek_seconds(sought.handle, bad), 0) << bad;
}

// Muting a channel, soloing the other or setting its volume to 0 renders the
// song with that channel's notes at volume 0, from the start, after a seek
// and after a restart, in C++ and C; a volume of 1 changes no bit.
TEST(LibraryChannels, MuteSoloAndVolumeSilenceAsVolumeZeroDoes) {
    constexpr uint32_t FRAMES = 60000;
    const Bytes song = sections_xm({0, 1, 2, 3}), quiet = sections_xm({0, 1, 2, 3}, true);
    using Control = bool (*)(ReplayContext*);
    const std::pair<const char*, Control> controls[] = {
        {"mute 1", [](ReplayContext* c) { return set_channel_mute(c, 1, true); }},
        {"solo 0", [](ReplayContext* c) { return set_channel_solo(c, 0, true); }},
        {"volume 0", [](ReplayContext* c) { return set_channel_volume(c, 1, 0.0f); }},
        {"solo both, mute 1",
         [](ReplayContext* c) {
             return set_channel_solo(c, 0, true) && set_channel_solo(c, 1, true) &&
                    set_channel_mute(c, 1, true);
         }},
    };
    for (const RenderSettings& settings : {DEFAULT_RENDER_SETTINGS, LISTENING_RENDER_SETTINGS}) {
        CppModule reference(quiet);
        ASSERT_EQ(set_render_settings(reference.loaded.context, settings), nullptr);
        std::vector<float> want(2 * FRAMES), got(2 * FRAMES);
        generate_frames(reference.loaded.context, want.data(), FRAMES);
        for (const auto& [what, control] : controls) {
            SCOPED_TRACE(what);
            CppModule m(song);
            ASSERT_EQ(set_render_settings(m.loaded.context, settings), nullptr);
            ASSERT_TRUE(control(m.loaded.context));
            generate_frames(m.loaded.context, got.data(), FRAMES);
            EXPECT_EQ(first_difference(got, want), -1);
            restart_song(m.loaded.context);
            generate_frames(m.loaded.context, got.data(), FRAMES);
            EXPECT_EQ(first_difference(got, want), -1) << "after a restart";
        }
    }
    CModule plain(song), full(song), muted(song);
    std::vector<float> want(2 * FRAMES), got(2 * FRAMES);
    quillrun_render(plain.handle, want.data(), FRAMES);
    ASSERT_EQ(quillrun_set_channel_volume(full.handle, 1, 1.0f), 1);
    quillrun_render(full.handle, got.data(), FRAMES);
    EXPECT_EQ(first_difference(got, want), -1) << "volume 1";

    CppModule reference(quiet);
    std::vector<float> sounding = want;
    generate_frames(reference.loaded.context, want.data(), FRAMES);
    ASSERT_NE(first_difference(sounding, want), -1) << "the second channel is heard";
    EXPECT_EQ(quillrun_channel_count(muted.handle), 2u);
    ASSERT_EQ(quillrun_set_channel_mute(muted.handle, 1, 1), 1);
    ASSERT_EQ(quillrun_seek_seconds(muted.handle, 0.25), 1);
    quillrun_render(muted.handle, got.data(), FRAMES - 12000);
    EXPECT_EQ(
        std::memcmp(got.data(), want.data() + 2 * 12000, 2 * (FRAMES - 12000) * sizeof(float)), 0)
        << "after a seek";
    for (float bad : {-0.1f, 1.5f, std::nanf("")})
        EXPECT_EQ(quillrun_set_channel_volume(muted.handle, 0, bad), 0) << bad;
    EXPECT_EQ(quillrun_set_channel_mute(muted.handle, 2, 1), 0);
    EXPECT_EQ(quillrun_set_channel_solo(nullptr, 0, 1), 0);
}

TEST(LibrarySettings, AreCheckedAndShapeWhatRenders) {
    const Bytes song = intro_module();
    struct Refused {
        const char* name;
        RenderSettings settings;
    };
    auto with = [](auto change) {
        RenderSettings s = LISTENING_RENDER_SETTINGS;
        change(s);
        return s;
    };
    const Refused refused[] = {
        {"rate too low", with([](RenderSettings& s) { s.sample_rate = 7999; })},
        {"rate too high", with([](RenderSettings& s) { s.sample_rate = 192001; })},
        {"interpolation", with([](RenderSettings& s) { s.interpolation = 4; })},
        {"ramping", with([](RenderSettings& s) { s.ramping = 2; })},
        {"separation", with([](RenderSettings& s) { s.stereo_separation = 201; })},
        {"gain", with([](RenderSettings& s) { s.gain_db = 24.5f; })},
        {"gain not a number", with([](RenderSettings& s) { s.gain_db = NAN; })},
        {"format", with([](RenderSettings& s) { s.sample_format = 2; })},
    };
    CModule c(song);
    for (const Refused& r : refused) {
        SCOPED_TRACE(r.name);
        CppModule m(song);
        EXPECT_NE(set_render_settings(m.loaded.context, r.settings), nullptr);
        EXPECT_EQ(m.loaded.context->settings.sample_rate, OUTPUT_SAMPLE_RATE) << "unchanged";
        quillrun_settings q;
        std::memcpy(&q, &r.settings, sizeof q);
        EXPECT_NE(quillrun_set_settings(c.handle, &q), nullptr);
    }

    // Mid-song, the C handle takes 44100 Hz, measures its pass again at that
    // rate and plays on where it was, as the C++ context does.
    CppModule cpp(song), measured(song);
    std::vector<float> a(2 * 30000), b(2 * 30000);
    generate_frames(cpp.loaded.context, a.data(), 30000);
    quillrun_render(c.handle, b.data(), 30000);
    const RenderSettings at_44100 = with([](RenderSettings& s) { s.sample_rate = 44100; });
    quillrun_settings q;
    std::memcpy(&q, &at_44100, sizeof q);
    ASSERT_EQ(quillrun_set_settings(c.handle, &q), nullptr);
    ASSERT_EQ(set_render_settings(cpp.loaded.context, at_44100), nullptr);
    const quillrun_settings taken = quillrun_get_settings(c.handle);
    EXPECT_EQ(std::memcmp(&taken, &q, sizeof q), 0);
    generate_frames(cpp.loaded.context, a.data(), 30000);
    quillrun_render(c.handle, b.data(), 30000);
    EXPECT_EQ(first_difference(a, b), -1);
    ASSERT_EQ(set_render_settings(measured.loaded.context, at_44100), nullptr);
    const uint64_t limit = uint64_t{PASS_LIMIT_SECONDS} * 44100;
    EXPECT_EQ(quillrun_pass_frames(c.handle), measure_pass(measured.loaded.context, limit).frames);
    CModule at_48000(song);
    EXPECT_NEAR(quillrun_duration(c.handle), quillrun_duration(at_48000.handle), 0.001)
        << "seconds, whatever the rate";

    // 16-bit output is the float output x 32768, rounded (halves to even) and
    // clipped; +24 dB drives it into clipping.
    RenderSettings loud = with([](RenderSettings& s) { s.gain_db = 24.0f; });
    RenderSettings loud_s16 = loud;
    loud_s16.sample_format = SAMPLE_FORMAT_S16;
    CppModule floats(song), integers(song);
    ASSERT_EQ(set_render_settings(floats.loaded.context, loud), nullptr);
    ASSERT_EQ(set_render_settings(integers.loaded.context, loud_s16), nullptr);
    constexpr uint32_t FRAMES = 48000;
    std::vector<float> f(2 * FRAMES);
    std::vector<int16_t> i(2 * FRAMES);
    render(floats.loaded.context, f.data(), FRAMES);
    render(integers.loaded.context, i.data(), FRAMES);
    int clipped = 0;
    for (size_t k = 0; k < f.size(); ++k) {
        const double scaled = std::clamp(std::nearbyint(f[k] * 32768.0), -32768.0, 32767.0);
        clipped += scaled != std::nearbyint(f[k] * 32768.0);
        ASSERT_EQ(i[k], static_cast<int16_t>(scaled)) << "value " << k << " of " << f[k];
    }
    EXPECT_GT(clipped, 0);

    // No separation: both sides alike. The gain scales: -20 dB is a tenth.
    xmwriter::Module panned = test_modules::small_module();
    xmwriter::Sample& tone = panned.instruments[0].samples[0];
    tone.loop = xmwriter::LOOP_FORWARD;
    tone.loop_length = static_cast<uint32_t>(tone.frames.size());
    tone.panning = 40;
    const Bytes left_tone = xmwriter::write_xm(panned);
    CppModule mono(left_tone), quiet(left_tone), plain(left_tone);
    ASSERT_EQ(set_render_settings(mono.loaded.context,
                                  with([](RenderSettings& s) { s.stereo_separation = 0; })),
              nullptr);
    ASSERT_EQ(set_render_settings(quiet.loaded.context,
                                  with([](RenderSettings& s) { s.gain_db = -20.0f; })),
              nullptr);
    ASSERT_EQ(set_render_settings(plain.loaded.context, LISTENING_RENDER_SETTINGS), nullptr);
    std::vector<float> m(2 * FRAMES), lo(2 * FRAMES), p(2 * FRAMES);
    generate_frames(mono.loaded.context, m.data(), FRAMES);
    generate_frames(quiet.loaded.context, lo.data(), FRAMES);
    generate_frames(plain.loaded.context, p.data(), FRAMES);
    bool stereo = false;
    for (size_t k = 0; k < p.size(); k += 2) {
        ASSERT_EQ(m[k], m[k + 1]) << "frame " << k / 2;
        stereo |= p[k] != p[k + 1];
        ASSERT_NEAR(lo[k], p[k] * 0.1f, 1e-6f);
    }
    EXPECT_TRUE(stereo) << "the tone is panned: separation 0 changed something";
}

} // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
#include "flac_output.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

constexpr unsigned CHANNELS = 2;
constexpr unsigned BITS_PER_SAMPLE = 16;
constexpr unsigned COMPRESSION_LEVEL = 5; // libFLAC's default
constexpr uint32_t CHUNK_FRAMES = 1024;
constexpr unsigned SECONDS_PER_HOUR = 3600, SECONDS_PER_MINUTE = 60, MS_PER_SECOND = 1000;
constexpr unsigned char LATIN1_FIRST_HIGH = 0x80;

// Trackers wrote their own code pages; Latin-1 keeps every byte a character.
std::string latin1_to_utf8(const char* text) {
    std::string utf8;
    for (const char* p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < LATIN1_FIRST_HIGH) {
            utf8 += static_cast<char>(c);
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string clock_text(double seconds) {
    const auto ms = static_cast<unsigned long long>(std::llround(seconds * MS_PER_SECOND));
    const unsigned long long s = ms / MS_PER_SECOND;
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%03llu", s / SECONDS_PER_HOUR,
                  s / SECONDS_PER_MINUTE % SECONDS_PER_MINUTE, s % SECONDS_PER_MINUTE,
                  ms % MS_PER_SECOND);
    return text;
}

bool add_comment(FLAC__StreamMetadata* tags, const char* name, const std::string& value) {
    FLAC__StreamMetadata_VorbisComment_Entry entry;
    return FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name,
                                                                          value.c_str()) &&
           FLAC__metadata_object_vorbiscomment_append_comment(tags, entry, false);
}

} // namespace

struct FlacOutput {
    FLAC__StreamEncoder* encoder = nullptr;
    FLAC__StreamMetadata* tags = nullptr;
    bool failed = false;
};

FlacOutput* open_flac(const char* path, uint32_t rate, const char* title, double duration_s) {
    auto* out = new FlacOutput;
    out->encoder = FLAC__stream_encoder_new();
    out->tags = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    bool ready = out->encoder && out->tags &&
                 add_comment(out->tags, "TITLE", latin1_to_utf8(title)) &&
                 add_comment(out->tags, "DURATION", clock_text(duration_s));
    if (ready) {
        FLAC__StreamEncoder* e = out->encoder;
        FLAC__stream_encoder_set_channels(e, CHANNELS);
        FLAC__stream_encoder_set_bits_per_sample(e, BITS_PER_SAMPLE);
        FLAC__stream_encoder_set_sample_rate(e, rate);
        FLAC__stream_encoder_set_compression_level(e, COMPRESSION_LEVEL);
        FLAC__stream_encoder_set_total_samples_estimate(
            e, static_cast<FLAC__uint64>(std::llround(duration_s * rate)));
        FLAC__stream_encoder_set_metadata(e, &out->tags, 1);
        ready = FLAC__stream_encoder_init_file(e, path, nullptr, nullptr) ==
                FLAC__STREAM_ENCODER_INIT_STATUS_OK;
    }
    if (!ready) {
        if (out->encoder) FLAC__stream_encoder_delete(out->encoder);
        if (out->tags) FLAC__metadata_object_delete(out->tags);
        delete out;
        return nullptr;
    }
    return out;
}

bool write_flac(FlacOutput* out, const int16_t* frames, uint32_t count) {
    FLAC__int32 wide[CHUNK_FRAMES * CHANNELS];
    for (uint32_t done = 0; done < count && !out->failed;) {
        const uint32_t n = count - done < CHUNK_FRAMES ? count - done : CHUNK_FRAMES;
        for (uint32_t i = 0; i < n * CHANNELS; ++i) wide[i] = frames[size_t{done} * CHANNELS + i];
        if (!FLAC__stream_encoder_process_interleaved(out->encoder, wide, n)) out->failed = true;
        done += n;
    }
    return !out->failed;
}

bool finish_flac(FlacOutput* out) {
    const bool finished = FLAC__stream_encoder_finish(out->encoder);
    const bool ok = finished && !out->failed;
    FLAC__stream_encoder_delete(out->encoder);
    FLAC__metadata_object_delete(out->tags);
    delete out;
    return ok;
}

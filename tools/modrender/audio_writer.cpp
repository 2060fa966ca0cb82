// SPDX-License-Identifier: GPL-2.0-or-later
#include "audio_writer.h"

#include <bit>
#include <cstring>

#include "quillrun/replayer.h"

static_assert(std::endian::native == std::endian::little,
              "floats are written in memory order, which must be little-endian");

namespace {

constexpr float MASTER_GAIN = 2.5f;
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;

uint32_t bytes_per_frame(bool s16) {
    return replayer::OUTPUT_CHANNELS * (s16 ? sizeof(int16_t) : sizeof(float));
}
constexpr uint32_t FMT_CHUNK_BYTES = 18; // with the (empty) extension size field
// RIFF size field: everything after "RIFF" and the size itself.
constexpr uint32_t RIFF_OVERHEAD = 4 + (8 + FMT_CHUNK_BYTES) + (8 + 4) + 8;
constexpr long RIFF_SIZE_AT = 4;
constexpr long FACT_FRAMES_AT = 12 + 8 + FMT_CHUNK_BYTES + 8;
constexpr long DATA_SIZE_AT = FACT_FRAMES_AT + 4 + 4;
constexpr uint32_t BUFFER_FRAMES = 1024;

void put16(uint8_t*& p, uint16_t v) {
    *p++ = static_cast<uint8_t>(v);
    *p++ = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t*& p, uint32_t v) {
    put16(p, static_cast<uint16_t>(v));
    put16(p, static_cast<uint16_t>(v >> 16));
}
void put_tag(uint8_t*& p, const char* tag) {
    std::memcpy(p, tag, 4);
    p += 4;
}

void write_bytes(AudioWriter& w, const void* data, size_t size) {
    if (std::fwrite(data, 1, size, w.file) != size) w.failed = true;
}

void write_u32_at(AudioWriter& w, long offset, uint32_t value) {
    uint8_t bytes[4], *p = bytes;
    put32(p, value);
    if (std::fseek(w.file, offset, SEEK_SET) != 0) w.failed = true;
    write_bytes(w, bytes, sizeof bytes);
}

void write_wav_header(AudioWriter& w) {
    uint8_t header[DATA_SIZE_AT + 4], *p = header;
    put_tag(p, "RIFF");
    put32(p, RIFF_OVERHEAD); // patched by finish_audio
    put_tag(p, "WAVE");
    put_tag(p, "fmt ");
    put32(p, FMT_CHUNK_BYTES);
    const uint32_t frame_bytes = bytes_per_frame(w.s16);
    put16(p, w.s16 ? WAVE_FORMAT_PCM : WAVE_FORMAT_IEEE_FLOAT);
    put16(p, replayer::OUTPUT_CHANNELS);
    put32(p, w.sample_rate);
    put32(p, w.sample_rate * frame_bytes);
    put16(p, static_cast<uint16_t>(frame_bytes));
    put16(p, static_cast<uint16_t>(8 * frame_bytes / replayer::OUTPUT_CHANNELS));
    put16(p, 0); // no format extension
    put_tag(p, "fact");
    put32(p, 4);
    put32(p, 0); // frames, patched
    put_tag(p, "data");
    put32(p, 0); // bytes, patched
    write_bytes(w, header, sizeof header);
}

} // namespace

uint64_t wav_max_frames(bool s16) {
    return (UINT32_MAX - RIFF_OVERHEAD) / bytes_per_frame(s16);
}

bool is_flac_path(const char* path) {
    const size_t n = std::strlen(path);
    return n > 5 && std::strcmp(path + n - 5, ".flac") == 0;
}

bool open_audio(AudioWriter& w, const char* path) {
    if (is_flac_path(path)) {
        w.s16 = true;
        w.flac = open_flac(path, w.sample_rate, w.title, w.duration_s);
        return w.flac != nullptr;
    }
    if (std::strcmp(path, "-") == 0) {
        w.file = stdout;
        w.wav = false;
        return true;
    }
    w.file = std::fopen(path, "wb");
    if (!w.file) return false;
    w.wav = true;
    write_wav_header(w);
    return true;
}

void apply_master_gain(float* frames, uint32_t count) {
    for (size_t i = 0; i < size_t{count} * replayer::OUTPUT_CHANNELS; ++i) {
        const float v = frames[i] * MASTER_GAIN;
        frames[i] = v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
    }
}

void write_audio(AudioWriter& w, const float* frames, uint32_t count, bool gain) {
    constexpr size_t FLOAT_FRAME_BYTES = replayer::OUTPUT_CHANNELS * sizeof(float);
    if (!gain && !w.s16) {
        write_bytes(w, frames, size_t{count} * FLOAT_FRAME_BYTES);
    } else {
        float buffer[BUFFER_FRAMES * replayer::OUTPUT_CHANNELS];
        int16_t integers[BUFFER_FRAMES * replayer::OUTPUT_CHANNELS];
        for (uint32_t done = 0; done < count;) {
            const uint32_t n = count - done < BUFFER_FRAMES ? count - done : BUFFER_FRAMES;
            const size_t values = size_t{n} * replayer::OUTPUT_CHANNELS;
            std::memcpy(buffer, frames + size_t{done} * replayer::OUTPUT_CHANNELS,
                        values * sizeof(float));
            if (gain) apply_master_gain(buffer, n);
            if (w.s16) {
                replayer::convert_to_s16(buffer, integers, values);
                if (w.flac)
                    w.failed = !write_flac(w.flac, integers, n) || w.failed;
                else
                    write_bytes(w, integers, values * sizeof(int16_t));
            } else {
                write_bytes(w, buffer, values * sizeof(float));
            }
            done += n;
        }
    }
    w.frames += count;
}

bool finish_audio(AudioWriter& w) {
    if (w.flac) {
        const bool finished = finish_flac(w.flac);
        w.flac = nullptr;
        return finished && !w.failed;
    }
    if (w.wav) {
        const uint64_t data_bytes = w.frames * bytes_per_frame(w.s16);
        if (w.frames > wav_max_frames(w.s16)) w.failed = true;
        write_u32_at(w, RIFF_SIZE_AT, static_cast<uint32_t>(data_bytes + RIFF_OVERHEAD));
        write_u32_at(w, FACT_FRAMES_AT, static_cast<uint32_t>(w.frames));
        write_u32_at(w, DATA_SIZE_AT, static_cast<uint32_t>(data_bytes));
    }
    if (std::fflush(w.file) != 0) w.failed = true;
    if (w.file != stdout && std::fclose(w.file) != 0) w.failed = true;
    return !w.failed;
}

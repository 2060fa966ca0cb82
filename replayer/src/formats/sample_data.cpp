// SPDX-License-Identifier: GPL-2.0-or-later
// Sample data as the formats store it (XM deltas, S3M plain values, 4-bit
// ADPCM), decoded into the context's 16-bit frames; a stereo sample's two
// halves are mixed into one.
#include <cmath>

#include "formats.h"

namespace replayer {

namespace {

constexpr int EIGHT_BIT_SCALE = 256; // 8-bit values widened to 16 bits
constexpr uint8_t UNSIGNED_8BIT_BIAS = 0x80;
constexpr uint16_t UNSIGNED_16BIT_BIAS = 0x8000;
constexpr int ADPCM_NIBBLE_BITS = 4;
constexpr uint8_t ADPCM_NIBBLE_MASK = 0x0F;
constexpr uint64_t ADPCM_FRAMES_PER_BYTE = 2;

int16_t widen(uint8_t value) {
    return static_cast<int16_t>(static_cast<int8_t>(value) * EIGHT_BIT_SCALE);
}

// Hands out one channel's frames in order. Bytes past the module's end read
// as 0, so from some frame on every frame is the same: `varying` frames are
// decoded one by one, the rest are that one value.
class FrameReader {
  public:
    FrameReader(const ByteReader& in, const SampleSource& source) : in_(in), source_(source) {
        if (source.coding == SampleCoding::ADPCM_4)
            for (uint64_t i = 0; i < ADPCM_TABLE_BYTES; ++i) table_[i] = in.u8(source.offset + i);
    }

    // How many of the first `frames` frames are not all the same value.
    uint32_t varying(uint32_t frames) const {
        const uint64_t at = source_.offset;
        switch (source_.coding) {
        case SampleCoding::DELTA_16:
        case SampleCoding::PCM_16:
            return static_cast<uint32_t>(in_.values_inside(at, 2, frames));
        case SampleCoding::ADPCM_4: {
            // Past the end every nibble is 0: the value steps by the first
            // table entry, which only a zero entry makes a constant.
            if (table_[0] != 0) return frames;
            const uint64_t bytes =
                in_.values_inside(at + ADPCM_TABLE_BYTES, 1, (frames + 1) / ADPCM_FRAMES_PER_BYTE);
            return static_cast<uint32_t>(std::min<uint64_t>(frames, bytes * ADPCM_FRAMES_PER_BYTE));
        }
        default:
            return static_cast<uint32_t>(in_.values_inside(at, 1, frames));
        }
    }

    int16_t next() {
        const uint64_t i = index_++;
        const uint64_t at = source_.offset;
        switch (source_.coding) {
        case SampleCoding::DELTA_8:
            value_ = static_cast<uint16_t>(value_ + in_.u8(at + i));
            return widen(static_cast<uint8_t>(value_));
        case SampleCoding::DELTA_16:
            value_ = static_cast<uint16_t>(value_ + in_.u16le(at + 2 * i));
            return static_cast<int16_t>(value_);
        case SampleCoding::PCM_8: {
            const uint8_t bias = source_.unsigned_values ? UNSIGNED_8BIT_BIAS : 0;
            return widen(static_cast<uint8_t>(in_.u8(at + i) + bias));
        }
        case SampleCoding::PCM_16: {
            const uint16_t bias = source_.unsigned_values ? UNSIGNED_16BIT_BIAS : 0;
            return static_cast<int16_t>(static_cast<uint16_t>(in_.u16le(at + 2 * i) + bias));
        }
        case SampleCoding::ADPCM_4: {
            const uint8_t pair = in_.u8(at + ADPCM_TABLE_BYTES + i / ADPCM_FRAMES_PER_BYTE);
            const uint8_t nibble = (i & 1) ? pair >> ADPCM_NIBBLE_BITS : pair & ADPCM_NIBBLE_MASK;
            value_ = static_cast<uint16_t>(value_ + table_[nibble]);
            return widen(static_cast<uint8_t>(value_));
        }
        }
        return 0;
    }

  private:
    const ByteReader& in_;
    SampleSource source_;
    uint8_t table_[ADPCM_TABLE_BYTES] = {};
    uint16_t value_ = 0; // running value of the delta and ADPCM codings
    uint64_t index_ = 0;
};

constexpr float MIDDLE_C_HZ = 8363.0f;
constexpr float FINETUNE_STEPS_PER_OCTAVE = 192.0f; // 12 semitones x 16
constexpr float FINE_PITCH_ONE =
    32768.0f; // SampleRecord::fine_pitch of a whole step (never reached)

int16_t mean(int16_t a, int16_t b) {
    return static_cast<int16_t>((int32_t{a} + b) >> 1); // rounds toward minus infinity
}

} // namespace

void decode_sample(int16_t* out, const ByteReader& in, const SampleSource& source,
                   uint32_t frames) {
    FrameReader reader(in, source);
    const uint32_t varying = reader.varying(frames);
    for (uint32_t i = 0; i < varying; ++i) out[i] = reader.next();
    if (varying < frames) fill_past_end(out + varying, frames - varying, reader.next());
}

void decode_stereo_sample(int16_t* out, const ByteReader& in, const SampleSource& left,
                          const SampleSource& right, uint32_t frames) {
    FrameReader l(in, left), r(in, right);
    const uint32_t left_varying = l.varying(frames), right_varying = r.varying(frames);
    for (uint32_t i = 0; i < left_varying; ++i) out[i] = l.next();
    const int16_t left_rest = left_varying < frames ? l.next() : 0;
    for (uint32_t i = 0; i < right_varying; ++i)
        out[i] = mean(i < left_varying ? out[i] : left_rest, r.next());
    const int16_t right_rest = right_varying < frames ? r.next() : 0;
    for (uint32_t i = right_varying; i < left_varying; ++i) out[i] = mean(out[i], right_rest);
    const uint32_t tail = std::max(left_varying, right_varying);
    if (tail < frames) fill_past_end(out + tail, frames - tail, mean(left_rest, right_rest));
}

void set_middle_c_pitch(SampleRecord& sample, uint32_t hz, bool keep_fine_pitch) {
    if (hz == 0) return; // no usable pitch: play unshifted
    const float steps = FINETUNE_STEPS_PER_OCTAVE * log2f(static_cast<float>(hz) / MIDDLE_C_HZ);
    const int32_t v = static_cast<int32_t>(steps); // |steps| < 192 x 20
    sample.finetune = static_cast<int8_t>(v & 15);
    sample.relative_note = static_cast<int8_t>(std::clamp(v >> 4, -128, 127));
    if (keep_fine_pitch)
        sample.fine_pitch = static_cast<int16_t>((steps - static_cast<float>(v)) * FINE_PITCH_ONE);
}

} // namespace replayer

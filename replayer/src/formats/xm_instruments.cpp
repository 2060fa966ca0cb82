// SPDX-License-Identifier: GPL-2.0-or-later
// XM instruments: envelopes, sample maps, sample records and the delta-coded
// sample data, decoded into the context's 16-bit sample region.
#include <algorithm>
#include <iterator>

#include "xm_layout.h"

namespace replayer {

namespace {

constexpr int FINETUNE_SHIFT = 3; // 1/128 semitone in the file, 1/16 in the engine
constexpr int SAMPLE_VOLUME_SHIFT = 1;

// XM auto-vibrato types (sine, square, ramp down, ramp up) to engine waveforms.
constexpr uint8_t AUTOVIBRATO_WAVEFORMS[] = {WAVEFORM_SINE, WAVEFORM_SQUARE, WAVEFORM_RAMP_DOWN,
                                             WAVEFORM_RAMP_UP};
constexpr uint8_t AUTOVIBRATO_LAST = 3;

struct EnvelopeOffsets {
    uint64_t points, count, sustain, type;
};
constexpr EnvelopeOffsets VOLUME_ENVELOPE{xm::VOLUME_POINTS_OFFSET, xm::VOLUME_COUNT_OFFSET,
                                          xm::VOLUME_SUSTAIN_OFFSET, xm::VOLUME_TYPE_OFFSET};
constexpr EnvelopeOffsets PANNING_ENVELOPE{xm::PANNING_POINTS_OFFSET, xm::PANNING_COUNT_OFFSET,
                                           xm::PANNING_SUSTAIN_OFFSET, xm::PANNING_TYPE_OFFSET};

// The points are read within the module only (not within the instrument
// header); count, sustain, loop and type within the header.
void read_envelope(EnvelopeRecord& e, const ByteReader& in, const xm::InstrumentHeader& header,
                   uint64_t p, const EnvelopeOffsets& at) {
    for (int i = 0; i < xm::ENVELOPE_POINTS; ++i) {
        const uint64_t point = p + at.points + i * xm::ENVELOPE_POINT_BYTES;
        const uint16_t value = in.u16le(point + 2);
        e.points[i].frame = in.u16le(point);
        e.points[i].value = static_cast<uint8_t>(value > MAX_VOLUME ? MAX_VOLUME : value);
    }
    e.point_count = std::min<uint8_t>(header.fields.u8(at.count), xm::ENVELOPE_POINTS);
    e.sustain = header.fields.u8(at.sustain);
    e.loop_start = header.fields.u8(at.sustain + 1);
    e.loop_end = header.fields.u8(at.sustain + 2);
    sanitize_envelope(e, header.fields.u8(at.type));
}

void read_instrument_fields(InstrumentRecord& rec, const ByteReader& in,
                            const xm::InstrumentHeader& header, uint64_t p, uint16_t first_sample) {
    const ByteReader& f = header.fields;
    std::fill(std::begin(rec.sample_map), std::end(rec.sample_map), SAMPLE_MAP_NONE);
    for (int note = 0; note < xm::NOTE_COUNT; ++note) {
        const uint8_t v = f.u8(xm::SAMPLE_MAP_OFFSET + note);
        rec.sample_map[note] =
            v < header.samples ? static_cast<uint16_t>(first_sample + v) : SAMPLE_MAP_NONE;
    }
    read_envelope(rec.volume_envelope, in, header, p, VOLUME_ENVELOPE);
    read_envelope(rec.panning_envelope, in, header, p, PANNING_ENVELOPE);
    const uint8_t vibrato = f.u8(xm::VIBRATO_TYPE_OFFSET);
    rec.autovibrato_waveform =
        AUTOVIBRATO_WAVEFORMS[vibrato > AUTOVIBRATO_LAST ? AUTOVIBRATO_LAST : vibrato];
    rec.autovibrato_sweep = f.u8(xm::VIBRATO_TYPE_OFFSET + 1);
    rec.autovibrato_depth = f.u8(xm::VIBRATO_TYPE_OFFSET + 2);
    rec.autovibrato_rate = f.u8(xm::VIBRATO_TYPE_OFFSET + 3);
    rec.fadeout = f.u16le(xm::FADEOUT_OFFSET);
}

void read_sample_record(SampleRecord& rec, const ByteReader& in, uint64_t q,
                        const xm::SampleGeometry& g) {
    const uint8_t volume = in.u8(q + xm::SAMPLE_VOLUME_OFFSET);
    rec.length = g.stored_frames;
    rec.loop_length = g.loop_frames;
    rec.flags_volume =
        static_cast<uint8_t>(((volume > MAX_VOLUME ? MAX_VOLUME : volume) << SAMPLE_VOLUME_SHIFT) |
                             (g.pingpong ? SAMPLE_FLAG_PINGPONG : 0));
    rec.panning = in.u8(q + xm::SAMPLE_PANNING_OFFSET);
    rec.finetune = static_cast<int8_t>(in.s8(q + xm::SAMPLE_FINETUNE_OFFSET) >> FINETUNE_SHIFT);
    rec.relative_note = in.s8(q + xm::SAMPLE_RELATIVE_NOTE_OFFSET);
}

// Decodes the kept frames of one sample whose data starts at file offset d.
void decode_xm_sample(int16_t* out, const ByteReader& in, uint64_t d, const xm::SampleGeometry& g) {
    const SampleCoding coding = g.adpcm         ? SampleCoding::ADPCM_4
                                : g.sixteen_bit ? SampleCoding::DELTA_16
                                                : SampleCoding::DELTA_8;
    const SampleSource left{coding, d, false};
    if (g.stereo)
        decode_stereo_sample(out, in, left, {coding, d + g.right_channel, false}, g.stored_frames);
    else
        decode_sample(out, in, left, g.stored_frames);
}

// Loads the instrument's samples: headers from `q`, data after the last header.
// Returns the offset where the instrument's sample data ends.
uint64_t load_samples(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in, uint64_t q,
                      uint16_t count) {
    uint64_t d = q + uint64_t{count} * xm::SAMPLE_HEADER_BYTES;
    for (uint16_t s = 0; s < count; ++s, q += xm::SAMPLE_HEADER_BYTES) {
        const xm::SampleGeometry g = xm::read_sample_geometry(in, q);
        SampleRecord& rec = ctx.samples[ctx.sample_count++];
        read_sample_record(rec, in, q, g);
        rec.data_index = ctx.total_sample_frames;
        if (uint64_t{ctx.total_sample_frames} + g.stored_frames <= scan.total_sample_frames) {
            decode_xm_sample(ctx.sample_data + ctx.total_sample_frames, in, d, g);
            ctx.total_sample_frames += g.stored_frames;
        } else {
            rec.length = rec.loop_length = 0; // never past the reserved frames
        }
        d += g.data_bytes; // as stored, also for an odd 16-bit length
    }
    return d;
}

} // namespace

void load_xm_instruments(ReplayContext& ctx, const ModuleScan& scan, const ByteReader& in,
                         uint64_t p) {
    bool room = true; // the prescan reserved records for every sample so far
    for (uint8_t k = 0; k < ctx.instrument_count; ++k) {
        const xm::InstrumentHeader header = xm::read_instrument_header(in, p);
        InstrumentRecord& rec = ctx.instruments[k];
        room = room && uint32_t{ctx.sample_count} + header.samples <= scan.sample_count;
        if (header.samples == 0 || !room) {
            for (uint16_t& entry : rec.sample_map) entry = SAMPLE_MAP_NONE;
            p = header.end;
            continue;
        }
        read_instrument_fields(rec, in, header, p, ctx.sample_count);
        p = load_samples(ctx, scan, in, header.end, header.samples);
    }
}

} // namespace replayer

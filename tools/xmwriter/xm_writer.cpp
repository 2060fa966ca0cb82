#include "xm_writer.h"

#include <algorithm>

#include "byte_writer.h"

namespace xmwriter {

namespace {

constexpr char MAGIC[] = "Extended Module: ";
constexpr size_t MAGIC_LENGTH = 17;
constexpr size_t NAME_LENGTH = 20;
constexpr uint8_t EOF_MARK = 0x1A;
constexpr uint16_t VERSION = 0x0104;
constexpr uint32_t MODULE_HEADER_SIZE = 276; // from offset 60: 20 bytes + 256 orders
constexpr size_t ORDER_TABLE_SIZE = 256;
constexpr uint32_t PATTERN_HEADER_SIZE = 9;
constexpr uint32_t INSTRUMENT_HEADER_SIZE = 263;
constexpr uint32_t EMPTY_INSTRUMENT_HEADER_SIZE = 29;
constexpr size_t INSTRUMENT_NAME_LENGTH = 22;
constexpr uint32_t SAMPLE_HEADER_SIZE = 40;
constexpr size_t SAMPLE_NAME_LENGTH = 22;
constexpr size_t ENVELOPE_POINTS = 12;
constexpr uint8_t SIXTEEN_BIT = 0x10;
constexpr uint8_t PACKED = 0x80;

void write_header(ByteWriter& out, const Module& m) {
    out.text(MAGIC, MAGIC_LENGTH);
    out.text(m.name, NAME_LENGTH);
    out.u8(EOF_MARK);
    out.text(m.tracker, NAME_LENGTH);
    out.u16(VERSION);
    out.u32(MODULE_HEADER_SIZE);
    const size_t orders = std::min(m.orders.size(), ORDER_TABLE_SIZE);
    out.u16(m.song_length_override.value_or(static_cast<uint16_t>(orders)));
    out.u16(m.restart);
    out.u16(m.channel_count_override.value_or(m.channels));
    out.u16(m.pattern_count_override.value_or(static_cast<uint16_t>(m.patterns.size())));
    out.u16(m.instrument_count_override.value_or(static_cast<uint16_t>(m.instruments.size())));
    out.u16(m.linear_frequencies ? 1 : 0);
    out.u16(m.speed);
    out.u16(m.bpm);
    for (size_t i = 0; i < ORDER_TABLE_SIZE; ++i) out.u8(i < orders ? m.orders[i] : 0);
}

void write_pattern(ByteWriter& out, const Pattern& p) {
    const std::vector<uint8_t> data =
        p.packed ? *p.packed : (p.cells.empty() ? std::vector<uint8_t>{} : pack_cells(p.cells));
    out.u32(PATTERN_HEADER_SIZE);
    out.u8(0); // packing type
    out.u16(p.rows);
    out.u16(static_cast<uint16_t>(data.size()));
    out.append(data);
}

void write_envelope_points(ByteWriter& out, const Envelope& e) {
    for (size_t i = 0; i < ENVELOPE_POINTS; ++i) {
        const auto point = i < e.points.size() ? e.points[i] : std::pair<uint16_t, uint16_t>{};
        out.u16(point.first);
        out.u16(point.second);
    }
}

uint32_t bytes_per_frame(const Sample& s) {
    return s.sixteen_bit ? 2 : 1;
}

std::vector<uint8_t> delta_code(const Sample& s) {
    std::vector<uint8_t> data;
    int previous = 0;
    for (int16_t frame : s.frames) {
        const int delta = frame - previous;
        previous = frame;
        data.push_back(static_cast<uint8_t>(delta));
        if (s.sixteen_bit) data.push_back(static_cast<uint8_t>(static_cast<uint16_t>(delta) >> 8));
    }
    return data;
}

void write_sample_header(ByteWriter& out, const Sample& s) {
    const uint32_t width = bytes_per_frame(s);
    out.u32(s.length_override.value_or(static_cast<uint32_t>(s.frames.size()) * width));
    out.u32(s.loop_start_override.value_or(s.loop_start * width));
    out.u32(s.loop_length_override.value_or(s.loop_length * width));
    out.u8(s.volume);
    out.u8(static_cast<uint8_t>(s.finetune));
    out.u8(static_cast<uint8_t>(s.loop | (s.sixteen_bit ? SIXTEEN_BIT : 0)));
    out.u8(s.panning);
    out.u8(static_cast<uint8_t>(s.relative_note));
    out.u8(0); // reserved
    out.text(s.name, SAMPLE_NAME_LENGTH);
}

void write_instrument(ByteWriter& out, const Instrument& ins) {
    const size_t start = out.bytes.size();
    const uint32_t size = ins.header_size_override.value_or(
        ins.samples.empty() ? EMPTY_INSTRUMENT_HEADER_SIZE : INSTRUMENT_HEADER_SIZE);
    out.u32(size);
    out.text(ins.name, INSTRUMENT_NAME_LENGTH);
    out.u8(0); // type
    out.u16(ins.sample_count_override.value_or(static_cast<uint16_t>(ins.samples.size())));
    out.u32(SAMPLE_HEADER_SIZE);
    for (uint8_t v : ins.sample_map) out.u8(v);
    write_envelope_points(out, ins.volume_envelope);
    write_envelope_points(out, ins.panning_envelope);
    const Envelope* envelopes[] = {&ins.volume_envelope, &ins.panning_envelope};
    for (const Envelope* e : envelopes)
        out.u8(e->count_override.value_or(static_cast<uint8_t>(e->points.size())));
    for (const Envelope* e : envelopes) {
        out.u8(e->sustain);
        out.u8(e->loop_start);
        out.u8(e->loop_end);
    }
    for (const Envelope* e : envelopes) out.u8(e->type);
    out.u8(ins.vibrato_type);
    out.u8(ins.vibrato_sweep);
    out.u8(ins.vibrato_depth);
    out.u8(ins.vibrato_rate);
    out.u16(ins.fadeout);
    out.fit(start, size); // reserved bytes, or a header cut short on purpose

    for (const Sample& s : ins.samples) write_sample_header(out, s);
    for (const Sample& s : ins.samples)
        out.append(s.data_override ? *s.data_override : delta_code(s));
}

} // namespace

std::vector<uint8_t> pack_cells(const std::vector<Cell>& cells) {
    std::vector<uint8_t> out;
    for (const Cell& c : cells) {
        const uint8_t fields[] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
        uint8_t flags = PACKED;
        for (int i = 0; i < 5; ++i)
            if (fields[i]) flags = static_cast<uint8_t>(flags | (1 << i));
        if (flags == (PACKED | 0x1F)) { // all present: the plain form is shorter
            out.insert(out.end(), fields, fields + 5);
            continue;
        }
        out.push_back(flags);
        for (uint8_t f : fields)
            if (f) out.push_back(f);
    }
    return out;
}

std::vector<uint8_t> write_xm(const Module& m) {
    std::vector<uint8_t> bytes;
    ByteWriter out{bytes};
    write_header(out, m);
    for (const Pattern& p : m.patterns) write_pattern(out, p);
    for (const Instrument& ins : m.instruments) write_instrument(out, ins);
    return bytes;
}

} // namespace xmwriter

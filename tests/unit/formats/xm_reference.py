# SPDX-License-Identifier: GPL-2.0-or-later
"""A second, independent reading of the XM prescan rules, for checking what
modrender --info reports on real files. Offsets and limits are the loader's;
the code shares nothing with it."""
import struct

HEADER = 1240
SLOT, PATTERN, INSTRUMENT, SAMPLE, FRAME, CHANNEL, ORDER = 5, 4, 696, 20, 2, 304, 256
CONTEXT_LIMIT = 0x8000000


class Rejected(Exception):
    pass


def _u(data, offset, size, end=None):
    """Little-endian unsigned value; bytes at or past `end` (or the file) are 0."""
    limit = len(data) if end is None else min(end, len(data))
    return sum((data[offset + i] if offset + i < limit else 0) << (8 * i) for i in range(size))


def prescan(data):
    if data[:17] != b"Extended Module: " or _u(data, 37, 1) != 0x1A or _u(data, 58, 2) != 0x104:
        raise Rejected("not an XM 1.04 file")
    channels, patterns, instruments = _u(data, 68, 2), _u(data, 70, 2), _u(data, 72, 2)
    if channels > 255 or patterns > 256 or instruments > 255:
        raise Rejected("limit")
    song_length = min(_u(data, 64, 2), 256)
    if song_length == 0:
        raise Rejected("song length 0")
    rows = 0
    p = 60 + _u(data, 60, 4)
    for _ in range(patterns):
        r, packed = _u(data, p + 5, 2), _u(data, p + 7, 2)
        if packed == 0 or r == 0:
            r = 64
        elif r > 256:
            raise Rejected("rows")
        rows += r
        p += _u(data, p, 4) + packed
    if any(data[80 + i] >= patterns for i in range(song_length)):
        patterns += 1
        rows += 64
    samples, frames = 0, 0
    for _ in range(instruments):
        end = p + _u(data, p, 4)
        n = _u(data, p + 27, 2, end)
        if n > 255:
            raise Rejected("samples per instrument")
        samples += n
        q, skip = end, 0
        for _ in range(n):
            length, start, loop = _u(data, q, 4), _u(data, q + 4, 4), _u(data, q + 8, 4)
            kind = _u(data, q + 14, 1)
            kept = length
            looped = kind & 3 and loop
            if looped and length >= start:
                kept = start + loop if length >= start + loop else start
            if kind & 0x10:
                kept >>= 1
            if kept > (0x7FFFF if looped and kind & 2 else 0xFFFFF):
                raise Rejected("sample length")
            frames += kept
            skip += length
            q += 40
        p = q + skip
    if samples > 0xFFFF or frames > 0xFFFFFFFF:
        raise Rejected("totals")
    size = (rows * channels * SLOT + patterns * PATTERN + HEADER + instruments * INSTRUMENT
            + samples * SAMPLE + frames * FRAME + channels * CHANNEL + song_length * ORDER)
    if size > CONTEXT_LIMIT:
        raise Rejected("size")
    return {
        "format": "xm", "channels": channels, "patterns": patterns, "total_rows": rows,
        "instruments": instruments, "samples": samples, "sample_frames": frames,
        "song_length": song_length, "context_bytes": size,
        "restart_position": (lambda r: r if r < song_length else 0)(_u(data, 66, 2)),
        "tempo": min(_u(data, 76, 2), 31),
        "bpm": min(_u(data, 78, 2), 255) or 125,
    }

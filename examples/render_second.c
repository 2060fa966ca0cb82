/* SPDX-License-Identifier: GPL-2.0-or-later */
/* The smallest program on the Quillrun replayer's C interface: loads a module,
 * prints its title and the length of one pass through its song, and renders
 * its first second into a 48000 Hz stereo 32-bit float WAV file.
 *
 *   render_second MODULE OUT.wav
 *
 * Build it against the installed library with pkg-config:
 *   cc render_second.c $(pkg-config --cflags --libs quillrun-replayer)
 * or with CMake (CMakeLists.txt here): find_package(QuillrunReplayer). */
#include <quillrun/replayer_c.h>
#include <stdio.h>
#include <stdlib.h>

#define WAVE_FORMAT_IEEE_FLOAT 3
#define BYTES_PER_FRAME (QUILLRUN_CHANNELS * 4)

static unsigned char* read_file(const char* path, size_t* length) {
    FILE* f = fopen(path, "rb");
    unsigned char* bytes = NULL;
    long size;
    if (!f) return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && (size = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0) {
        bytes = malloc(size ? (size_t)size : 1);
        if (bytes && fread(bytes, 1, (size_t)size, f) != (size_t)size) {
            free(bytes);
            bytes = NULL;
        }
        *length = (size_t)size;
    }
    fclose(f);
    return bytes;
}

static void put16(FILE* f, unsigned v) {
    fputc(v & 0xFF, f);
    fputc((v >> 8) & 0xFF, f);
}

static void put32(FILE* f, unsigned long v) {
    put16(f, v & 0xFFFF);
    put16(f, (v >> 16) & 0xFFFF);
}

/* RIFF WAVE: a format chunk for IEEE floats, a fact chunk with the frame
 * count, then the frames (little-endian, as this machine stores floats). */
static int write_wav(const char* path, const float* frames, unsigned long count) {
    const unsigned long data_bytes = count * BYTES_PER_FRAME;
    FILE* f = fopen(path, "wb");
    int ok;
    if (!f) return 0;
    fputs("RIFF", f);
    put32(f, 4 + (8 + 18) + (8 + 4) + 8 + data_bytes);
    fputs("WAVEfmt ", f);
    put32(f, 18);
    put16(f, WAVE_FORMAT_IEEE_FLOAT);
    put16(f, QUILLRUN_CHANNELS);
    put32(f, QUILLRUN_SAMPLE_RATE);
    put32(f, (unsigned long)QUILLRUN_SAMPLE_RATE * BYTES_PER_FRAME);
    put16(f, BYTES_PER_FRAME);
    put16(f, 32);
    put16(f, 0);
    fputs("fact", f);
    put32(f, 4);
    put32(f, count);
    fputs("data", f);
    put32(f, data_bytes);
    ok = fwrite(frames, BYTES_PER_FRAME, count, f) == count;
    return fclose(f) == 0 && ok;
}

int main(int argc, char** argv) {
    size_t length = 0;
    unsigned char* bytes;
    const char* error = NULL;
    quillrun_module* module;
    char title[64];
    float* frames;
    int written;

    if (argc != 3) {
        fprintf(stderr, "usage: render_second MODULE OUT.wav\n");
        return 2;
    }
    bytes = read_file(argv[1], &length);
    if (!bytes) {
        fprintf(stderr, "render_second: %s: cannot be read\n", argv[1]);
        return 1;
    }
    module = quillrun_load(bytes, length, &error);
    free(bytes); /* the handle keeps what it needs */
    if (!module) {
        fprintf(stderr, "render_second: %s: %s\n", argv[1], error);
        return 1;
    }
    quillrun_title(module, title, sizeof title);
    printf("title: %s\n", title);
    printf("duration_s: %.3f\n", quillrun_duration(module));

    frames = malloc(sizeof(float) * QUILLRUN_CHANNELS * QUILLRUN_SAMPLE_RATE);
    if (!frames) {
        quillrun_free(module);
        return 1;
    }
    quillrun_render(module, frames, QUILLRUN_SAMPLE_RATE);
    written = write_wav(argv[2], frames, QUILLRUN_SAMPLE_RATE);
    free(frames);
    quillrun_free(module);
    if (!written) {
        fprintf(stderr, "render_second: %s: write failed\n", argv[2]);
        return 1;
    }
    return 0;
}

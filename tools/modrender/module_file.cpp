// SPDX-License-Identifier: GPL-2.0-or-later
#include "module_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace {

// Inputs of unknown size arrive in pieces of this size; the whole is joined
// once its size is known, so no growing buffer holds an old and a new copy.
constexpr size_t PIECE_BYTES = size_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The size of a regular file, or 0 when the input has no size of its own (a
// pipe, a device).
size_t known_size(std::FILE* file) {
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return 0;
    return static_cast<size_t>(st.st_size);
}

} // namespace

ModuleFile read_module_file(const char* path, size_t limit) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return {{}, std::strerror(errno)};
    const size_t size = known_size(file.get());
    if (size > limit) return {{}, "file too large"};

    // Pieces: one of the file's size (and one byte more, to see it grow), then
    // fixed-size ones. Never more than one byte beyond the limit is asked for:
    // that byte alone tells an input that is too large.
    std::vector<std::vector<uint8_t>> pieces;
    size_t total = 0;
    for (size_t next = size + 1;; next = PIECE_BYTES) {
        const size_t want = std::min(next, limit + 1 - total);
        std::vector<uint8_t> piece(want);
        const size_t got = std::fread(piece.data(), 1, want, file.get());
        piece.resize(got);
        total += got;
        if (got > 0) pieces.push_back(std::move(piece));
        if (total > limit) return {{}, "file too large"};
        if (got < want) break;
    }
    if (std::ferror(file.get())) return {{}, "read error"};
    if (pieces.size() == 1) return {std::move(pieces.front()), nullptr};

    ModuleFile result{{}, nullptr};
    result.bytes.reserve(total);
    for (std::vector<uint8_t>& piece : pieces) {
        result.bytes.insert(result.bytes.end(), piece.begin(), piece.end());
        std::vector<uint8_t>().swap(piece); // freed as soon as it is copied
    }
    return result;
}

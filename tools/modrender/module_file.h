// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a module file of unknown size, including endless inputs such as
// /dev/zero or a pipe, without ever holding more than the size limit allows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ModuleFile {
    std::vector<uint8_t> bytes; // the whole file, when it was read
    const char* error;          // null, or why it was not
};

// Reads the file at `path`. A file longer than `limit` bytes is refused as
// soon as byte limit + 1 arrives: at no time are more than limit + 1 of its
// bytes held in memory.
ModuleFile read_module_file(const char* path, size_t limit);

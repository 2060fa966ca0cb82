// SPDX-License-Identifier: GPL-2.0-or-later
// The data compiled into the intro, generated at build time from assets/.
#pragma once

#include <cstddef>

extern const unsigned char module_data[]; // the intro's XM module
extern const std::size_t module_data_size;
extern const unsigned char font_image[]; // 256x128 1-bit BMP, code page 437
extern const std::size_t font_image_size;

// SPDX-License-Identifier: GPL-2.0-or-later
// The audio library's implementation, built once. Which parts are compiled in
// (JACK as the only backend, no decoders, encoders, engine or node graph) is
// set by the build for every file that includes miniaudio.h.
#define MINIAUDIO_IMPLEMENTATION
#include <miniaudio.h>

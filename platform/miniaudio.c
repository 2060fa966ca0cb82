// SPDX-License-Identifier: GPL-2.0-or-later
// The audio library's implementation, built once. Which parts are compiled in
// (JACK as the only backend, no decoders, encoders, engine or node graph) is
// set by the build for every file that includes miniaudio.h.
//
// The library loads libjack with dlopen; here, and only here, that dlopen is
// open_audio_library, which hands it the JACK client library whose server
// answers (jackd2's or pipewire-jack's).
#include <dlfcn.h>

#include "jack_library.h"

#define dlopen open_audio_library
#define MINIAUDIO_IMPLEMENTATION
#include <miniaudio.h>

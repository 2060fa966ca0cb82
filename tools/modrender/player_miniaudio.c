// SPDX-License-Identifier: GPL-2.0-or-later
// The audio library's implementation for modrender --play: the device API
// with the backends a desktop may have (PulseAudio, which PipeWire also
// serves; ALSA; JACK, jackd's or PipeWire's), set by the build. Its dlopen
// goes through open_audio_library, which picks the JACK library whose server
// answers and keeps the libraries' own messages off standard error.
#include <dlfcn.h>

#include "jack_library.h"

#define dlopen open_audio_library
#define MINIAUDIO_IMPLEMENTATION
#include <miniaudio.h>

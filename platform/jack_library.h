// SPDX-License-Identifier: GPL-2.0-or-later
// Which JACK client library the audio library talks through.
//
// The audio library loads libjack at run time by its plain names, which find
// whatever the dynamic linker finds: on Debian, jackd2's library. A session
// whose sound server is PipeWire serves JACK clients through pipewire-jack's
// own libjack, which Debian keeps off the default path (`pw-jack` puts it on
// LD_LIBRARY_PATH). So before the device is opened each candidate library is
// asked, without starting a server, whether a server answers it; the first
// that reaches one is the library the audio library gets. Both libraries have
// their messages silenced: the program prints nothing.
//
// Main thread only, before the audio device is opened.
#pragma once

// Loads the candidates in order (the plain names first, so a jackd or a
// LD_LIBRARY_PATH set by `pw-jack` wins as before; then pipewire-jack's
// library) and remembers the first whose server answers. With none
// answering, the plain names stay the choice, and the device stays silent
// as it always did.
void choose_jack_library();

#ifdef __cplusplus
extern "C" {
#endif
// The audio library's dlopen (its implementation file routes every dlopen
// through here): a request for libjack under either plain name gets the
// chosen library; every other request is passed on unchanged, and ALSA's
// library, when asked for, has its messages silenced too.
void* open_audio_library(const char* name, int flags);
#ifdef __cplusplus
}
#endif

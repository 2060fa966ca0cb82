// SPDX-License-Identifier: GPL-2.0-or-later
#include "jack_library.h"

#include <dlfcn.h>

#include <cstring>
#include <iterator>

namespace {

// The names the audio library asks for, in its order.
constexpr const char* PLAIN_JACK_NAMES[] = {"libjack.so", "libjack.so.0"};
// pipewire-jack's library, in the multiarch folder of whatever architecture
// this is: the dynamic linker expands $LIB ("lib/aarch64-linux-gnu", ...).
constexpr const char* PIPEWIRE_JACK_LIBRARY = "/usr/$LIB/pipewire-0.3/jack/libjack.so.0";
constexpr const char* JACK_CANDIDATES[] = {PLAIN_JACK_NAMES[0], PLAIN_JACK_NAMES[1],
                                           PIPEWIRE_JACK_LIBRARY};

// The JACK client API as far as the probe needs it (from <jack/jack.h>, which
// is not a build dependency: nothing here links libjack).
using jack_client_t = struct JackClient;
constexpr int JACK_NO_START_SERVER = 0x01; // JackNoStartServer
using ClientOpen = jack_client_t* (*)(const char*, int, int*, ...);
using ClientClose = int (*)(jack_client_t*);
using MessageHandler = void (*)(const char*);
using SetHandler = void (*)(MessageHandler);
// The probe's client is gone before the device's own client is made, so it
// may share the audio library's default name.
constexpr const char* PROBE_CLIENT_NAME = "miniaudio";

const char* chosen_library = nullptr; // a JACK_CANDIDATES entry, or null: plain names

void ignore_jack_message(const char*) {}

void install(void* library, const char* setter_name) {
    auto setter = reinterpret_cast<SetHandler>(dlsym(library, setter_name));
    if (setter) setter(ignore_jack_message);
}

// libjack reports a missing server on stderr unless told otherwise. The
// handlers stay for the life of the process, as does the library.
void silence(void* library) {
    install(library, "jack_set_error_function");
    install(library, "jack_set_info_function");
}

bool server_answers(void* library) {
    auto open = reinterpret_cast<ClientOpen>(dlsym(library, "jack_client_open"));
    auto close = reinterpret_cast<ClientClose>(dlsym(library, "jack_client_close"));
    if (!open || !close) return false;
    int status = 0;
    jack_client_t* client = open(PROBE_CLIENT_NAME, JACK_NO_START_SERVER, &status);
    if (!client) return false;
    close(client);
    return true;
}

// ALSA's library reports every device it cannot open on stderr.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int error,
                                  const char* format, ...);
using SetAlsaHandler = int (*)(AlsaErrorHandler);
constexpr const char ALSA_LIBRARY_PREFIX[] = "libasound";

void ignore_alsa_message(const char*, int, const char*, int, const char*, ...) {}

void silence_alsa(void* library) {
    auto setter = reinterpret_cast<SetAlsaHandler>(dlsym(library, "snd_lib_error_set_handler"));
    if (setter) setter(ignore_alsa_message);
}

bool is_plain_jack_name(const char* name) {
    for (const char* plain : PLAIN_JACK_NAMES)
        if (std::strcmp(name, plain) == 0) return true;
    return false;
}

} // namespace

void choose_jack_library() {
    void* probed[std::size(JACK_CANDIDATES)] = {};
    for (size_t i = 0; i < std::size(JACK_CANDIDATES); ++i) {
        // Never closed: a library with a client made and closed is not
        // reliably unloadable, and the audio library will load it again.
        void* library = dlopen(JACK_CANDIDATES[i], RTLD_NOW | RTLD_LOCAL);
        if (!library) continue;
        // Both plain names usually name one file: ask its server once.
        bool seen = false;
        for (size_t j = 0; j < i; ++j) seen = seen || probed[j] == library;
        if (seen) continue;
        probed[i] = library;
        silence(library);
        if (server_answers(library)) {
            chosen_library = JACK_CANDIDATES[i];
            return;
        }
    }
}

extern "C" void* open_audio_library(const char* name, int flags) {
    if (chosen_library && name && is_plain_jack_name(name)) return dlopen(chosen_library, flags);
    void* library = dlopen(name, flags);
    if (library && name &&
        std::strncmp(name, ALSA_LIBRARY_PREFIX, sizeof ALSA_LIBRARY_PREFIX - 1) == 0)
        silence_alsa(library);
    return library;
}

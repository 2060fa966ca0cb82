// SPDX-License-Identifier: GPL-2.0-or-later
#include "jack_quiet.h"

#include <dlfcn.h>

namespace {

// The audio library tries these names, in this order; loading the same file
// gives the same library instance, so the handlers installed here are the ones
// its JACK client uses.
constexpr const char* JACK_LIBRARY_NAMES[] = {"libjack.so", "libjack.so.0"};

using MessageHandler = void (*)(const char*);
using SetHandler = void (*)(MessageHandler);

void ignore_jack_message(const char*) {}

void install(void* library, const char* setter_name) {
    auto setter = reinterpret_cast<SetHandler>(dlsym(library, setter_name));
    if (setter) setter(ignore_jack_message);
}

} // namespace

void silence_jack_messages() {
    for (const char* name : JACK_LIBRARY_NAMES) {
        // Never closed: the library and its handlers must outlive every
        // client the audio library opens and closes, up to the process exit.
        void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (!library) continue;
        install(library, "jack_set_error_function");
        install(library, "jack_set_info_function");
        return;
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Keeps the JACK client library from writing to stderr.
#pragma once

// Loads libjack under the names the audio library uses and installs no-op
// error and info handlers in it. Call before the audio device is opened.
// Without libjack there is nothing to silence.
void silence_jack_messages();

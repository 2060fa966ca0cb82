// SPDX-License-Identifier: GPL-2.0-or-later
#include "texts.h"

#include <array>
#include <cstddef>

namespace {

// clang-format off
const char PAGE_0[] =
    "  QUILLRUN IS BACK AGAIN\n"
    "WITH ANOTHER GREAT RELEASE\n"
    "\n"
    " THIS TIME WE BROUGHT YOU:\n"
    "  SKYLET2 FACTORY IMAGE\n"
    "\n"
    "  RELEASED ON 2026/XX/XX";

#define OS_NAME "CORALWIND 11.4"

const char PAGE_1[] =
    "-=     RELEASE INFORMATION     =-\n"
    "OS................." OS_NAME "\n"
    "DESKTOP........LANTERN SHELL 3.12\n"
    "/!\\ NO INTERNET ACCESS NEEDED /!\\";

const char PAGE_2[] =
    "-=         INTRO CREDITS         =-\n"
    "CODE........................QUIXBIT\n"
    "FONT.....................PIXELSMITH\n"
    "MUSIC......................BLIPWAVE";

const char PAGE_3[] =
    "           -= STARSHININGS TO =-\n"
    "  NOVA CREW, BYTEFORGE, MOONPRISM, SKYWARD,\n"
    "               OWLSOFT, RUNE\n"
    "  FROSTLINE DEMOS, TICKTOCK TEAM, GLOWBUGS,\n"
    "KITE, DUSKWAVE, ORBITALS, NIMBLEFOX, BRACKET,\n"
    "          STRAY PIXEL, CLOUDFORGE\n";

const char PAGE_4[] =
    "I HOPE YOU LIKED THIS LITTLE INTRO\n"
    "       AND THE NEW RELEASE!";

const char PAGE_5[] = "QUILLRUN - DRAGGING YOUR DEVICES SINCE 2018";

// The logo drawn legibly: '#' full block, 'v' lower half, '^' upper half.
constexpr const char LOGO_ART[] =
    "v####v   #    #   ###   #       #       #####v   #    #   #v   #\n"
    "#    #   #    #    #    #       #       #    #   #    #   #^v  #\n"
    "#  v #   #    #    #    #       #       #####^   #    #   # ^v #\n"
    "#   ^#   #    #    #    #       #       #   ^v   #    #   #  ^v#\n"
    "^####v   ^####^   ###   #####   #####   #    #   ^####^   #   ^#";
// clang-format on

constexpr char FULL_BLOCK = '\xDB';
constexpr char LOWER_HALF_BLOCK = '\xDC';
constexpr char UPPER_HALF_BLOCK = '\xDF';

constexpr char logo_byte(char art) {
    switch (art) {
    case '#':
        return FULL_BLOCK;
    case 'v':
        return LOWER_HALF_BLOCK;
    case '^':
        return UPPER_HALF_BLOCK;
    default:
        return art; // space and line feed stay as they are
    }
}

constexpr auto LOGO_BYTES = [] {
    std::array<char, sizeof LOGO_ART> bytes{};
    for (std::size_t i = 0; i < sizeof LOGO_ART; ++i) bytes[i] = logo_byte(LOGO_ART[i]);
    return bytes;
}();

} // namespace

const char* const page_texts[PAGE_COUNT] = {PAGE_0, PAGE_1, PAGE_2, PAGE_3, PAGE_4, PAGE_5};

const char scroller_text[] =
    "WE'RE BACK AGAIN WITH A NEW RELEASE FOR THE SKYLET2 (AND FOR THE NEXT BATCHES)"
    " - COMPLETE WITH WORKING WIFI AND BLUETOOTH SUPPORT"
    " - NOW FREE OF GREMLINS AND WOBBLES (SUPPOSEDLY)"
    " - SEE YOU IN A FEW MONTHS OR SO WHEN WE RELEASE A NEW IMAGE THAT DOESN'T USE " OS_NAME
    " - ALSO DON'T FORGET TO READ THE INSTRUCTIONS BEFORE INSTALLING IT"
    " - DRAGGING YOUR DEVICES SINCE 2018";

const char* const logo_text = LOGO_BYTES.data();

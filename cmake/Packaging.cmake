# SPDX-License-Identifier: GPL-2.0-or-later
# Debian packages of the intro and of modrender, one pair per architecture the
# tree is built for (cpack -G DEB in the build tree; `make package` does both).
#
#   quillrun-intro      /usr/games/quillrun-intro, its manual page (6), a
#                       .desktop entry and the icon drawn from the logo
#   quillrun-modrender  /usr/bin/modrender and its manual page (1)
#   libquillrun-replayer5     the shared replayer library
#   libquillrun-replayer-dev  its headers, the static library, the .so link,
#                       the pkg-config file, the CMake package and replayer(3)
#
# Depends come from dpkg-shlibdeps for the architecture built, plus what GLFW
# loads at run time; the JACK client library, which the intro loads at run
# time, is only recommended.

set(QUILLRUN_MAINTAINER "Quillrun developers <developers@quillrun.org>")
set(PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
set(INTRO_PACKAGE quillrun-intro)
set(MODRENDER_PACKAGE quillrun-modrender)
set(REPLAYER_RUNTIME_PACKAGE libquillrun-replayer${QUILLRUN_REPLAYER_SOVERSION})
set(REPLAYER_DEV_PACKAGE libquillrun-replayer-dev)

# Debian ships manual pages and changelogs gzipped, without time stamps.
function(gzipped_doc source out_name)
  set(plain ${PACKAGING_OUT}/${out_name})
  configure_file(${source} ${plain} @ONLY)
  add_custom_command(
    OUTPUT ${plain}.gz
    COMMAND gzip -9nc ${plain} > ${plain}.gz
    DEPENDS ${plain}
    VERBATIM)
endfunction()

gzipped_doc(${PACKAGING_DIR}/quillrun-intro.6.in quillrun-intro.6)
gzipped_doc(${PACKAGING_DIR}/modrender.1.in modrender.1)
gzipped_doc(${PACKAGING_DIR}/replayer.3.in replayer.3)
gzipped_doc(${PACKAGING_DIR}/changelog.in changelog)

add_custom_command(
  OUTPUT ${PACKAGING_OUT}/quillrun-intro.png
  COMMAND python3 ${PROJECT_SOURCE_DIR}/tools/make_icon.py ${PROJECT_SOURCE_DIR}/intro/texts.cpp
          ${PROJECT_SOURCE_DIR}/assets/font.bmp ${PACKAGING_OUT}/quillrun-intro.png
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/make_icon.py ${PROJECT_SOURCE_DIR}/intro/texts.cpp
          ${PROJECT_SOURCE_DIR}/assets/font.bmp
  VERBATIM)

add_custom_target(package_files ALL DEPENDS
  ${PACKAGING_OUT}/quillrun-intro.6.gz ${PACKAGING_OUT}/modrender.1.gz
  ${PACKAGING_OUT}/replayer.3.gz
  ${PACKAGING_OUT}/changelog.gz ${PACKAGING_OUT}/quillrun-intro.png)

# The intro keeps its build name in the tree; installed, it gets one that
# cannot clash with another package's.
install(PROGRAMS $<TARGET_FILE:intro> DESTINATION games RENAME ${INTRO_PACKAGE}
        COMPONENT intro)
# install(PROGRAMS) is not stripped with the targets; the packages want it.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/games/${INTRO_PACKAGE}\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()" COMPONENT intro)
install(FILES ${PACKAGING_OUT}/quillrun-intro.6.gz DESTINATION share/man/man6 COMPONENT intro)
install(FILES ${PACKAGING_DIR}/quillrun-intro.desktop DESTINATION share/applications
        COMPONENT intro)
install(FILES ${PACKAGING_OUT}/quillrun-intro.png DESTINATION share/icons/hicolor/64x64/apps
        COMPONENT intro)

install(TARGETS modrender RUNTIME DESTINATION bin COMPONENT modrender)
install(FILES ${PACKAGING_OUT}/modrender.1.gz DESTINATION share/man/man1 COMPONENT modrender)

install(FILES ${PACKAGING_OUT}/replayer.3.gz DESTINATION share/man/man3
        COMPONENT replayer_dev)

foreach(component intro modrender replayer_runtime replayer_dev)
  string(TOUPPER ${component} upper)
  install(FILES ${PACKAGING_DIR}/copyright ${PACKAGING_OUT}/changelog.gz
          DESTINATION share/doc/${${upper}_PACKAGE} COMPONENT ${component})
endforeach()

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(DEBIAN_ARCH arm64)
else()
  set(DEBIAN_ARCH amd64)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillrun)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUILLRUN_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL intro modrender replayer_runtime replayer_dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${DEBIAN_ARCH})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Every package goes into one folder, whichever build tree makes it.
set(QUILLRUN_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/packages
    CACHE PATH "Where cpack puts the Debian packages")
set(CPACK_OUTPUT_FILE_PREFIX ${QUILLRUN_PACKAGE_DIR})

set(CPACK_DEBIAN_INTRO_PACKAGE_NAME ${INTRO_PACKAGE})
set(CPACK_DEBIAN_INTRO_PACKAGE_SECTION games)
# GLFW loads XRandR at run time, so dpkg-shlibdeps cannot see it; without it
# there is no real monitor to centre on or to go full screen on.
set(CPACK_DEBIAN_INTRO_PACKAGE_DEPENDS "libxrandr2")
# Sound needs a JACK client library, loaded at run time: PipeWire's on a
# desktop that runs PipeWire (the intro finds it off the default path), else
# jackd's. Without either the intro runs silently.
set(CPACK_DEBIAN_INTRO_PACKAGE_RECOMMENDS "pipewire-jack | libjack-jackd2-0 | libjack0")
set(CPACK_COMPONENT_INTRO_DESCRIPTION
    "release intro with starfield, colour bars and a sine scroller
The Quillrun intro announces the Skylet2 Factory Image release: a drifting
starfield, two colour bars, a block-letter logo, typed pages and a sine
scroller in one 1024x768 OpenGL window, to a tracker tune played by its own
replayer through a JACK server (jackd, or PipeWire's). F11 or a double tap
switches to full screen, Escape quits.")

set(CPACK_DEBIAN_MODRENDER_PACKAGE_NAME ${MODRENDER_PACKAGE})
set(CPACK_DEBIAN_MODRENDER_PACKAGE_SECTION sound)
# --play loads an audio library at run time, the first that works.
set(CPACK_DEBIAN_MODRENDER_PACKAGE_RECOMMENDS
    "libpulse0 | libasound2 | pipewire-jack | libjack-jackd2-0")
set(CPACK_COMPONENT_MODRENDER_DESCRIPTION
    "render and play XM, MOD and S3M tracker modules
modrender loads XM, MOD, S3M and compact modules with the replayer of the
Quillrun intro, prints what the loader made of them, renders them to 32-bit
float WAV files or raw floats at 48000 frames per second, plays them through
PulseAudio, PipeWire, ALSA or JACK, and converts them into the compact module
format.")

# The library: a shlibs file (Debian policy: programs built against it depend
# on this version or later, as long as the SONAME stays) and the ldconfig
# trigger. Written here rather than generated by CPack, whose maintainer
# scripts call ldconfig themselves.
set(CPACK_DEBIAN_REPLAYER_RUNTIME_PACKAGE_NAME ${REPLAYER_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_REPLAYER_RUNTIME_PACKAGE_SECTION libs)
set(REPLAYER_CONTROL ${PACKAGING_OUT}/replayer-control)
file(WRITE ${REPLAYER_CONTROL}/shlibs
     "libquillrun-replayer ${QUILLRUN_REPLAYER_SOVERSION} ${REPLAYER_RUNTIME_PACKAGE} (>= ${PROJECT_VERSION})\n")
file(WRITE ${REPLAYER_CONTROL}/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_REPLAYER_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${REPLAYER_CONTROL}/shlibs ${REPLAYER_CONTROL}/triggers)
# CPack also writes maintainer scripts that call ldconfig, which the trigger
# replaces: the library package is packed again without them.
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DropLdconfigScripts.cmake)
set(CPACK_QUILLRUN_LIBRARY_DEB_PREFIX ${REPLAYER_RUNTIME_PACKAGE}_)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_REPLAYER_RUNTIME_DESCRIPTION
    "tracker module replayer library (XM, MOD, S3M)
The Quillrun replayer loads XM, MOD, S3M and compact tracker modules into one
block of memory and renders them as 48000 Hz stereo float frames, with no
allocation, lock or I/O while rendering, bit-identical on every architecture.
This package holds the shared library.")

set(CPACK_DEBIAN_REPLAYER_DEV_PACKAGE_NAME ${REPLAYER_DEV_PACKAGE})
set(CPACK_DEBIAN_REPLAYER_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_REPLAYER_DEV_PACKAGE_DEPENDS
    "${REPLAYER_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_REPLAYER_DEV_DESCRIPTION
    "tracker module replayer library (XM, MOD, S3M) - development files
The Quillrun replayer loads XM, MOD, S3M and compact tracker modules into one
block of memory and renders them as 48000 Hz stereo float frames, with no
allocation, lock or I/O while rendering, bit-identical on every architecture.
This package holds the C and C++ headers, the static library, the pkg-config
file, the CMake package (find_package(QuillrunReplayer)) and replayer(3).")

include(CPack)

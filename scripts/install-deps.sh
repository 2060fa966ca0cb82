#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs everything the intro, its tools and its tests need on Debian 12.
# Idempotent: a second run changes nothing. Runs as root, or through sudo.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E bash "$0" "$@"
fi
export DEBIAN_FRONTEND=noninteractive

build_packages=(
  build-essential cmake pkg-config git python3
  libglfw3-dev libstb-dev libgl-dev libopengl-dev libglx-dev
  libgtest-dev libgmock-dev libbenchmark-dev libflac-dev
)
test_packages=(
  xvfb libgl1-mesa-dri xdotool x11-utils x11-apps jackd2
  openmpt123 xmp flac
  g++-aarch64-linux-gnu qemu-user
)
# ---- the tablet's stack ------------------------------------------------------
# The intro is also checked where a tablet image runs it: sound through a
# PipeWire session (pipewire-jack is its JACK library, pw-jack runs the JACK
# tools on it, the session gets its own D-Bus), the picture through XWayland
# under Weston, and under openbox, a window manager that reparents. The
# checks drive the pointer with XTEST and read XWayland's window pixmaps.
desktop_packages=(
  pipewire pipewire-bin pipewire-jack wireplumber dbus-daemon
  weston xwayland openbox
  libxtst6 libxcomposite1
)
# ---- 64-bit Arm and packaging ----------------------------------------------
# The cross build links the arm64 builds of the window and GL libraries, which
# install beside the native ones (multiarch); Mesa's arm64 drivers let the Arm
# intro draw under qemu-aarch64. GLFW loads the X extension libraries at run
# time and no package pulls the arm64 ones in: without XRandR it has no real
# monitor, and full screen lands at a wrong position. lintian checks the
# Debian packages.
cross_packages=(
  libglfw3-dev:arm64 libgl-dev:arm64 libopengl-dev:arm64 libglx-dev:arm64
  libgl1-mesa-dri:arm64 libflac-dev:arm64
  libxrandr2:arm64 libxinerama1:arm64 libxcursor1:arm64 libxi6:arm64
  libxrandr2
  lintian
)
# ---------------------------------------------------------------------------
# The fuzz targets (make fuzz): clang, its libFuzzer and sanitizer runtimes, and
# llvm-symbolizer for readable reports.
fuzz_packages=(clang libclang-rt-dev llvm)
all_packages=("${build_packages[@]}" "${test_packages[@]}" "${desktop_packages[@]}"
  "${cross_packages[@]}" "${fuzz_packages[@]}" libminiaudio-dev)

# miniaudio is only packaged from Debian 13 on. Add that suite with a pin that
# keeps every other package on Debian 12.
trixie_list=/etc/apt/sources.list.d/quillrun-trixie.sources
trixie_pin=/etc/apt/preferences.d/quillrun-trixie.pref
changed=0
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
  changed=1
fi
if [ ! -f "$trixie_list" ]; then
  cat >"$trixie_list" <<'SRC'
Types: deb
URIs: http://deb.debian.org/debian
Suites: trixie
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  changed=1
fi
if [ ! -f "$trixie_pin" ]; then
  cat >"$trixie_pin" <<'PIN'
Package: *
Pin: release n=trixie
Pin-Priority: -10

Package: libminiaudio-dev
Pin: release n=trixie
Pin-Priority: 990
PIN
  changed=1
fi

# With a second architecture a name can be installed once per architecture;
# a plain name means the native one (or an Architecture: all package).
native=$(dpkg --print-architecture)
installed() {
  local name=${1%%:*} arch=$native
  [ "$name" = "$1" ] || arch=${1#*:}
  dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2>/dev/null |
    grep -qxE "install ok installed ($arch|all)"
}

missing=()
for p in "${all_packages[@]}"; do
  if ! installed "$p"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ "$changed" -eq 1 ]; then
  if [ "${#missing[@]}" -gt 0 ]; then
    # jackd2 asks about real-time priority; answer it before installing.
    echo "jackd2 jackd/tweak_rt_limits boolean false" | debconf-set-selections
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
fi

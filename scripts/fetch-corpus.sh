#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Fetches the public module corpus: the .xm, .s3m and .mod files that Debian
# ships inside game data packages. The packages are downloaded (not installed)
# and only the module files are kept, in a cache outside the repository.
# Prints the cache directory. Idempotent: a filled cache is reused.
set -euo pipefail

packages=(heroes-sound-tracks gl-117-data bugsquish)
cache=${QUILLRUN_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/quillrun-corpus}
stamp="$cache/.complete"

if [ ! -f "$stamp" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  chmod 755 "$work"
  mkdir -p "$cache"
  (cd "$work" && apt-get download -qq "${packages[@]}" >/dev/null 2>&1) || {
    apt-get update -qq >/dev/null 2>&1 || true
    (cd "$work" && apt-get download -qq "${packages[@]}" >/dev/null)
  }
  for deb in "$work"/*.deb; do
    dpkg-deb -x "$deb" "$work/root"
  done
  find "$work/root" -type f \( -iname '*.xm' -o -iname '*.s3m' -o -iname '*.mod' \) \
    -exec cp {} "$cache/" \;
  touch "$stamp"
fi
echo "$cache"

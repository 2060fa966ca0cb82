#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Fetches the public module corpus: the .xm, .s3m, .mod and .it files that
# Debian ships inside game data packages. The packages are downloaded (not installed)
# and only the module files are kept, flat, in a cache outside the repository.
# Each file is named after its package and its own name ("heroes-sound-tracks_
# intro.xm"), as two packages ship an intro.xm, and neither is the project's own
# assets/intro.xm. The cache directory is named after the package list, so a
# changed list fetches afresh instead of mixing with an older corpus.
# Prints the cache directory. Idempotent: a filled cache is reused.
set -euo pipefail

packages=(heroes-sound-tracks gl-117-data bugsquish pekka-kana-2-data tecnoballz-data
          freedroid-data pingus-data biniax2-data)
# Of these, only the IT files are kept (their other modules are not part of
# the corpus the other formats' tests were measured on).
it_only=" pingus-data biniax2-data "
if [ -n "${QUILLRUN_CORPUS:-}" ]; then
  cache=$QUILLRUN_CORPUS
else
  list_id=$(printf "%s\n" "${packages[@]}" "$it_only" | sha256sum | cut -c1-12)
  cache=${XDG_CACHE_HOME:-$HOME/.cache}/quillrun-corpus-$list_id
fi
stamp="$cache/.complete"

if [ ! -f "$stamp" ]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  chmod 755 "$work"
  mkdir -p "$cache"
  rm -f "$cache"/*.part
  (cd "$work" && apt-get download -qq "${packages[@]}" >/dev/null 2>&1) || {
    apt-get update -qq >/dev/null 2>&1 || true
    (cd "$work" && apt-get download -qq "${packages[@]}" >/dev/null)
  }
  for deb in "$work"/*.deb; do
    package=$(dpkg-deb -f "$deb" Package)
    mkdir -p "$work/root/$package"
    dpkg-deb -x "$deb" "$work/root/$package"
    patterns=(-iname '*.xm' -o -iname '*.s3m' -o -iname '*.mod' -o -iname '*.it')
    [[ $it_only == *" $package "* ]] && patterns=(-iname '*.it')
    while IFS= read -r -d '' file; do
      target="$cache/${package}_$(basename "$file")"
      if [ -e "$target.part" ]; then
        echo "fetch-corpus.sh: $package ships two files named $(basename "$file")" >&2
        exit 1
      fi
      cp "$file" "$target.part"
    done < <(find "$work/root/$package" -type f \
               \( "${patterns[@]}" \) -print0)
  done
  for part in "$cache"/*.part; do mv "$part" "${part%.part}"; done
  touch "$stamp"
fi
echo "$cache"

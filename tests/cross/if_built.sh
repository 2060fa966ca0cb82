#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# if_built.sh FILE COMMAND...: runs COMMAND when FILE exists; otherwise says so
# and exits 77, which ctest counts as skipped.
set -euo pipefail
if [ ! -e "$1" ]; then
  echo "no $1 (make cross-build)"
  exit 77
fi
shift
exec "$@"

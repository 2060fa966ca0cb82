#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs the replayer's libFuzzer targets from a QUILLRUN_FUZZ build:
#   run-fuzz.sh BUILD_DIR SECONDS_PER_TARGET [TARGET...]
# Each target first replays the committed regression inputs, then fuzzes for
# the given time from the built seeds, the intro's module and the public corpus
# (scripts/fetch-corpus.sh), keeping its corpus in BUILD_DIR/fuzz/work/TARGET
# so later runs go on from it. A finding is minimised into
# BUILD_DIR/fuzz/findings/TARGET/ and the command that reproduces it is printed.
# Exits 1 when any target finds something, 2 on bad usage.
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS_PER_TARGET [TARGET...]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=$2
shift 2
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(load render compact)

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out="$build/fuzz"
# A single input slower than this is a hang: report it.
timeout_seconds=${FUZZ_TIMEOUT:-60}
# Longer inputs only slow the mutations down; every format's structure fits.
max_len=${FUZZ_MAX_LEN:-65536}

mkdir -p "$out/seeds" "$out/logs"
"$build/bin/make_fuzz_seeds" "$out/seeds" || exit 1
cp "$root/assets/intro.xm" "$out/seeds/"
seed_dirs=("$out/seeds")
if corpus=$(bash "$root/scripts/fetch-corpus.sh" 2>/dev/null) && [ -d "$corpus" ]; then
  seed_dirs+=("$corpus")
else
  echo "fuzz: public corpus not available, fuzzing from the built seeds only" >&2
fi

# The newest file libFuzzer left for a failure (crash-, leak-, timeout-, oom-).
# A slow unit is no failure: how slow an input runs depends on the machine's
# load, and an input that really hangs ends as a timeout.
newest_finding() {
  ls -t "$1" 2>/dev/null | grep -E '^(crash|leak|timeout|oom)-' | head -n 1
}

failed=0
for target in "${targets[@]}"; do
  binary="$build/bin/fuzz_$target"
  work="$out/work/$target"
  findings="$out/findings/$target"
  log="$out/logs/$target.log"
  mkdir -p "$work" "$findings"

  regressions=("$here"/regressions/*)
  if [ -e "${regressions[0]}" ] &&
    ! "$binary" -artifact_prefix="$findings/" "${regressions[@]}" >"$log.regressions" 2>&1; then
    input=$(sed -n 's/^Running: //p' "$log.regressions" | tail -n 1)
    echo "fuzz_$target: a committed regression input fails again; see $log.regressions"
    grep -m 1 -E 'ERROR: |runtime error: |fuzz check failed: ' "$log.regressions" | sed 's/^/  /'
    echo "  reproduce: $binary $input"
    failed=1
    continue
  fi

  before=$(newest_finding "$findings")
  "$binary" -max_total_time="$seconds" -timeout="$timeout_seconds" -max_len="$max_len" \
    -dict="$here/modules.dict" -print_final_stats=1 -artifact_prefix="$findings/" \
    "$work" "${seed_dirs[@]}" >"$log" 2>&1
  status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -n 1)
  echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, ${rate:-?} exec/s, ${cov:-no coverage line}"

  finding=$(newest_finding "$findings")
  if [ "$status" -ne 0 ] || { [ -n "$finding" ] && [ "$finding" != "$before" ]; }; then
    failed=1
    if [ -z "$finding" ]; then
      echo "fuzz_$target: failed without leaving an input; see $log"
      continue
    fi
    minimised="$findings/minimised-$finding"
    "$binary" -minimize_crash=1 -max_total_time=60 -timeout="$timeout_seconds" \
      -exact_artifact_path="$minimised" "$findings/$finding" >"$log.minimise" 2>&1
    [ -f "$minimised" ] || minimised="$findings/$finding"
    echo "fuzz_$target: FINDING, see $log"
    grep -m 1 -E 'ERROR: |runtime error: |fuzz check failed: ' "$log" | sed 's/^/  /'
    echo "  input: $minimised"
    echo "  reproduce: $binary $minimised"
    echo "  keep it: cp $minimised $here/regressions/$target-<what>"
  fi
done
exit "$failed"

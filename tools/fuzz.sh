#!/bin/sh
# Runs each fuzz target for FUZZ_SECONDS (60 unless set) from its committed
# corpus, and prints per target: executions, crashes and the coverage it
# reached (libFuzzer's covered edges). New inputs and crashes stay in
# build/fuzz/<name>; the committed corpus is not changed. Runs inside the
# toolchain root.
set -eu
cd /src
tools/build.sh >/dev/null
seconds=${FUZZ_SECONDS:-60}
status=0
for target in json version update_text audio clock program_image mp4 settings; do
  work=build/fuzz/$target
  rm -rf "$work"; mkdir -p "$work/corpus" "$work/crashes"
  dict=""
  [ -f "tests/fuzz/$target.dict" ] && dict="-dict=tests/fuzz/$target.dict"
  # shellcheck disable=SC2086
  build/tests/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/crashes/" \
    $dict "$work/corpus" "tests/fuzz/corpus/$target" >"$work/log" 2>&1 || status=1
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1 | cut -d' ' -f2)
  crashes=$(find "$work/crashes" -type f | wc -l)
  echo "fuzz_${target}_execs ${execs:-0}"
  echo "fuzz_${target}_crashes $crashes"
  echo "fuzz_${target}_coverage ${cov:-0}"
  for crash in "$work/crashes"/*; do
    [ -f "$crash" ] && { echo "  found: $crash"; grep -m 3 'ERROR\|runtime error\|SUMMARY' "$work/log" | sed 's/^/  /'; }
  done
done
exit $status

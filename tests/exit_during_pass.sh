#!/bin/bash
# A host that calls exit(0) while a pass runs: the process's first start
# pass, a later one, the first create pass, a later one, a slot replacement
# and a save, with the exit on the main thread (the pass on a second one) or
# on a second thread (the pass on the main one). Every run must end with
# status 0, without a crash report, within 5 s of the exit. The first create
# pass is left alone while the OpenGL driver loads (until its clip is
# opened): exit handlers the driver registers as it loads run first.
# Usage: exit_during_pass.sh EXIT_DURING_PASS_BINARY
# Run from the build folder (it holds ReelkaResource) under xvfb-run -a.
set -u
PROBE=${1:?usage: exit_during_pass.sh BINARY}
[ -n "${DISPLAY:-}" ] || { echo "SKIP: needs a display (xvfb-run -a)"; exit 77; }
command -v ffmpeg > /dev/null || { echo "SKIP: ffmpeg missing"; exit 77; }
TMP=$(mktemp -d /tmp/reelka_exit_XXXXXX)
trap 'rm -rf "$TMP"' EXIT
for i in 0 1 2 3 4 5; do
  ffmpeg -loglevel error -f lavfi -i "testsrc=size=640x360,hue=h=$((i * 60))" -frames:v 1 "$TMP/p$i.png" || exit 1
done
failures=0
runs=0
# PASS and its delays in milliseconds
while read -r pass delays; do
  for who in main thread; do
    for delay in $delays; do
      work="$TMP/w-$pass-$who-$delay"
      mkdir -p "$work"
      "$PROBE" "$work/" "$pass" "$who" "$delay" "$TMP"/p*.png > "$TMP/out" 2>&1 < /dev/null
      code=$?
      ended=$(date +%s%3N)
      left=$(sed -n 's/^leaving at //p' "$TMP/out")
      runs=$((runs + 1))
      if [ $code -ne 0 ] || grep -q "AddressSanitizer\|runtime error\|malloc\|terminate" "$TMP/out" ||
        [ -z "$left" ] || [ $((ended - left)) -gt 5000 ]; then
        echo "FAIL: $pass pass, exit on the $([ $who = main ] && echo main || echo second) thread after $delay ms: status $code, ended ${left:+$((ended - left)) ms after the exit}"
        head -c 3000 "$TMP/out"
        failures=$((failures + 1))
      fi
      rm -rf "$work"
    done
  done
done << 'PASSES'
start 0 5 30 100 250 500 900
restart 0 30 100 250 500 900
create 0 300 1200 2500
recreate 0 150 800
update 0 100
save 0 100
PASSES
[ $failures -eq 0 ] || { echo "$failures of $runs exits failed"; exit 1; }
echo "all $runs exits during a pass ended cleanly"

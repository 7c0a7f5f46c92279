#!/bin/bash
# A host that calls exit(0) on its main thread while a create pass runs on
# another thread: every run must end with status 0, whatever the pass was
# doing when the process left.
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
for delay in 0 150 400 900 1600 2500 4000; do
  mkdir -p "$TMP/w$delay"
  "$PROBE" "$TMP/w$delay/" "$delay" "$TMP"/p*.png > "$TMP/out$delay" 2>&1 < /dev/null
  code=$?
  if [ $code -ne 0 ] || grep -q "AddressSanitizer\|malloc()\|terminate" "$TMP/out$delay"; then
    echo "FAIL: exit after $delay ms: status $code"
    head -c 3000 "$TMP/out$delay"
    failures=$((failures + 1))
  fi
done
[ $failures -eq 0 ] || exit 1
echo "every exit during a pass ended cleanly"

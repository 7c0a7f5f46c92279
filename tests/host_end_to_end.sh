#!/bin/bash
# The reelka host program end to end: a full run, a run interrupted while it
# renders, refused input (too few photos, no display, a 1 x 1 video, a video
# that decodes to less than its header says), a run terminated while its pass
# cannot stop, an address-space limit too low for every processor but not
# for two, a text that would need a size under 8 px and a signal while the
# inputs are checked, a file-size limit.
# Usage: host_end_to_end.sh REELKA_BINARY
# Run from the build folder (it holds ReelkaResource) under xvfb-run -a.
set -u

REELKA=${1:?usage: host_end_to_end.sh REELKA_BINARY}
if [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: needs a display (xvfb-run -a)"
  exit 77
fi
for tool in ffmpeg ffprobe; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
[ -d ReelkaResource ] || { echo "FAIL: no ReelkaResource in $(pwd)"; exit 1; }

TMP=$(mktemp -d /tmp/reelka_host_e2e_XXXXXX)
PID=
XVFB=
cleanup() {
  [ -n "$PID" ] && kill -9 "$PID" 2> /dev/null
  [ -n "$XVFB" ] && kill -CONT "$XVFB" 2> /dev/null && kill "$XVFB" 2> /dev/null
  rm -rf "$TMP"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
now() { date +%s.%N; }
elapsed() { awk -v a="$(now)" -v b="$1" 'BEGIN { printf "%.1f", a - b }'; }

# Six distinct 960x540 photos from lavfi sources.
mkdir -p "$TMP/photos"
sources=("testsrc=size=960x540" "mandelbrot=size=960x540" "testsrc2=size=960x540"
         "smptebars=size=960x540" "rgbtestsrc=size=960x540" "cellauto=size=960x540:rule=30")
for i in "${!sources[@]}"; do
  ffmpeg -loglevel error -y -f lavfi -i "${sources[$i]}" -frames:v 1 "$TMP/photos/p$i.png" ||
    { echo "FAIL: cannot make photo $i"; exit 1; }
done
PHOTOS=("$TMP"/photos/p*.png)

# Peak alpha of a picture, 0 when it shows nothing.
alpha_max() {
  ffmpeg -v error -i "$1" -vf "alphaextract,format=gray,signalstats,metadata=print:key=lavfi.signalstats.YMAX:file=-" \
    -f null - | sed -n 's/^lavfi.signalstats.YMAX=//p'
}

# 1. A full run, with words for two text layers of MODERN's listed slots.
mkdir -p "$TMP/out"
printf '# words\n6:0=From the texts file\n3:0=overridden below\n' > "$TMP/texts.txt"
start=$(now)
"$REELKA" --theme MODERN --work "$TMP/work" --output "$TMP/out/clip.avi" --texts "$TMP/texts.txt" \
  --text "3:0=Reelka &#8220;end to end&#8221; & more" "${PHOTOS[@]}" \
  > "$TMP/run1.out" 2> "$TMP/run1.err" < /dev/null
code=$?
if [ $code -ne 0 ]; then
  fail "full run exit $code (expected 0)"; cat "$TMP/run1.err"
fi
echo "full run: exit $code after $(elapsed "$start") s"
ls "$TMP"/work/ss_icon_clip_*.png > /dev/null 2>&1 || fail "no workspace images ss_icon_clip_*.png in the work folder"
for layer in 03_00 06_00; do
  [ "$(alpha_max "$TMP/work/reelka_text_$layer.png")" = 255 ] || fail "text layer $layer shows no words"
done
[ "$(alpha_max "$TMP/work/reelka_text_06_01.png")" = 0 ] || fail "a text layer without words is not transparent"
if [ -f "$TMP/out/clip.avi" ]; then
  probe=$(ffprobe -v error -count_packets -select_streams v:0 \
    -show_entries stream=width,height,nb_read_packets -of csv=p=0 "$TMP/out/clip.avi")
  IFS=, read -r width height packets <<< "$probe"
  [ "$width" = 1920 ] && [ "$height" = 1080 ] || fail "clip is ${width}x${height}, expected 1920x1080"
  [ "${packets:-0}" -gt 0 ] 2> /dev/null || fail "clip has no frames ($probe)"
  echo "clip: $probe"
  grep -q "^clip written: $TMP/out/clip.avi" "$TMP/run1.out" || fail "full run did not report the clip"
else
  fail "no destination file"
fi

# 2. Interrupted once rendering has begun: exit 130 and no clip.
mkdir -p "$TMP/out2"
start=$(now)
"$REELKA" --theme MODERN --work "$TMP/work2" --output "$TMP/out2/clip.avi" "${PHOTOS[@]}" \
  > "$TMP/run2.out" 2> "$TMP/run2.err" < /dev/null &
PID=$!
for _ in $(seq 1 1200); do
  grep -q "reelka: rendering" "$TMP/run2.err" 2> /dev/null && break
  kill -0 "$PID" 2> /dev/null || break
  sleep 0.1
done
if grep -q "reelka: rendering" "$TMP/run2.err"; then
  # Frames in the output first: a pass stopped before its first frame leaves no output.
  for _ in $(seq 1 600); do
    [ "$(stat -c %s "$TMP/work2/_output.avi" 2> /dev/null || echo 0)" -gt 200000 ] && break
    kill -0 "$PID" 2> /dev/null || break
    sleep 0.1
  done
  kill -INT "$PID"
  wait "$PID"
  code=$?
  PID=
  echo "interrupted run: exit $code after $(elapsed "$start") s"
  [ $code -eq 130 ] || { fail "interrupted run exit $code (expected 130)"; cat "$TMP/run2.err"; }
  [ -e "$TMP/out2/clip.avi" ] && fail "interrupted run left a destination file"
  [ -e "$TMP/work2/_output.avi" ] || fail "interrupted run stopped before the library began its output"
  grep -q "cancelled" "$TMP/run2.err" || fail "interrupted run did not say it was cancelled"
  leftovers=$(find "$TMP/out2" -mindepth 1 | wc -l)
  [ "$leftovers" -eq 0 ] || fail "interrupted run left $leftovers files next to the destination"
else
  wait "$PID"
  fail "rendering never began (exit $?)"; cat "$TMP/run2.err"
  PID=
fi

# 3. Too few photos: exit 2 with one line on stderr.
"$REELKA" --theme MODERN --work "$TMP/work3" --output "$TMP/out/few.avi" "${PHOTOS[@]:0:2}" \
  > "$TMP/run3.out" 2> "$TMP/run3.err" < /dev/null
code=$?
[ $code -eq 2 ] || fail "too few photos: exit $code (expected 2)"
lines=$(wc -l < "$TMP/run3.err")
[ "$lines" -eq 1 ] || { fail "too few photos: $lines lines on stderr (expected 1)"; cat "$TMP/run3.err"; }
[ -e "$TMP/out/few.avi" ] && fail "too few photos still wrote a clip"

# 4. No display, 5. a 1 x 1 video (the clip takes the smallest video's size),
# 9. a video whose header says 40 s but which holds 2: refused before
# anything is written, saying why.
head -c 2250 /dev/zero > "$TMP/raw.rgb"
ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgb24 -s 1x1 -r 25 -i "$TMP/raw.rgb" -c:v ffv1 "$TMP/tiny.avi" ||
  { echo "FAIL: cannot make the 1 x 1 video"; exit 1; }
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x36:rate=25:duration=40 -c:v mjpeg "$TMP/whole.avi" ||
  { echo "FAIL: cannot make the 40 s video"; exit 1; }
head -c $(($(stat -c %s "$TMP/whole.avi") / 20)) "$TMP/whole.avi" > "$TMP/liar.avi"
"$REELKA" --theme MODERN --work "$TMP/work9" --output "$TMP/out/c9.avi" --video "$TMP/liar.avi" "${PHOTOS[@]}" \
  2> "$TMP/run9.err" > /dev/null
echo "exit $?" >> "$TMP/run9.err"
[ "$(wc -l < "$TMP/run9.err")" -eq 2 ] || { fail "refusal 9: more than one line on stderr"; cat "$TMP/run9.err"; }
env -u DISPLAY -u WAYLAND_DISPLAY "$REELKA" --theme MODERN --work "$TMP/work4" --output "$TMP/out/c4.avi" "${PHOTOS[@]}" 2> "$TMP/run4.err"
echo "exit $?" >> "$TMP/run4.err"
"$REELKA" --theme SPORTY --work "$TMP/work5" --output "$TMP/out/c5.avi" --video "$TMP/tiny.avi" "${PHOTOS[@]}" \
  2> "$TMP/run5.err" > /dev/null
echo "exit $?" >> "$TMP/run5.err"
for run in "4:no display.*xvfb-run -a" "5:is 1 x 1: .*too small" \
  "9:liar.avi\": its header says 40.0 s but only [0-9.]* s of it decode, and theme MODERN takes at least"; do
  n=${run%%:*}
  { grep -q "${run#*:}" "$TMP/run$n.err" && grep -q "^exit 2$" "$TMP/run$n.err"; } ||
    { fail "refusal $n: no exit 2 with its reason"; cat "$TMP/run$n.err"; }
  [ -e "$TMP/out/c$n.avi" ] || [ -e "$TMP/work$n/_output.avi" ] && fail "refusal $n left a file behind"
done

# 6. SIGTERM while the pass cannot stop (its display server is frozen): the
# program ends within 5 s all the same, writing no clip.
if command -v Xvfb > /dev/null; then
  exec 5> "$TMP/display"
  Xvfb -displayfd 5 -screen 0 640x480x24 -nolisten tcp > /dev/null 2>&1 &
  XVFB=$!
  exec 5>&-
  for _ in $(seq 1 50); do [ -s "$TMP/display" ] && break; sleep 0.1; done
  DISPLAY=":$(cat "$TMP/display")" "$REELKA" --theme MODERN --work "$TMP/work6" --output "$TMP/out/c6.avi" \
    "${PHOTOS[@]}" > /dev/null 2> "$TMP/run6.err" < /dev/null &
  PID=$!
  for _ in $(seq 1 300); do
    grep -q "reelka: rendering" "$TMP/run6.err" 2> /dev/null && break
    sleep 0.1
  done
  # Early enough that the pass (about 7 s on an idle machine) is still on.
  sleep 1
  kill -STOP "$XVFB"
  sleep 2
  kill -TERM "$PID"
  start=$(now)
  for _ in $(seq 1 200); do kill -0 "$PID" 2> /dev/null || break; sleep 0.1; done
  kill -9 "$PID" 2> /dev/null
  wait "$PID"
  code=$?
  PID=
  took=$(elapsed "$start")
  kill -CONT "$XVFB"
  kill "$XVFB"
  XVFB=
  echo "terminated with a frozen display: exit $code after $took s"
  [ $code -eq 130 ] || { fail "terminated run exit $code (expected 130)"; cat "$TMP/run6.err"; }
  awk -v t="$took" 'BEGIN { exit !(t <= 6.5) }' || fail "terminated run took $took s to end (at most 5 s wanted)"
  [ -e "$TMP/out/c6.avi" ] && fail "terminated run wrote a destination file"
fi

# 7. An address-space limit no run can live with: exit 1 at once, saying so.
(ulimit -v 1000000; "$REELKA" --theme MODERN --work "$TMP/work7" --output "$TMP/out/c7.avi" "${PHOTOS[@]}" \
  > /dev/null 2> "$TMP/run7.err" < /dev/null)
code=$?
{ [ $code -eq 1 ] && grep -q "address-space limit (ulimit -v)" "$TMP/run7.err"; } ||
  { fail "under ulimit -v 1000000: exit $code"; cat "$TMP/run7.err"; }

# 11. The check counts the processors the program may use: a limit too low
# for all of them leaves room on two (the destination is refused instead).
if command -v taskset > /dev/null && [ "$(nproc)" -ge 6 ]; then
  for cpus in "env:1:address-space limit" "taskset -c 0,1:2:destination's folder"; do
    IFS=: read -r runner want reason <<< "$cpus"
    (ulimit -v 3000000; exec $runner "$REELKA" --theme MODERN --work "$TMP/work11" --output "$TMP/none/c11.avi" \
      "${PHOTOS[@]}" > /dev/null 2> "$TMP/run11.err" < /dev/null)
    code=$?
    { [ $code -eq "$want" ] && grep -q "$reason" "$TMP/run11.err"; } ||
      { fail "$runner under ulimit -v 3000000: exit $code"; cat "$TMP/run11.err"; }
  done
fi

# 8. A text that would need a size under 8 px: exit 2 naming the layer and
# its size, before any text layer is rendered.
"$REELKA" --theme MODERN --work "$TMP/work8" --output "$TMP/out/c8.avi" --text "6:2=$(printf 'W%.0s' $(seq 299))" \
  "${PHOTOS[@]}" > /dev/null 2> "$TMP/run8.err" < /dev/null
code=$?
{ [ $code -eq 2 ] && grep -q "^reelka: text layer 6:2: the text does not fit its layer of 517 x 37 pixels at 8 px" \
  "$TMP/run8.err"; } || { fail "text under 8 px: exit $code"; cat "$TMP/run8.err"; }
ls "$TMP"/work8/reelka_text_* > /dev/null 2>&1 && fail "text under 8 px: text layers were rendered"

# 10. SIGTERM while the inputs are checked (a long texts file is read):
# exit 130 at once, saying so.
yes '1:0=Summer' | head -c 100000000 > "$TMP/long.txt"
"$REELKA" --theme MODERN --work "$TMP/work10" --output "$TMP/out/c10.avi" --texts "$TMP/long.txt" "${PHOTOS[@]}" \
  > /dev/null 2> "$TMP/run10.err" < /dev/null &
PID=$!
until ls -l "/proc/$PID/fd" 2> /dev/null | grep -q "$TMP/long.txt"; do kill -0 "$PID" 2> /dev/null || break; done
kill -TERM "$PID" 2> /dev/null
wait "$PID"
code=$?
PID=
{ [ $code -eq 130 ] && grep -q "^reelka: cancelled; no clip was written" "$TMP/run10.err"; } ||
  { fail "SIGTERM while the texts file is read: exit $code"; cat "$TMP/run10.err"; }
rm -f "$TMP/long.txt"

# 12. A file-size limit: the write fails, the pass with it, and no partial
# clip is left (no death by SIGXFSZ).
(ulimit -f 4096; "$REELKA" --theme MODERN --work "$TMP/work12" --output "$TMP/out/c12.avi" "${PHOTOS[@]}" \
  > /dev/null 2> "$TMP/run12.err" < /dev/null)
code=$?
{ [ $code -eq 1 ] && grep -q "could not be written: File too large" "$TMP/run12.err"; } ||
  { fail "under ulimit -f 4096: exit $code"; cat "$TMP/run12.err"; }
[ -e "$TMP/out/c12.avi" ] || [ -e "$TMP/work12/_output.avi" ] && fail "a clip past the file-size limit was left behind"

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all host checks passed"

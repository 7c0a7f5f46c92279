#!/usr/bin/env bash
# The create pass side by side with an ffmpeg slideshow of the same photos:
# each photo zoomed slowly (zoompan), cross-faded into the next (xfade, one
# second), MPEG-4 'mp4v' in AVI at the pass's frame count and bit rate. Prints
# both times and the ratio (slideshow time / pass time: above 1, the pass is
# faster). Run from the build folder under xvfb-run:
#   bench/slideshow_vs_pass.sh [THEME [PHOTO_FOLDER]]
# THEME is 0 (MODERN), 1 (SPORTY) or 2 (VIVID); the photos default to
# Debian's mate-backgrounds. Prefix with `taskset -c 0,1` to pin both to two
# cores.
set -euo pipefail
theme=${1:-0}
photos=${2:-/usr/share/backgrounds/mate/nature}
build=$(pwd)
[ -x "$build/bench/bench_render" ] || { echo "run from the build folder" >&2; exit 2; }
out=$(mktemp -d /tmp/reelka_slideshow_XXXXXX)
calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }
trap 'rm -rf "$out"' EXIT

"$build/bench/bench_render" "$photos" "$theme" | tee "$out/pass.txt"
images=$(sed -n 's/.* images *\([0-9]*\),.*/\1/p' "$out/pass.txt" | head -1)
frames=$(sed -n 's/.*frames *\([0-9]*\), start pass.*/\1/p' "$out/pass.txt" | head -1)
pass=$(sed -n 's/.*create pass *\([0-9.]*\) s$/\1/p' "$out/pass.txt" | head -1)
mbits=$(sed -n 's/.* s, \([0-9.]*\) Mbit\/s.*/\1/p' "$out/pass.txt" | head -1)
[ -n "$images" ] && [ -n "$frames" ] && [ -n "$pass" ] && [ -n "$mbits" ] || { echo "no pass figures" >&2; exit 1; }

# The photos the pass took, in its order; each shown for the same time so
# that with one-second cross-fades the slideshow has the pass's frames.
mapfile -t all < <(ls "$photos"/*.jpg | sort)
fps=29.97
fade=1
each=$(calc "($frames / $fps + ($images - 1) * $fade) / $images")
hold=$(printf '%.0f' "$(calc "$each * $fps + 1")")
inputs=() graph="" last="[v0]" offset=0
for ((i = 0; i < images; i++)); do
  inputs+=(-i "${all[$((i % ${#all[@]}))]}")
  graph+="[$i:v]scale=1920:1080:force_original_aspect_ratio=increase,crop=1920:1080,setsar=1,"
  graph+="zoompan=z='min(zoom+0.0008,1.25)':d=$hold:s=1920x1080:fps=$fps,format=yuv420p[v$i];"
done
for ((i = 1; i < images; i++)); do
  offset=$(calc "$each * $i - $fade * $i")
  graph+="$last[v$i]xfade=transition=fade:duration=$fade:offset=$(printf '%.3f' "$offset")[x$i];"
  last="[x$i]"
done
graph=${graph%;}
start=$(date +%s.%N)
ffmpeg -v error -y "${inputs[@]}" -filter_complex "$graph" -map "$last" -frames:v "$frames" \
  -c:v mpeg4 -vtag mp4v -b:v "${mbits}M" -g 12 "$out/slideshow.avi"
slideshow=$(calc "$(date +%s.%N) - $start")
made=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 \
  "$out/slideshow.avi")

printf 'theme %s: %s photos, %s frames at %s Mbit/s\n' "$theme" "$images" "$frames" "$mbits"
printf 'create pass      %8.2f s  (%6.1f fps)\n' "$pass" "$(calc "$frames / $pass")"
printf 'ffmpeg slideshow %8.2f s  (%6.1f fps, %s frames)\n' "$slideshow" "$(calc "$made / $slideshow")" "$made"
printf 'ratio (slideshow time / pass time): %.2fx\n' "$(calc "$slideshow / $pass")"

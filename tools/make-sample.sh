#!/usr/bin/env bash
# Renders the sample clip: the nature photographs of Debian's mate-backgrounds
# package, a handheld-style video made from one of them (a slow pan with
# shake), and the words of tools/sample-texts.txt in the theme's text layers.
# Usage: tools/make-sample.sh [BUILD_DIR [OUT_DIR]]   (default: build, out)
# Writes OUT_DIR/sample.avi; keeps the video as OUT_DIR/sample-video.mp4.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
out=${2:-out}
reelka=$build/host/reelka
photos=/usr/share/backgrounds/mate/nature
video_source=Garden.jpg

[ -x "$reelka" ] || { echo "make-sample: no $reelka; build first" >&2; exit 2; }
[ -f "$photos/$video_source" ] || { echo "make-sample: no $photos/$video_source (package mate-backgrounds)" >&2; exit 2; }
command -v ffmpeg > /dev/null || { echo "make-sample: ffmpeg is missing" >&2; exit 2; }
mkdir -p "$out"

# 28 s of 1920x1080 H.264 at 30 fps: the photo enlarged once, then a window
# that pans slowly across it while several incommensurate wobbles shake it.
video=$out/sample-video.mp4
if [ ! -s "$video" ]; then
  echo "make-sample: making $video from $video_source"
  x="80+(iw-2080)*t/28+16*sin(2.1*t)+8*sin(5.3*t+1)+4*sin(11.7*t)"
  y="(ih-1080)/2+14*sin(1.7*t+0.5)+7*sin(4.9*t+2)+3*sin(13.1*t)"
  ffmpeg -loglevel error -y -framerate 30 -i "$photos/$video_source" \
    -vf "scale=2880:-2,loop=loop=839:size=1:start=0,setpts=N/30/TB,crop=1920:1080:x='$x':y='$y',format=yuv420p" \
    -frames:v 840 -r 30 -c:v libx264 -preset veryfast -crf 22 -movflags +faststart "$video.part.mp4"
  mv "$video.part.mp4" "$video"
fi

# Every other nature photograph, in name order.
mapfile -t pictures < <(find "$photos" -maxdepth 1 -type f -iname '*.jpg' ! -name "$video_source" | sort | head -n 11)

run=("$reelka" --theme SPORTY --work "$out/work" --output "$out/sample.avi" --video "$video"
     --texts "$here/sample-texts.txt" "${pictures[@]}")
if [ -z "${DISPLAY:-}" ]; then run=(xvfb-run -a "${run[@]}"); fi
"${run[@]}"

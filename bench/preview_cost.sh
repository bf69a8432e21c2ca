#!/usr/bin/env bash
# The cost of the encoding preview window: the same 720p conversion with the preview on and
# off, in alternating runs, the medians compared (the goal: on at most 5% slower than off).
#
#   bench/preview_cost.sh [BUILD_DIR] [PAIRS]
#
# BUILD_DIR (default build) is a configured build folder; the bench program
# (wizconv-preview-cost) is built there. PAIRS (default 5) runs of each side. The input
# (10 s of 1280x720 25 fps H.264 with AAC audio) is made in $WORK (default
# /tmp/wizconv-bench), where the runs write too. The windows are drawn offscreen unless
# QT_QPA_PLATFORM says otherwise (xcb with a DISPLAY shows them).
set -euo pipefail

build=${1:-build}
pairs=${2:-5}
work=${WORK:-/tmp/wizconv-bench}
mkdir -p "$work"
media="$work/720p-h264-10s.mp4"

if [ ! -f "$media" ]; then
  echo "making $media" >&2
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=10" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=10" -ac 2 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -shortest -f mp4 \
    "$media.part"
  mv "$media.part" "$media"
fi

ninja -C "$build" wizconv-preview-cost >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/wizconv-preview-cost" "$media" "$work" "$pairs"

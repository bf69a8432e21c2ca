#!/usr/bin/env bash
# Probing a 1080p H.264 file and grabbing its thumbnail with wizconv-cli, against ffprobe
# plus `ffmpeg -ss <half> -frames:v 1` on the same file. Prints both times and the ratio
# (wizconv / peer; below 1 means wizconv is faster).
#
#   bench/probe_thumbnail.sh [WIZCONV_CLI] [RUNS]
#
# WIZCONV_CLI defaults to build/bin/wizconv-cli, RUNS to 10. The test file is made once in
# $WORK (default /tmp/wizconv-bench).
set -euo pipefail

cli=${1:-build/bin/wizconv-cli}
runs=${2:-10}
work=${WORK:-/tmp/wizconv-bench}
mkdir -p "$work"
media="$work/1080p-h264.mp4"

if [ ! -f "$media" ]; then
  echo "making $media (30 s, 1920x1080, H.264, key picture every 250 frames)" >&2
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=30 \
    -f lavfi -i sine=frequency=440:sample_rate=48000:duration=30 \
    -c:v libx264 -preset veryfast -g 250 -pix_fmt yuv420p -c:a aac -shortest -f mp4 "$media.part"
  mv "$media.part" "$media"
fi

half=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$media" |
  awk '{ printf "%.3f", $1 / 2 }')

now() { date +%s.%N; }

ours() {
  "$cli" probe "$media" >/dev/null
  "$cli" thumbnail "$media" "$work/ours.bmp"
}
peer() {
  ffprobe -v error -show_format -show_streams "$media" >/dev/null
  ffmpeg -nostdin -v error -y -ss "$half" -i "$media" -frames:v 1 "$work/peer.bmp"
}

# One warm-up run each, so that both read the file from the page cache.
ours
peer

# Alternating runs, so that a change in the machine's load hits both sides alike.
ours_time=0
peer_time=0
for _ in $(seq "$runs"); do
  start=$(now)
  ours
  ours_time=$(echo "$ours_time + $(now) - $start" | bc -l)
  start=$(now)
  peer
  peer_time=$(echo "$peer_time + $(now) - $start" | bc -l)
done

printf 'runs: %d on %s\n' "$runs" "$media"
printf 'wizconv-cli probe + thumbnail: %.3f s per run\n' "$(echo "$ours_time / $runs" | bc -l)"
printf 'ffprobe + ffmpeg -ss %s -frames:v 1: %.3f s per run\n' "$half" \
  "$(echo "$peer_time / $runs" | bc -l)"
printf 'ratio wizconv / peer: %.3f\n' "$(echo "$ours_time / $peer_time" | bc -l)"

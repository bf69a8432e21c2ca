#!/usr/bin/env bash
# The engine (wizconv-cli transcode) against the ffmpeg program with the same settings on
# the same 1080p H.264 input, in one run: MPEG-4 Part 2 at 720p, libx264 at 720p, and a
# stream copy. Prints the wall time and the peak resident memory of each and the ratios
# (wizconv / ffmpeg; below 1 means wizconv is faster or smaller).
#
#   bench/engine_vs_ffmpeg.sh [WIZCONV_CLI] [RUNS]
#
# WIZCONV_CLI defaults to build/bin/wizconv-cli, RUNS (per case and program, the best
# is kept) to 5. The input is made once in $WORK (default /tmp/wizconv-bench). Needs
# /usr/bin/time (Debian package "time").
set -euo pipefail

cli=${1:-build/bin/wizconv-cli}
runs=${2:-5}
work=${WORK:-/tmp/wizconv-bench}
seconds=${SECONDS_OF_INPUT:-20}
mkdir -p "$work"
media="$work/1080p-h264-${seconds}s.mp4"

if [ ! -x /usr/bin/time ]; then
  echo "engine_vs_ffmpeg: /usr/bin/time is missing (apt-get install time)" >&2
  exit 1
fi

if [ ! -f "$media" ]; then
  echo "making $media ($seconds s, 1920x1080 25 fps H.264, 48 kHz stereo AAC)" >&2
  ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" -ac 2 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -shortest -f mp4 \
    "$media.part"
  mv "$media.part" "$media"
fi

# Each case: a name, the output extension, the engine's options (old vocabulary), and the
# same settings for the ffmpeg program. Audio is re-encoded alike in the transcodes.
cases=(mpeg4-720p libx264-720p copy)
declare -A ext ours peer
ext[mpeg4-720p]=mp4
ours[mpeg4-720p]="vcodec=mpeg4 s=1280x720 b=4000k g=12 acodec=aac ab=128k ar=48000 ac=2"
peer[mpeg4-720p]="-c:v mpeg4 -s 1280x720 -b:v 4000k -g 12 -c:a aac -b:a 128k -ar 48000 -ac 2"
ext[libx264-720p]=mp4
ours[libx264-720p]="vcodec=libx264 s=1280x720 b=4000k acodec=aac ab=128k ar=48000 ac=2"
peer[libx264-720p]="-c:v libx264 -s 1280x720 -b:v 4000k -c:a aac -b:a 128k -ar 48000 -ac 2"
ext[copy]=mp4
ours[copy]="vcodec=copy acodec=copy"
peer[copy]="-c:v copy -c:a copy"

# Runs a command under /usr/bin/time -v; prints "wall_seconds peak_kib".
measure() {
  local report="$work/time.txt"
  /usr/bin/time -v -o "$report" "$@" >/dev/null 2>"$work/stderr.txt" || {
    echo "engine_vs_ffmpeg: failed: $*" >&2
    tail -5 "$work/stderr.txt" >&2
    exit 1
  }
  awk -F': ' '/Elapsed \(wall clock\)/ {
                 n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; wall = s }
              /Maximum resident set size/ { rss = $2 }
              END { printf "%.2f %d\n", wall, rss }' "$report"
}

# Keeps the line with the smaller wall time.
better() {
  if [ -z "$1" ] || awk -v a="${2%% *}" -v c="${1%% *}" 'BEGIN { exit !(a < c) }'; then
    echo "$2"
  else
    echo "$1"
  fi
}

printf "input: %s\nruns per case: %s (taking turns, the best of each kept)\n\n" "$media" "$runs"
printf "%-14s %10s %10s %7s   %10s %10s %9s\n" case "wizconv s" "ffmpeg s" ratio \
  "wizconv MiB" "ffmpeg MiB" "diff MiB"
for c in "${cases[@]}"; do
  out_ours="$work/ours-$c.${ext[$c]}"
  out_peer="$work/peer-$c.${ext[$c]}"
  # The two programs take turns, so that a busy spell of the machine hits both alike.
  o="" p=""
  for ((r = 0; r < runs; r++)); do
    # shellcheck disable=SC2086
    o=$(better "$o" "$(measure "$cli" transcode -i "$media" -o "$out_ours" ${ours[$c]})")
    rm -f "$out_ours"
    # shellcheck disable=SC2086
    p=$(better "$p" "$(measure ffmpeg -nostdin -v error -y -i "$media" ${peer[$c]} "$out_peer")")
  done
  read -r ow om <<<"$o"
  read -r pw pm <<<"$p"
  awk -v c="$c" -v ow="$ow" -v pw="$pw" -v om="$om" -v pm="$pm" 'BEGIN {
    printf "%-14s %10.2f %10.2f %7.3f   %10.1f %10.1f %+9.1f\n", c, ow, pw, ow / pw,
           om / 1024, pm / 1024, (om - pm) / 1024 }'
  rm -f "$out_ours" "$out_peer"
done

#!/usr/bin/env bash
# Several jobs at once, in one run on this machine:
#  1. sixteen 20-second 44.1 kHz stereo WAV files to MP3 preset 2 (libmp3lame, 48 kHz,
#     256 kbit/s, stereo) with `convert --jobs auto`, against a shell loop of the ffmpeg
#     program with the same settings, one file after another;
#  2. six 720p clips to the default MP4 preset with `--jobs auto` against `--jobs 1` (x264
#     threads by itself, so auto runs one job at a time and must be no slower).
# The runs alternate (ours, peer, ours, peer, ...) ROUNDS times, since other work on the
# machine changes from one minute to the next; the medians of the wall times, their ratio
# and the largest peak resident memory of each side are printed, with the load average
# before and after.
#
#   bench/parallel_batch.sh [WIZCONV_CLI] [ROUNDS]
#
# WIZCONV_CLI defaults to build/bin/wizconv-cli, ROUNDS to 5. Inputs are made once in
# $WORK (default /tmp/wizconv-bench-parallel).
set -euo pipefail

cli=$(realpath "${1:-build/bin/wizconv-cli}")
rounds=${2:-5}
work=${WORK:-/tmp/wizconv-bench-parallel}
mkdir -p "$work/wav" "$work/video"

wavs=()
for ((i = 1; i <= 16; i++)); do
  f="$work/wav/tone$i.wav"
  if [ ! -f "$f" ]; then
    ffmpeg -nostdin -v error -y -f lavfi \
      -i "sine=frequency=$((200 + i * 40)):sample_rate=44100:duration=20" -ac 2 "$f.part.wav"
    mv "$f.part.wav" "$f"
  fi
  wavs+=("$f")
done
clips=()
for ((i = 1; i <= 6; i++)); do
  f="$work/video/clip$i.mp4"
  if [ ! -f "$f" ]; then
    ffmpeg -nostdin -v error -y \
      -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=10,hue=h=$((i * 40))" \
      -f lavfi -i "sine=frequency=$((300 + i * 50)):sample_rate=48000:duration=10" -ac 2 \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -shortest "$f.part.mp4"
    mv "$f.part.mp4" "$f"
  fi
  clips+=("$f")
done

# The preset's settings as the preset table gives them; the loop below spells them out.
echo "MP3 preset 2 options:"
"$cli" convert --format MP3 --preset 2 --show-options | sed 's/^/  /'

# Runs a command under /usr/bin/time; prints "seconds kilobytes".
timed() {
  local out
  out=$(mktemp)
  /usr/bin/time -f "%e %M" -o "$out" "$@" >/dev/null 2>"$out.err" || {
    cat "$out.err" >&2
    rm -f "$out" "$out.err"
    return 1
  }
  tail -1 "$out"
  rm -f "$out" "$out.err"
}

median() { sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

fresh() { rm -rf "$1" && mkdir -p "$1"; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), cores: $(nproc)"
ours_t=() ours_m=0 peer_t=() peer_m=0
for ((r = 1; r <= rounds; r++)); do
  fresh "$work/ours"
  read -r t m < <(timed "$cli" convert --format MP3 --preset 2 --jobs auto --out "$work/ours" "${wavs[@]}")
  ours_t+=("$t"); ((m > ours_m)) && ours_m=$m
  fresh "$work/peer"
  # The loop's peak is the largest of its ffmpeg processes: time measures each.
  start=$(date +%s.%N) pm=0
  for f in "${wavs[@]}"; do
    read -r _ m < <(timed ffmpeg -nostdin -v error -y -i "$f" -vn -c:a libmp3lame -ac 2 -ar 48000 \
      -b:a 256k "$work/peer/$(basename "${f%.wav}").mp3")
    ((m > pm)) && pm=$m
  done
  t=$(echo "$(date +%s.%N) - $start" | bc)
  peer_t+=("$t"); ((pm > peer_m)) && peer_m=$pm
  echo "round $r: wizconv --jobs auto ${ours_t[-1]} s, ffmpeg loop $t s" >&2
done
ours=$(printf '%s\n' "${ours_t[@]}" | median)
peer=$(printf '%s\n' "${peer_t[@]}" | median)
echo "audio: wizconv-cli --jobs auto median $ours s (peak ${ours_m} KB), ffmpeg loop median $peer s (peak of one ffmpeg ${peer_m} KB)"
echo "audio ratio (wizconv / ffmpeg loop): $(echo "scale=3; $ours / $peer" | bc)"
# The outputs agree: the same number of files, the same duration.
for f in "$work/ours"/*.mp3; do
  a=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  b=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/peer/$(basename "$f")")
  awk -v a="$a" -v b="$b" -v f="$f" 'BEGIN { d = a - b; if (d < 0) d = -d; if (d > 0.1) { print "duration differs: " f " " a " " b; exit 1 } }'
done

auto_t=() auto_m=0 one_t=() one_m=0
for ((r = 1; r <= rounds; r++)); do
  fresh "$work/vauto"
  read -r t m < <(timed "$cli" convert --format MP4 --jobs auto --out "$work/vauto" "${clips[@]}")
  auto_t+=("$t"); ((m > auto_m)) && auto_m=$m
  fresh "$work/vone"
  read -r t m < <(timed "$cli" convert --format MP4 --jobs 1 --out "$work/vone" "${clips[@]}")
  one_t+=("$t"); ((m > one_m)) && one_m=$m
  echo "round $r: video --jobs auto ${auto_t[-1]} s, --jobs 1 $t s" >&2
done
a=$(printf '%s\n' "${auto_t[@]}" | median)
o=$(printf '%s\n' "${one_t[@]}" | median)
echo "video: --jobs auto median $a s (peak ${auto_m} KB), --jobs 1 median $o s (peak ${one_m} KB)"
echo "video ratio (auto / 1): $(echo "scale=3; $a / $o" | bc)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

#!/usr/bin/env bash
# wizconv-cli convert of ten 20-second 720p clips to a preset (the default MP4 preset
# unless FORMAT / PRESET say otherwise) against a shell loop of the ffmpeg program with
# the same settings, in one run. The settings come from the preset table itself
# (`convert --show-options`) and are written out as ffmpeg arguments here; the x264
# settings both outputs carry are compared, so a difference shows. Prints both wall times
# and the ratio (wizconv / ffmpeg; below 1 means wizconv is faster). When the window's run
# helper is built (ninja -C build wizconv-window-run), the same batch also goes through
# steps 3 and 4 of the window (widgets offscreen, the event loop serving the run) and its
# ratio to the command line is printed.
#
#   bench/convert_vs_ffmpeg.sh [WIZCONV_CLI] [CLIPS]
#
# WIZCONV_CLI defaults to build/bin/wizconv-cli, CLIPS to 10, WINDOW_RUN to
# build/bench/wizconv-window-run. The clips are made once in $WORK (default
# /tmp/wizconv-bench).
set -euo pipefail

cli=${1:-build/bin/wizconv-cli}
clips=${2:-10}
format=${FORMAT:-MP4}
preset=${PRESET:-}
work=${WORK:-/tmp/wizconv-bench}
window_run=$(realpath -m "${WINDOW_RUN:-$(dirname "$(dirname "$cli")")/bench/wizconv-window-run}")
mkdir -p "$work/clips" "$work/ours" "$work/peer" "$work/window"

inputs=()
for ((i = 1; i <= clips; i++)); do
  clip="$work/clips/clip$i.mp4"
  if [ ! -f "$clip" ]; then
    echo "making $clip (20 s, 1280x720 25 fps H.264, 48 kHz stereo AAC)" >&2
    ffmpeg -nostdin -v error -y \
      -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=20,hue=h=$((i * 30))" \
      -f lavfi -i "sine=frequency=$((200 + i * 50)):sample_rate=48000:duration=20" -ac 2 \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -b:a 128k -shortest \
      "$clip.part.mp4"
    mv "$clip.part.mp4" "$clip"
  fi
  inputs+=("$clip")
done

preset_args=(--format "$format")
[ -n "$preset" ] && preset_args+=(--preset "$preset")
options=$("$cli" convert "${preset_args[@]}" --show-options)
# (awk reads the whole list: leaving early would break the pipe under pipefail)
ext=$("$cli" convert --list | awk -v f="$format" 'tolower($1) == tolower(f) && /^  [^ ]/ && !done {
  gsub(/[()]/, "", $2); print $2; done = 1 }')
echo "preset options (from the preset table):"
sed 's/^/  /' <<<"$options"

# The same settings as ffmpeg arguments. Old names the installed libraries refuse are
# written as the engine translates them (deblockalpha/deblockbeta -> deblock, libfaac ->
# aac).
peer=()
alpha=0 beta=0 deblock=
while IFS= read -r line; do
  case "$line" in
    "ExtOptions: "*)
      kv=${line#ExtOptions: }
      name=${kv%%=*} value=${kv#*=}
      case "$name" in
        deblockalpha) alpha=$value deblock=1 ;;
        deblockbeta) beta=$value deblock=1 ;;
        *) peer+=("-$name" "$value") ;;
      esac
      ;;
    AudioCodec=*) v=${line#*=}; [ "$v" = libfaac ] && v=aac; peer+=(-c:a "$v") ;;
    VideoCodec=*) peer+=(-c:v "${line#*=}") ;;
    FrameSize=*) peer+=(-s "${line#*=}") ;;
    FrameRate=*) peer+=(-r "${line#*=}") ;;
    FrameAspectRatio=*) peer+=(-aspect "${line#*=}") ;;
    VideoBitrate=*) peer+=(-b:v "${line#*=}") ;;
    AudioBitrate=*) peer+=(-b:a "${line#*=}") ;;
    AudioSampleRate=*) peer+=(-ar "${line#*=}") ;;
    AudioChannels=*) peer+=(-ac "${line#*=}") ;;
    VideoTag=*) peer+=(-tag:v "${line#*=}") ;;
    ForceFormat=*) peer+=(-f "${line#*=}") ;;
    DisableVideo=1) peer+=(-vn) ;;
    *) echo "convert_vs_ffmpeg: no ffmpeg argument for '$line'" >&2; exit 1 ;;
  esac
done <<<"$options"
[ -n "$deblock" ] && peer+=(-deblock "$alpha:$beta")
echo "ffmpeg arguments: ${peer[*]}"

rm -f "$work"/ours/* "$work"/peer/* "$work"/window/*
now() { date +%s.%N; }

t0=$(now)
"$cli" convert "${preset_args[@]}" --out "$work/ours" "${inputs[@]}" >/dev/null 2>"$work/ours.log" || {
  echo "convert_vs_ffmpeg: wizconv-cli convert failed:" >&2
  tail -5 "$work/ours.log" >&2
  exit 1
}
t1=$(now)
tw=
if [ -x "$window_run" ]; then
  # Run from the command line's folder: the codec libraries are found the same way.
  (cd "$(dirname "$cli")" && "$window_run" "${preset_args[@]}" --out "$work/window" "${inputs[@]}") \
    >"$work/window.log" 2>&1 || {
    echo "convert_vs_ffmpeg: the window's run failed:" >&2
    tail -5 "$work/window.log" >&2
    exit 1
  }
  tw=$(now)
  tw=$(awk -v a="$t1" -v b="$tw" 'BEGIN { printf "%.6f", b - a }')
fi
t1b=$(now)
for clip in "${inputs[@]}"; do
  name=$(basename "$clip" .mp4)
  ffmpeg -nostdin -v error -y -i "$clip" "${peer[@]}" "$work/peer/$name$ext"
done
t2=$(now)

x264() { strings "$1" | grep -m1 -o 'x264 - core.*' | tr ' ' '\n' | grep '=' | grep -v '^threads\|lookahead_threads' || true; }
first_ours="$work/ours/clip1$ext" first_peer="$work/peer/clip1$ext"
if ! diff <(x264 "$first_ours") <(x264 "$first_peer") >"$work/x264.diff"; then
  echo "warning: the x264 settings differ (< wizconv, > ffmpeg):"
  sed 's/^/  /' "$work/x264.diff"
fi
for f in "$first_ours" "$first_peer"; do
  echo "$(basename "$(dirname "$f")"): $(ffprobe -v error -show_entries stream=codec_name,width,height,r_frame_rate,sample_rate,channels,bit_rate -of compact=p=0:nk=1 "$f" | tr '\n' ' ')"
done
awk -v a="$t0" -v b="$t1" -v b2="$t1b" -v c="$t2" -v n="$clips" -v w="$tw" 'BEGIN {
  ours = b - a; peer = c - b2
  printf "%d clips: wizconv-cli convert %.2f s, ffmpeg loop %.2f s, ratio %.3f\n", n, ours, peer, ours / peer
  if (w != "") printf "%d clips: the window'"'"'s run %.2f s, ratio to wizconv-cli convert %.3f\n", n, w, w / ours }'

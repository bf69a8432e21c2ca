#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own folder and fuzzes each named target (all
# of them by default: probe head url appfiles settings) for SECONDS (default 600), one after the
# other, as one job at the lowest priority. The probe target's seeds are made with the
# ffmpeg program; the others start from the small seeds in fuzz/seeds/<target>. What a
# run finds is written as BUILD_DIR/<target>-crash-* (or -leak-, -timeout-).
#
#   fuzz/run.sh [BUILD_DIR] [SECONDS] [TARGET...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-fuzz}
seconds=${2:-600}
shift $(($# < 2 ? $# : 2))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(probe head url appfiles settings)

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja >/dev/null
nice -n 10 ninja -C "$build" -j2 "${targets[@]/%/_fuzzer}"

probe_seeds() {
  # The first byte of each seed picks the extension the target gives the file.
  local corpus=$1
  mkdir -p "$build/seeds"
  seed() {  # index extension ffmpeg-arguments...
    local index=$1 ext=$2
    shift 2
    local file="$build/seeds/seed.$ext"
    [ -f "$corpus/seed-$ext" ] && return
    ffmpeg -nostdin -v error -y "$@" "$file"
    { printf "\\x$(printf %02x "$index")"; cat "$file"; } >"$corpus/seed-$ext"
  }
  seed 0 mp4 -f lavfi -i testsrc=size=48x32:rate=5:duration=1 -c:v libx264 -preset ultrafast -bf 2
  seed 1 mkv -f lavfi -i testsrc=size=32x24:rate=5:duration=1 -c:v mpeg4
  seed 2 mp3 -f lavfi -i sine=duration=0.5:sample_rate=8000 -c:a libmp3lame
  seed 3 h264 -f lavfi -i testsrc=size=32x24:rate=5:duration=1 -c:v libx264 -preset ultrafast -f h264
  seed 4 wav -f lavfi -i sine=duration=0.2:sample_rate=8000 -ac 1
  seed 5 avi -f lavfi -i testsrc=size=32x24:rate=5:duration=0.6 -c:v mjpeg
  seed 6 flv -f lavfi -i testsrc=size=32x24:rate=5:duration=0.6 -c:v flv1
  seed 7 ts -f lavfi -i testsrc=size=32x24:rate=5:duration=0.6 -c:v mpeg2video
  seed 8 ogg -f lavfi -i sine=duration=0.3:sample_rate=8000 -c:a libvorbis
  seed 9 png -f lavfi -i testsrc=size=16x16:rate=1 -frames:v 1
}

status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus-$target"
  mkdir -p "$corpus"
  options=(-timeout=60 -rss_limit_mb=3072)
  case $target in
    probe)
      probe_seeds "$corpus"
      options+=(-max_len=65536)
      ;;
    *)
      cp -n "$here/seeds/${target/settings/appfiles}"/* "$corpus"/ 2>/dev/null || true
      options+=(-max_len=8192 -timeout=10)
      ;;
  esac
  echo "== ${target}_fuzzer for $seconds s"
  # A finding ends that target's run; the next target still runs.
  nice -n 19 "$build/${target}_fuzzer" "${options[@]}" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$build/$target-" "$corpus" || status=$?
done
exit $status

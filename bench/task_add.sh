#!/usr/bin/env bash
# Step 1 with many large files: COUNT copies (default 100) of a 1080p H.264 clip with sound
# added to the real main window at once. Prints the longest main-thread stall while they
# are probed, the time of the whole add and the memory after it.
#
#   bench/task_add.sh [BUILD_DIR] [COUNT]
#
# Builds the wizconv-task-add target in BUILD_DIR (default build); the clip and its copies
# go to $WORK (default /tmp/wizconv-bench/task-add).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
count=${2:-100}
work=${WORK:-/tmp/wizconv-bench/task-add}
mkdir -p "$work"

ninja -C "$build" -j2 wizconv-task-add runtime_folder >/dev/null
clip="$work/clip-1080p.mp4"
if [ ! -f "$clip" ]; then
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=4 \
    -f lavfi -i sine=frequency=440:duration=4 -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
    -c:a aac -shortest "$work/partial.mp4"
  mv "$work/partial.mp4" "$clip"
fi
rm -rf "$work/copies"
mkdir -p "$work/copies"
files=()
for i in $(seq 1 "$count"); do
  cp "$clip" "$work/copies/clip $i.mp4"
  files+=("$work/copies/clip $i.mp4")
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
HOME=$home XDG_CONFIG_HOME=$home/.config "$build/bench/wizconv-task-add" "$build/bin" "${files[@]}"

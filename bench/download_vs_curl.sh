#!/usr/bin/env bash
# A video of SIZE MiB (default 256) through the whole download run (wizconv-cli download:
# watch page, information document, extraction script, the video into its .part and the
# rename) against `curl -o` of the same video, from one nginx on loopback. Runs alternate;
# the medians of the wall time of the whole process and the peak resident memory are
# printed, with the throughput ratio.
#
#   bench/download_vs_curl.sh [BUILD_DIR] [SIZE_MIB] [RUNS]
#
# BUILD_DIR (default build) must hold bin/wizconv-cli. Files go to $WORK (default
# /tmp/wizconv-download-bench).
set -euo pipefail

build=${1:-build}
size=${2:-256}
runs=${3:-5}
work=${WORK:-/tmp/wizconv-download-bench}
cli=$(cd "$build" && pwd)/bin/wizconv-cli
rm -rf "$work"
mkdir -p "$work/root" "$work/logs" "$work/out" "$work/curl"

# The video: a short ffmpeg clip repeated up to the size (the bytes' kind does not matter
# to a transfer, only their number).
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=10 \
  -c:v mpeg4 -q:v 2 "$work/clip.mp4"
: > "$work/root/video.mp4"
while [ "$(stat -c %s "$work/root/video.mp4")" -lt $((size * 1048576)) ]; do
  cat "$work/clip.mp4" >> "$work/root/video.mp4"
done
truncate -s $((size * 1048576)) "$work/root/video.mp4"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
domain="127.0.0.1:$port"
video="http://$domain/video.mp4?itag=18"
printf '<html><head><meta name="title" content="Bench video">\n<a href="http://%s/watch?v=bench">x</a>\n' \
  "$domain" > "$work/root/watch"
map=$(python3 -c 'import sys,urllib.parse as u; q=lambda s: u.quote(s, safe=""); print(q("itag=18&url=" + q(sys.argv[1]) + "&sig=S"))' "$video")
printf 'status=ok&url_encoded_fmt_stream_map=%s&x=1' "$map" > "$work/root/get_video_info"

cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  server { listen $domain; root $work/root; default_type application/octet-stream; }
}
CONF
/usr/sbin/nginx -p "$work/" -c "$work/nginx.conf" -e "$work/logs/error.log" &
nginx_pid=$!
trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null || true' EXIT
for _ in $(seq 100); do curl -sf -o /dev/null "http://$domain/watch" && break; sleep 0.05; done

measure() {  # prints "seconds kilobytes" of one command
  /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" > /dev/null 2> "$work/stderr.txt" \
    || { cat "$work/stderr.txt" >&2; exit 1; }
  cat "$work/time.txt"
}

: > "$work/run.txt"; : > "$work/curl.txt"
for i in $(seq "$runs"); do
  rm -f "$work/out/"* "$work/curl/"*
  measure "$cli" download --service "$domain" --out "$work/out" "http://$domain/watch?v=bench" >> "$work/run.txt"
  cmp -s "$work/out/Bench video.mp4" "$work/root/video.mp4" || { echo "the saved file differs" >&2; exit 1; }
  measure curl -s -f -o "$work/curl/video.mp4" "$video" >> "$work/curl.txt"
done

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
run_s=$(cut -d' ' -f1 "$work/run.txt" | median)
run_kb=$(cut -d' ' -f2 "$work/run.txt" | median)
curl_s=$(cut -d' ' -f1 "$work/curl.txt" | median)
curl_kb=$(cut -d' ' -f2 "$work/curl.txt" | median)
awk -v s="$size" -v rs="$run_s" -v rk="$run_kb" -v cs="$curl_s" -v ck="$curl_kb" -v n="$runs" 'BEGIN {
  printf "%d MiB, %d runs each, medians\n", s, n
  printf "  download run: %.2f s  %.0f MiB/s  peak RSS %.1f MiB\n", rs, s / rs, rk / 1024
  printf "  curl -o:      %.2f s  %.0f MiB/s  peak RSS %.1f MiB\n", cs, s / cs, ck / 1024
  printf "  throughput ratio (run / curl): %.3f\n", cs / rs
}'

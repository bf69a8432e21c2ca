#!/usr/bin/env bash
# wizconv-cli fetch against curl -o, each measured as the whole process, on one file of
# SIZE MiB (default 256) served by nginx on loopback. Runs alternate between the two
# (the order flips every run) and the medians of wall, user and system time are printed
# with the ratios.
#
#   bench/http_fetch_vs_curl.sh [BUILD_DIR] [SIZE_MIB] [RUNS]
#
# FETCH names another program to measure in place of BUILD_DIR/bin/wizconv-cli.
# BUILD_DIR (default build) must hold the built wizconv-cli (ninja -C BUILD_DIR
# wizconv-cli). nginx gets its own prefix and configuration under $WORK (default
# /tmp/wizconv-fetch-bench) and a free port on 127.0.0.1.
set -euo pipefail

build=${1:-build}
size=${2:-256}
runs=${3:-7}
work=${WORK:-/tmp/wizconv-fetch-bench}
cli=${FETCH:-$(cd "$build" && pwd)/bin/wizconv-cli}

[ -x "$cli" ] || { echo "wizconv-cli not found under $build" >&2; exit 1; }
mkdir -p "$work/www" "$work/nginx/logs"

if [ "$(stat -c %s "$work/www/body.bin" 2>/dev/null || echo 0)" != $((size * 1048576)) ]; then
  head -c $((size * 1048576)) /dev/urandom >"$work/www/body.bin"
fi

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/nginx/logs/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
/usr/sbin/nginx -p "$work/nginx/" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" &
nginx_pid=$!
trap 'kill $nginx_pid 2>/dev/null; wait $nginx_pid 2>/dev/null; rm -f "$work/out.bin"' EXIT
url=http://127.0.0.1:$port/body.bin
for _ in $(seq 100); do curl -s -o /dev/null "$url" -r 0-0 && break; sleep 0.05; done

# One run of a command: "wall user sys" in seconds.
measure() {
  rm -f "$work/out.bin"
  /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "$@" >/dev/null 2>&1
  cmp -s "$work/out.bin" "$work/www/body.bin" || { echo "output differs: $*" >&2; exit 1; }
  cat "$work/time.txt"
}
: >"$work/curl.txt"
: >"$work/fetch.txt"
for i in $(seq "$runs"); do
  if [ $((i % 2)) -eq 1 ]; then
    measure curl -s -o "$work/out.bin" "$url" >>"$work/curl.txt"
    measure "$cli" fetch "$url" -o "$work/out.bin" >>"$work/fetch.txt"
  else
    measure "$cli" fetch "$url" -o "$work/out.bin" >>"$work/fetch.txt"
    measure curl -s -o "$work/out.bin" "$url" >>"$work/curl.txt"
  fi
done

median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
report() {
  local c f
  c=$(cut -d' ' -f"$2" "$work/curl.txt" | median)
  f=$(cut -d' ' -f"$2" "$work/fetch.txt" | median)
  awk -v n="$1" -v c="$c" -v f="$f" \
    'BEGIN {printf "  %-5s curl %7.3f s   fetch %7.3f s   fetch/curl %5.2f\n", n, c, f, (c > 0 ? f / c : 0)}'
}
echo "$size MiB from nginx on loopback, whole processes, median of $runs alternating runs"
report wall 1
report user 2
report sys 3

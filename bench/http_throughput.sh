#!/usr/bin/env bash
# The HTTP component against the curl program on one loopback server, in one run: a body of
# SIZE MiB (default 256) into memory and into a file, and the cost of a progress event.
#
#   bench/http_throughput.sh [BUILD_DIR] [SIZE_MIB] [RUNS]
#
# BUILD_DIR (default build) must hold the built wizconv_http and wizconv_core libraries
# (ninja -C BUILD_DIR wizconv_http). The bench program is compiled into $WORK
# (default /tmp/wizconv-bench) and the file runs write there too.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${1:-build}
size=${2:-256}
runs=${3:-3}
work=${WORK:-/tmp/wizconv-bench}
mkdir -p "$work"

g++ -std=c++20 -O2 -I"$root/src" "$here/http_throughput.cpp" \
  "$build/src/libwizconv_http.a" "$build/src/libwizconv_core.a" \
  -lcurl -lcpp-httplib -lssl -lcrypto -pthread -o "$work/http_throughput"
"$work/http_throughput" "$size" "$runs" "$work"

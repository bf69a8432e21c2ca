#!/usr/bin/env python3
"""Checks `wizconv-cli probe` against ffprobe for the given files: duration within 50 ms,
stream count and kinds, width and height, sample rate and channel count.

    bench/probe_check.py WIZCONV_CLI FILE...

Prints one line per file and exits 1 when any file disagrees."""
import json
import subprocess
import sys


def ffprobe(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "json", path],
        check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def compare(ours, theirs):
    problems = []
    duration = theirs["format"].get("duration")
    if duration is None:
        if ours["Duration"] != -1:
            problems.append("duration: ffprobe has none, wizconv %d" % ours["Duration"])
    elif abs(ours["Duration"] / 1e6 - float(duration)) > 0.05:
        problems.append("duration: %s vs %.6f" % (duration, ours["Duration"] / 1e6))
    streams = theirs["streams"]
    if len(streams) != len(ours["Streams"]):
        problems.append("stream count: %d vs %d" % (len(streams), len(ours["Streams"])))
    for mine, peer in zip(ours["Streams"], streams):
        kind = peer["codec_type"]
        if mine["Kind"].lower() != kind:
            problems.append("stream %d kind: %s vs %s" % (mine["Index"], kind, mine["Kind"]))
            continue
        keys = {"video": [("width", "Width"), ("height", "Height")],
                "audio": [("sample_rate", "SampleRate"), ("channels", "Channels")]}
        for theirs_key, ours_key in keys.get(kind, []):
            if int(peer[theirs_key]) != mine[ours_key]:
                problems.append("stream %d %s: %s vs %s" %
                                (mine["Index"], theirs_key, peer[theirs_key], mine[ours_key]))
    return problems


def main():
    cli, files = sys.argv[1], sys.argv[2:]
    failed = False
    for path in files:
        run = subprocess.run([cli, "probe", path], capture_output=True, text=True)
        if run.returncode != 0:
            print("%s: wizconv-cli failed: %s" % (path, run.stderr.strip()))
            failed = True
            continue
        problems = compare(json.loads(run.stdout), ffprobe(path))
        print("%s: %s" % (path, "agrees" if not problems else "; ".join(problems)))
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
